// The render and editor bridges: blocks through the render procedure with real context
// blocks, the transport, and the editor opened through the GUI object.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "AaxTestSupport.h"

namespace {

using aaxtest::LocalInstance;

// A stereo test signal loud enough to drive the clipper and the limiter.
struct Signal {
  explicit Signal(int frames, float gain = 1.5f) : left(frames), right(frames) {
    for (int k = 0; k < frames; ++k) {
      left[k] = gain * std::sin(0.031f * k) + 0.2f * std::sin(0.37f * k);
      right[k] = gain * std::cos(0.023f * k);
    }
  }
  float* in[2] = {nullptr, nullptr};
  float** Inputs() {
    in[0] = left.data();
    in[1] = right.data();
    return in;
  }
  std::vector<float> left, right;
};

struct Outputs {
  explicit Outputs(int frames) : left(frames, 9.0f), right(frames, 9.0f) {}
  float* out[2] = {nullptr, nullptr};
  float** Pointers() {
    out[0] = left.data();
    out[1] = right.data();
    return out;
  }
  std::vector<float> left, right;
};

TEST(AaxRender, MasterBypassPassesInputsThroughUnprocessed) {
  LocalInstance inst;
  inst->Params()->UpdateParameterNormalizedValue("MasterBypassID", 1.0, 0);
  Signal s(512);
  Outputs o(512);
  inst->Render(s.Inputs(), o.Pointers(), 512);
  EXPECT_EQ(o.left, s.left);
  EXPECT_EQ(o.right, s.right);
  EXPECT_EQ(inst.plugin->processCalls, 0);

  inst->Params()->UpdateParameterNormalizedValue("MasterBypassID", 0.0, 0);
  inst->Render(s.Inputs(), o.Pointers(), 512);
  EXPECT_EQ(inst.plugin->processCalls, 1);
  EXPECT_NE(o.left, s.left);  // the limiter holds the 1.5 peaks below full scale
}

TEST(AaxRender, MonoInstanceConnectsOneChannelAndReadsZerosOnTheOther) {
  LocalInstance inst(aax::kStemMono);
  Signal s(256);
  Outputs o(256);
  float* in[1] = {s.left.data()};
  float* out[1] = {o.left.data()};
  inst->Render(in, out, 256);
  EXPECT_TRUE(inst.plugin->IsInputConnected(0));
  EXPECT_FALSE(inst.plugin->IsInputConnected(1));
  EXPECT_TRUE(inst.plugin->IsOutputConnected(0));
  EXPECT_FALSE(inst.plugin->IsOutputConnected(1));
  ASSERT_EQ(inst.plugin->lastInput1.size(), 256u);
  for (double v : inst.plugin->lastInput1) ASSERT_EQ(v, 0.0);
  EXPECT_NE(o.left[100], 9.0f);
  EXPECT_EQ(o.right[100], 9.0f);  // never handed over, never written
}

// A host that changes its buffer length every block once reset the engine and resized its
// buffers on each change, zeroing the meters and glitching the audio.
TEST(AaxRender, BufferLengthChangingEveryBlockKeepsMetersAndAudioContinuous) {
  const int lengths[] = {512, 300, 1024, 2000, 64, 4096, 1, 777};
  int total = 0;
  for (int i = 0; i < 40; ++i) total += lengths[i % 8];
  Signal s(total);
  LocalInstance steady, varying;
  Outputs a(total), b(total);
  for (int offset = 0; offset < total;) {
    const int n = std::min(1024, total - offset);
    float* in[2] = {s.left.data() + offset, s.right.data() + offset};
    float* out[2] = {a.left.data() + offset, a.right.data() + offset};
    steady->Render(in, out, n);
    offset += n;
  }
  varying.plugin->resets = 0;
  varying.plugin->blockSizes.clear();
  double lastCount = 0;
  for (int i = 0, offset = 0; offset < total; ++i) {
    const int n = lengths[i % 8];
    float* in[2] = {s.left.data() + offset, s.right.data() + offset};
    float* out[2] = {b.left.data() + offset, b.right.data() + offset};
    varying->Render(in, out, n);
    offset += n;
    // The session's meters keep counting and the gain-reduction meter stays lit.
    ASSERT_EQ(varying.plugin->LongTermCount(), 2 * static_cast<int64_t>(offset)) << "block " << i;
    ASSERT_GT(varying.plugin->LongTermCount(), lastCount);
    lastCount = static_cast<double>(varying.plugin->LongTermCount());
    if (offset > 4096) {
      ASSERT_GT(varying.plugin->ClipperMeterFollower().envelope, 0.0) << "block " << i;
    }
  }
  EXPECT_EQ(varying.plugin->resets, 0);
  EXPECT_TRUE(varying.plugin->blockSizes.empty());
  EXPECT_EQ(a.left, b.left);
  EXPECT_EQ(a.right, b.right);
  EXPECT_EQ(steady.plugin->IntegratedLoudness(), varying.plugin->IntegratedLoudness());
  // Nothing happens for empty or negative lengths.
  varying->Render(s.Inputs(), b.Pointers(), 0);
  varying->Render(s.Inputs(), b.Pointers(), -7);
  EXPECT_EQ(varying.plugin->resets, 0);
}

TEST(AaxRender, MidiPacketsArriveAsSentInOrder) {
  LocalInstance inst;
  Signal s(64);
  Outputs o(64);
  aax::MidiPacket a{17, 3, {0x90, 0x3C, 0x64, 0}, false};
  aax::MidiPacket b{40, 3, {0x80, 0x3C, 0x00, 0}, false};
  inst->Render(s.Inputs(), o.Pointers(), 64, {a, b});
  ASSERT_EQ(inst.plugin->midi.size(), 2u);
  EXPECT_EQ(inst.plugin->midi[0].offset, 17);
  EXPECT_EQ(inst.plugin->midi[0].status, 0x90);
  EXPECT_EQ(inst.plugin->midi[0].data1, 0x3C);
  EXPECT_EQ(inst.plugin->midi[0].data2, 0x64);
  EXPECT_EQ(inst.plugin->midi[1].offset, 40);
  EXPECT_EQ(inst.plugin->midi[1].status, 0x80);
}

TEST(AaxRender, TransportQueriesReadTheHostTransport) {
  LocalInstance inst;
  sim::Transport& t = inst->HostTransport();
  t.tempo = 96.0;
  t.numerator = 7;
  t.denominator = 8;
  t.playing = true;
  t.ticks = 2 * aax::kTicksPerQuarterNote;
  t.looping = true;
  t.loopStart = aax::kTicksPerQuarterNote;
  t.loopEnd = 9 * aax::kTicksPerQuarterNote;
  t.sample = 5000000000LL;  // beyond 32 bits
  Signal s(64);
  Outputs o(64);
  inst->Render(s.Inputs(), o.Pointers(), 64);

  qd::TransportInfo info;
  info.lastBarStart = 3.0;
  inst.plugin->HostTransport(&info);
  EXPECT_EQ(info.ppqPosition, 2.0);
  EXPECT_EQ(info.tempo, 96.0);
  EXPECT_TRUE(info.playing);
  EXPECT_EQ(info.timeSigNumerator, 7);
  EXPECT_EQ(info.timeSigDenominator, 8);
  EXPECT_TRUE(info.cycleActive);
  EXPECT_EQ(info.cycleStart, 1.0);
  EXPECT_EQ(info.cycleEnd, 9.0);
  EXPECT_EQ(info.samplePosition, 5e9);
  EXPECT_EQ(info.lastBarStart, 3.0);  // left as it was
  EXPECT_EQ(inst.plugin->HostTempo(), 96.0);
  EXPECT_EQ(inst.plugin->HostSamplePosition(), 5000000000LL);
  int num = 0, den = 0;
  inst.plugin->HostTimeSignature(&num, &den);
  EXPECT_EQ(num, 7);
  EXPECT_EQ(den, 8);
}

// Whatever block lengths a host sends, the AAX path gives the same samples as the plug-in
// driven through the base's float path in the same blocks.
TEST(AaxRender, SameAudioAsTheFloatPathSampleForSample) {
  LocalInstance inst;
  qd::QuarloDorvantix direct(qd::PortLabels::kPerChannel);
  direct.SetInputConnections(0, 2, true);
  direct.SetOutputConnections(0, 2, true);
  direct.SetMaxBlockSize(1024);
  direct.ResetProcessing();
  // Same settings on both: oversampled soft clipper pushed hard, manual release.
  const std::pair<int, double> settings[] = {{0, 0.4}, {1, 1.0}, {2, 1.0}, {3, 0.5}, {4, 0.0}};
  for (auto [index, n] : settings) {
    inst->Params()->UpdateParameterNormalizedValue(std::to_string(index + 1).c_str(), n, 0);
    direct.GetParam(index)->SetFromNormalized(n);
    direct.ParamChanged(index, qd::kSourceHost);
  }
  const int lengths[] = {1024, 1024, 300, 300, 2048, 17};
  Signal s(2048);
  for (int frames : lengths) {
    SCOPED_TRACE(frames);
    Outputs a(frames), b(frames);
    inst->Render(s.Inputs(), a.Pointers(), frames);
    if (frames != direct.MaxBlockSize()) {
      direct.SetMaxBlockSize(frames);
      direct.ResetProcessing();
    }
    direct.ProcessFloatBlock(s.Inputs(), b.Pointers(), frames, false);
    ASSERT_EQ(a.left, b.left);
    ASSERT_EQ(a.right, b.right);
  }
}

TEST(AaxEditor, OpensInTheContainersParentAndCloses) {
  aaxtest::SmallInstance inst(aax::kStemStereo, /*withEditor=*/true);
  int parent = 0x400001;
  ASSERT_EQ(inst->OpenEditor(&parent), aax::kSuccess);
  EXPECT_EQ(inst.editor->opens, 1);
  EXPECT_EQ(inst.editor->lastParent, &parent);
  aax::Point size{-1.0f, -1.0f};
  EXPECT_EQ(inst->GetViewSize(&size), aax::kSuccess);
  EXPECT_EQ(size.horizontal, 640.0f);
  EXPECT_EQ(size.vertical, 480.0f);

  // The editor asks for another size: the host view follows.
  inst.plugin->ResizeEditor(700, 500);
  ASSERT_EQ(inst->View()->sizes.size(), 1u);
  EXPECT_EQ(inst->View()->sizes[0].horizontal, 700.0f);
  EXPECT_EQ(inst->View()->sizes[0].vertical, 500.0f);

  inst->CloseEditor();
  EXPECT_EQ(inst.editor->closes, 1);
  EXPECT_FALSE(inst.editor->open);
  // Again on the same editor object.
  ASSERT_EQ(inst->OpenEditor(&parent), aax::kSuccess);
  inst->CloseEditor();
  EXPECT_EQ(inst.editor->opens, 2);
  EXPECT_EQ(inst.editor->closes, 2);
}

TEST(AaxEditor, NothingOpensWithoutAParentOrAnEditor) {
  aaxtest::SmallInstance noEditor;
  int parent = 1;
  ASSERT_EQ(noEditor->OpenEditor(&parent), aax::kSuccess);
  aax::Point size{-1.0f, -1.0f};
  noEditor->GetViewSize(&size);
  EXPECT_EQ(size.horizontal, -1.0f);  // untouched
  noEditor->CloseEditor();

  aaxtest::SmallInstance withEditor(aax::kStemStereo, true);
  ASSERT_EQ(withEditor->OpenEditor(nullptr), aax::kSuccess);
  EXPECT_EQ(withEditor.editor->opens, 0);
  withEditor->CloseEditor();
  EXPECT_EQ(withEditor.editor->closes, 0);

  // A GUI object initialised without a controller.
  sim::Ref<aax::IUnknown> gui(aaxtest::CreateGui());
  auto* g = static_cast<aax::IEffectGui*>(gui.get());
  EXPECT_EQ(g->Initialize(nullptr), aax::kErrorNullController);
  char label[8];
  EXPECT_EQ(g->GetCustomLabel("1", label, sizeof(label)), aax::kErrorNullObject);
}

TEST(AaxEditor, HundredInstancesWithEditorsLeaveNothingBehind) {
  const int objectsBefore = qd::LiveAcfObjects();
  const int hostBefore = sim::HostObjectsAlive();
  Signal s(128);
  for (int i = 0; i < 100; ++i) {
    aaxtest::SmallInstance inst(i % 2 ? aax::kStemStereo : aax::kStemMono, true);
    Outputs o(128);
    inst->Render(s.Inputs(), o.Pointers(), 128);
    int parent = i + 1;
    ASSERT_EQ(inst->OpenEditor(&parent), aax::kSuccess);
    inst->Render(s.Inputs(), o.Pointers(), 128);
    // Released by the host with the view still open: the window is closed all the same.
    if (i % 3 == 0) continue;
    inst->CloseEditor();
    EXPECT_EQ(inst.editor->closes, 1);
  }
  EXPECT_EQ(qd::LiveAcfObjects(), objectsBefore);
  EXPECT_EQ(sim::HostObjectsAlive(), hostBefore);
}

TEST(AaxDescription, ChannelConfigurationsBecomeComponents) {
  struct Case {
    const char* config;
    std::vector<std::pair<int32_t, int32_t>> stems;
  };
  const Case cases[] = {
      {"1-1 2-2", {{aax::kStemMono, aax::kStemMono}, {aax::kStemStereo, aax::kStemStereo}}},
      {"0-1", {{aax::kStemMono, aax::kStemMono}}},
      {"9-9 8-6", {{aax::kStemNone, aax::kStemNone}, {aax::kStem71, aax::kStem51}}},
      {"x 2-2", {{aax::kStemStereo, aax::kStemStereo}}},  // a piece that is no pair is skipped
      {"1-1 2-2 4-4", {{aax::kStemMono, aax::kStemMono}, {aax::kStemStereo, aax::kStemStereo}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.config);
    sim::Ref<sim::HostRoot> root(new sim::HostRoot());
    qd::EffectDescription d;
    d.pluginNames = "A\nB\n\nC";
    d.channelConfig = c.config;
    d.effectId = "id";
    d.nativeIds[0] = 1;
    d.nativeIds[1] = 2;
    d.audioSuiteIds[0] = aax::kFourCcNone;
    d.audioSuiteIds[1] = 4;
    aax::Result r;
    {
      qd::AAX_VCollection collection(root.get());
      r = qd::DescribeEffect(collection, d);
    }
    ASSERT_EQ(r, aax::kSuccess);
    const sim::EffectDescriptor& e = *root->lastCollection->effects.at(0).second;
    EXPECT_EQ(e.names, (std::vector<std::string>{"A", "B"}));
    ASSERT_EQ(e.components.size(), c.stems.size());
    for (size_t i = 0; i < c.stems.size(); ++i) {
      const sim::PropertyMap& props = *e.components[i]->properties;
      EXPECT_EQ(props.Get(aax::kPropInputStemFormat), c.stems[i].first);
      EXPECT_EQ(props.Get(aax::kPropOutputStemFormat), c.stems[i].second);
      EXPECT_EQ(props.Get(aax::kPropNativePluginId), static_cast<int32_t>(i + 1));
      // The 'none' AudioSuite ID is not registered.
      EXPECT_EQ(props.Get(aax::kPropAudioSuitePluginId, -1), i == 0 ? -1 : 4);
    }
  }
}

TEST(AaxDescription, MissingDescriptorIsAnError) {
  sim::Ref<sim::HostRoot> root(new sim::HostRoot());
  qd::AAX_VCollection collection(root.get());
  root->lastCollection->yieldNoDescriptor = true;
  EXPECT_EQ(qd::DescribeEffect(collection, qd::EffectDescription{}), aax::kErrorNullObject);
  EXPECT_TRUE(root->lastCollection->effects.empty());
}

// Proxies without a host object call nothing and answer -20004.
TEST(AaxProxies, AbsentHostObjectsAnswerNullObject) {
  qd::AAX_VController controller(nullptr);
  qd::AAX_VAutomationDelegate automation(nullptr);
  qd::AAX_VTransport transport(nullptr);
  qd::AAX_VViewContainer view(nullptr);
  qd::AAX_VCollection collection(nullptr);
  qd::AAX_VEffectDescriptor effect(nullptr);
  qd::AAX_VComponentDescriptor component(nullptr);
  qd::AAX_VPropertyMap map(nullptr);
  double d = 0;
  int32_t i = 0, j = 0;
  int64_t t = 0, u = 0;
  bool b = false;
  const aax::Result results[] = {
      controller.GetSampleRate(&d),
      controller.GetInputStemFormat(&i),
      controller.GetOutputStemFormat(&i),
      controller.SetSignalLatency(0),
      controller.GetEffectParameters(nullptr),
      automation.PostTouchRequest("1"),
      automation.PostSetValueRequest("1", 0.5),
      automation.PostReleaseRequest("1"),
      automation.PostCurrentValue("1", 0.5),
      transport.GetCurrentTempo(&d),
      transport.GetCurrentMeter(&i, &j),
      transport.IsTransportPlaying(&b),
      transport.GetCurrentTickPosition(&t),
      transport.GetCurrentLoopPosition(&b, &t, &u),
      transport.GetCurrentNativeSampleLocation(&t),
      view.SetViewSize({1, 1}),
      collection.AddEffect("x", &effect),
      collection.SetManufacturerName("x"),
      collection.AddPackageName("x"),
      collection.SetPackageVersion(1),
      effect.AddComponent(&component),
      effect.AddName("x"),
      effect.AddCategory(1),
      effect.AddProcPtr(nullptr, 0),
      component.AddAudioIn(0),
      component.AddAudioOut(1),
      component.AddAudioBufferLength(3),
      component.AddAuxOutputStem(0, 1, "x"),
      component.AddPrivateData(8, 8, 0),
      component.AddMeters(9, nullptr, 0),
      component.AddMidiNode(5, 0, "x", 1),
      component.AddProcessProcNative(nullptr, &map, nullptr, nullptr),
      map.AddProperty(1, 1),
  };
  for (size_t k = 0; k < std::size(results); ++k) {
    EXPECT_EQ(results[k], aax::kErrorNullObject) << "call " << k;
  }
  EXPECT_EQ(view.GetPtr(), nullptr);
  EXPECT_EQ(collection.NewDescriptor(), nullptr);
  EXPECT_EQ(effect.NewComponentDescriptor()->Interface(), nullptr);
}

}  // namespace
