#include "framework/PluginBase.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "tests/framework/TestPlugin.h"

namespace qd {
namespace {

using testing::RecordingHost;
using testing::TestIdentity;
using testing::TestPlugin;

TEST(PluginBase, ChannelConfigurations) {
  TestPlugin p;
  ASSERT_EQ(p.ChannelConfigs().size(), 2u);
  EXPECT_EQ(p.InputCount(), 2);
  EXPECT_EQ(p.OutputCount(), 2);
  EXPECT_TRUE(p.LegalIO(1, -1));
  EXPECT_TRUE(p.LegalIO(2, 2));
  EXPECT_FALSE(p.LegalIO(1, 2));

  TestPlugin trailing(TestIdentity(1, 1, "2-2 "));
  ASSERT_EQ(trailing.ChannelConfigs().size(), 2u);
  EXPECT_EQ(trailing.ChannelConfigs()[1].numInputs, 0);
  TestPlugin garbage(TestIdentity(1, 1, "x-99999999 -5-3"));
  EXPECT_LE(garbage.InputCount(), 64);
  EXPECT_EQ(p.EffectVersion(true), 20006);
  EXPECT_EQ(p.EffectVersion(false), 0x20006);
}

TEST(PluginBase, ProcessFrameRoutesConnectedChannels) {
  TestPlugin p;
  p.SetMaxBlockSize(8);
  p.SetInputConnections(0, 2, true);
  p.SetOutputConnections(0, 2, true);
  p.SetInputConnections(0, 1, false);  // only input 1 connected
  double a[4] = {1, 2, 3, 4};
  double o0[4] = {9, 9, 9, 9}, o1[4] = {9, 9, 9, 9};
  double* ins[] = {a};
  double* outs[] = {o0, o1};
  p.ProcessDoubleBlock(ins, outs, 4);
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(o0[k], 0.0) << "channel 0 reads its zeroed scratch";
    EXPECT_EQ(o1[k], a[k]) << "the first host buffer feeds channel 1";
  }
}

TEST(PluginBase, FloatPathsConvertReplaceAndAccumulate) {
  TestPlugin p;
  p.SetMaxBlockSize(4);
  p.SetInputConnections(0, 2, true);
  p.SetOutputConnections(0, 2, true);
  float l[6] = {0.5f, -0.25f, 1, 2, 3, 4}, r[6] = {1, 1, 1, 1, 1, 1};
  float ol[6], orr[6];
  float* ins[] = {l, r};
  float* outs[] = {ol, orr};
  p.ProcessFloatBlock(ins, outs, 6, false);  // longer than the scratch: sliced
  for (int k = 0; k < 6; ++k) {
    EXPECT_EQ(ol[k], l[k]);
    EXPECT_EQ(orr[k], r[k]);
  }
  p.ProcessFloatBlock(ins, outs, 6, true);
  for (int k = 0; k < 6; ++k) EXPECT_EQ(ol[k], 2 * l[k]);
  // Null host pointers read as silence and are discarded.
  float* nullIns[] = {nullptr, r};
  p.ProcessFloatBlock(nullIns, outs, 6, false);
  for (int k = 0; k < 6; ++k) EXPECT_EQ(ol[k], 0.0f);
  p.ProcessFloatBlock(nullptr, nullptr, 6, false);
  p.ProcessFloatBlock(ins, outs, -3, false);
}

TEST(PluginBase, DefaultProcessCopiesAndZeroes) {
  TestPlugin p;
  double in0[3] = {1, 2, 3}, out0[3], out1[3] = {7, 7, 7};
  double* ins[] = {in0};
  double* outs[] = {out0, out1};
  // One input, two outputs: channel 0 copied, channel 1 zeroed.
  PluginIdentity id = TestIdentity(1, 1, "1-2");
  TestPlugin mono(id);
  mono.PluginBase::ProcessAudio(ins, outs, 3);
  EXPECT_EQ(out0[2], 3);
  EXPECT_EQ(out1[0], 0);
}

TEST(PluginBase, ScratchKeptOnSameSizeZeroedOnNew) {
  TestPlugin p;
  p.SetMaxBlockSize(4);
  p.SetInputConnections(0, 2, true);
  p.SetOutputConnections(0, 2, true);
  float l[4] = {1, 1, 1, 1};
  float* ins[] = {l, l};
  float o[4];
  float* outs[] = {o, o};
  p.ProcessFloatBlock(ins, outs, 4, false);
  p.SetInputConnections(0, 1, false);  // input 0 now reads the converted samples left behind
  p.SetMaxBlockSize(4);
  double out0[4], out1[4];
  double* douts[] = {out0, out1};
  double d[4] = {};
  double* dins[] = {d};
  p.ProcessDoubleBlock(dins, douts, 4);
  EXPECT_EQ(out0[0], 1.0);
  p.SetMaxBlockSize(8);
  p.ProcessDoubleBlock(dins, douts, 4);
  EXPECT_EQ(out0[0], 0.0);
}

TEST(PluginBase, SetParameterFromGuiReportsReceivedValue) {
  RecordingHost host;
  TestPlugin p(TestIdentity(2));
  p.GetParam(1)->DefineDouble("stepped", 0, 0, 10, 1.0, "", "", 1.0);
  p.SetHostServices(&host);
  p.SetParameterFromGUI(1, 0.33);
  EXPECT_EQ(p.GetParam(1)->Value(), 3.0);
  ASSERT_EQ(host.calls.size(), 1u);
  EXPECT_EQ(host.calls[0], "change 1 0.330000");
  ASSERT_EQ(p.changes.size(), 1u);
  EXPECT_EQ(p.changes[0], (TestPlugin::Change{1, kSourceEditor}));
  EXPECT_TRUE(p.heldMutex[0]);  // recursive: the handler re-enters the held mutex
  p.SetParameterFromGUI(5, 0.5);  // no such parameter: nothing happens
  EXPECT_EQ(host.calls.size(), 1u);
}

TEST(PluginBase, NotifyAllAndOutOfRangeAccessors) {
  TestPlugin p;
  p.NotifyAllParamsChanged(kSourceHostOpen);
  EXPECT_EQ(p.changes.size(), 3u);
  EXPECT_EQ(p.GetParam(-1), nullptr);
  EXPECT_EQ(p.GetParam(3), nullptr);
  EXPECT_STREQ(p.PresetName(2), "");
  EXPECT_STREQ(p.PresetName(-1), "");
  EXPECT_EQ(p.GetPreset(9), nullptr);
  EXPECT_FALSE(p.IsInputConnected(7));
  EXPECT_STREQ(p.InputLabel(5), "");
  p.SetInputLabel(5, "x");
  p.SetOutputConnections(-3, 1000, true);
  EXPECT_TRUE(p.IsOutputConnected(1));
}

TEST(PluginBase, BusLabels) {
  TestPlugin p;
  p.SetInputBusLabel(1, "a");
  ASSERT_EQ(p.InputBusLabels().size(), 1u);
  EXPECT_EQ(p.InputBusLabels()[0], "a");
  p.SetInputBusLabel(2, "b");
  EXPECT_EQ(p.InputBusLabels().size(), 1u);
  p.SetInputBusLabel(0, "c");
  EXPECT_EQ(p.InputBusLabels()[0], "c");
  p.SetOutputBusLabel(5, "out");
  p.SetOutputBusLabel(-1, "no");
  ASSERT_EQ(p.OutputBusLabels().size(), 1u);
}

TEST(PluginBase, MutexSerialisesEditorAndAudioThreads) {
  TestPlugin p;
  p.SetMaxBlockSize(64);
  p.SetInputConnections(0, 2, true);
  p.SetOutputConnections(0, 2, true);
  std::thread editor([&] {
    for (int i = 0; i < 2000; ++i) p.SetParameterFromGUI(i % 3, (i % 10) / 10.0);
  });
  std::vector<double> buf(64, 0.5), out(64);
  double* ins[] = {buf.data(), buf.data()};
  double* outs[] = {out.data(), out.data()};
  for (int i = 0; i < 2000; ++i) p.ProcessDoubleBlock(ins, outs, 64);
  editor.join();
  EXPECT_EQ(p.changes.size(), 2000u);
}

}  // namespace
}  // namespace qd
