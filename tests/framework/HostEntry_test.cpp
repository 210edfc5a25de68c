// The host entry points every binding calls: parameters from normalised values and text,
// state bytes, the activation lifecycle and the outgoing events.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <thread>

#include "framework/PluginBase.h"
#include "framework/SnapshotExchange.h"
#include "tests/framework/TestPlugin.h"

namespace qd {
namespace {

using testing::RecordingHost;
using testing::TestPlugin;

// A binding that takes the events itself (as one reporting from its process call would).
struct PollingHost : RecordingHost {
  bool DeliversEventsAtOnce() const override { return false; }
};

TEST(HostEntry, NormalisedValueReachesParameterAndChangeHandler) {
  TestPlugin p;
  EXPECT_TRUE(p.SetParameterFromHost(1, 0.75));
  EXPECT_DOUBLE_EQ(p.GetParam(1)->Value(), 5.0);
  ASSERT_EQ(p.changes.size(), 1u);
  EXPECT_EQ(p.changes[0], (TestPlugin::Change{1, kSourceHost}));
  EXPECT_TRUE(p.heldMutex[0]);
  EXPECT_TRUE(p.SetParameterFromHost(1, std::nan("")));
  EXPECT_DOUBLE_EQ(p.GetParam(1)->Value(), 5.0) << "NaN carries no value";
  EXPECT_FALSE(p.SetParameterFromHost(3, 0.5));
  EXPECT_FALSE(p.SetParameterFromHost(-1, 0.5));
}

TEST(HostEntry, EchoOfAPostedValueRestoresItExactly) {
  TestPlugin p;
  p.GetParam(0)->SetClamped(1.234567891);  // a value no normalised trip gives back bit-exactly
  const double posted = p.ExpectHostEcho(0);
  EXPECT_TRUE(p.SetParameterFromHost(0, posted, HostValueRule::kKeepEcho));
  EXPECT_EQ(p.GetParam(0)->Value(), 1.234567891);
  // Without an expected echo, an answer equal to the current position keeps the value too;
  // any other answer moves it.
  EXPECT_TRUE(p.SetParameterFromHost(0, p.GetParam(0)->Normalized(), HostValueRule::kKeepEcho));
  EXPECT_EQ(p.GetParam(0)->Value(), 1.234567891);
  EXPECT_TRUE(p.SetParameterFromHost(0, 1.0, HostValueRule::kKeepEcho));
  EXPECT_DOUBLE_EQ(p.GetParam(0)->Value(), 10.0);
}

TEST(HostEntry, TextIsADisplayTextOrAFiniteNumber) {
  TestPlugin p;
  p.GetParam(2)->DefineEnum("mode", 0, 3, "", "");
  p.GetParam(2)->AddDisplayText(0, "off");
  p.GetParam(2)->AddDisplayText(1, "2x");
  p.GetParam(2)->AddDisplayText(2, "4x");
  struct Case {
    int index;
    const char* text;
    bool taken;
    double value;
  } cases[] = {
      {0, "3.5", true, 3.5}, {0, "-2.5dB", true, -2.5}, {0, "1e308", true, 10.0},
      {0, "  4", true, 4.0}, {0, "abc", false, 0},      {0, "", false, 0},
      {0, "nan", false, 0},  {0, "-inf", false, 0},     {0, "dB", false, 0},
      {2, "off", true, 0.0}, {2, "OFF", false, 0},      {2, "1", false, 0},
  };
  for (const Case& c : cases) {
    p.GetParam(c.index)->SetClamped(c.index == 0 ? 7.0 : 0.0);
    const double before = p.GetParam(c.index)->Value();
    EXPECT_EQ(p.SetParameterFromText(c.index, c.text), c.taken) << c.text;
    EXPECT_DOUBLE_EQ(p.GetParam(c.index)->Value(), c.taken ? c.value : before) << c.text;
  }
  EXPECT_FALSE(p.SetParameterFromText(0, nullptr));
  EXPECT_FALSE(p.SetParameterFromText(5, "1"));
}

TEST(HostEntry, StateBytesRoundTripCompareAndRefuseWhatIsNotAState) {
  for (StateLayout layout : {StateLayout::kProgram, StateLayout::kBank, StateLayout::kBare}) {
    SCOPED_TRACE(static_cast<int>(layout));
    TestPlugin p;
    p.FillEmptyPresets();
    p.GetParam(0)->SetClamped(-3.0);
    p.GetParam(2)->SetClamped(9.5);
    ChunkBuffer saved;
    ASSERT_TRUE(p.SaveStateBytes(layout, saved));
    if (layout != StateLayout::kBank) {
      EXPECT_TRUE(p.StateBytesMatch(layout, saved.Data(), saved.Size()));
    }
    TestPlugin q;
    q.FillEmptyPresets();
    ASSERT_TRUE(q.LoadStateBytes(layout, saved.Data(), saved.Size()));
    EXPECT_EQ(q.GetParam(0)->Value(), -3.0);
    EXPECT_EQ(q.GetParam(2)->Value(), 9.5);
    q.GetParam(1)->SetClamped(1.0);
    if (layout != StateLayout::kBank) {
      EXPECT_FALSE(q.StateBytesMatch(layout, saved.Data(), saved.Size()));
      EXPECT_FALSE(q.StateBytesMatch(layout, saved.Data(), saved.Size() - 1)) << "too short";
    }
    EXPECT_FALSE(q.LoadStateBytes(layout, nullptr, 8));
    EXPECT_FALSE(q.LoadStateBytes(layout, saved.Data(), -1));
    EXPECT_FALSE(q.LoadStateBytes(layout, saved.Data(), kMaxStateBytes + 1));
    EXPECT_EQ(q.GetParam(0)->Value(), -3.0) << "a refused state changes nothing";
    // Bytes that end inside the values are never read past and answer false.
    EXPECT_FALSE(q.LoadStateBytes(layout, saved.Data(), saved.Size() - 3));
  }
}

// All or nothing: bytes cut at any length change no value and no preset; whole bytes load.
TEST(HostEntry, AllOrNothingLoadKeepsTheStateThatWasThere) {
  for (StateLayout layout : {StateLayout::kProgram, StateLayout::kBank, StateLayout::kBare}) {
    SCOPED_TRACE(static_cast<int>(layout));
    TestPlugin source;
    source.FillEmptyPresets();
    for (int i = 0; i < source.ParamCount(); ++i) source.GetParam(i)->SetClamped(0.25 * i - 2.0);
    ChunkBuffer incoming;
    ASSERT_TRUE(source.SaveStateBytes(layout, incoming));

    TestPlugin target;
    target.FillEmptyPresets();
    target.GetParam(1)->SetClamped(1.0);
    ChunkBuffer before, after;
    ASSERT_TRUE(target.SaveStateBytes(StateLayout::kBank, before));
    for (int n = 0; n < incoming.Size(); ++n) {
      if (target.LoadStateBytes(layout, incoming.Data(), n, StateLoad::kAllOrNothing)) continue;
      ASSERT_TRUE(target.SaveStateBytes(StateLayout::kBank, after));
      ASSERT_EQ(after.Size(), before.Size()) << n;
      EXPECT_EQ(std::memcmp(after.Data(), before.Data(), static_cast<size_t>(before.Size())), 0)
          << "cut at " << n;
    }
    ASSERT_TRUE(
        target.LoadStateBytes(layout, incoming.Data(), incoming.Size(), StateLoad::kAllOrNothing));
    for (int i = 0; i < source.ParamCount(); ++i) {
      EXPECT_EQ(target.GetParam(i)->Value(), source.GetParam(i)->Value()) << i;
    }
  }
}

TEST(HostEntry, ActivationValidatesRateAndBlockSizeInOnePlace) {
  TestPlugin p;
  p.Activate(48000.0, 512);
  EXPECT_TRUE(p.IsActive());
  EXPECT_EQ(p.SampleRate(), 48000.0);
  EXPECT_EQ(p.MaxBlockSize(), 512);
  const int resets = p.resets;
  for (double rate : {0.0, -44100.0, 999.0, 2e6, std::nan(""), double{INFINITY}}) {
    p.Activate(rate, 0);
    EXPECT_EQ(p.SampleRate(), 48000.0) << rate;
    EXPECT_EQ(p.MaxBlockSize(), 512) << rate;
  }
  EXPECT_EQ(p.resets, resets + 6) << "every activation starts the engine afresh";
  p.Activate(96000.0, int64_t{1} << 40);
  EXPECT_EQ(p.MaxBlockSize(), kMaxScratchFrames);
  p.Suspend();
  EXPECT_FALSE(p.IsActive());
  p.Resume();
  EXPECT_TRUE(p.IsActive());
  p.Deactivate();
  EXPECT_FALSE(p.IsActive());
  EXPECT_TRUE(IsValidSampleRate(kMinSampleRate));
  EXPECT_TRUE(IsValidSampleRate(kMaxSampleRate));
  EXPECT_EQ(ValidBlockSize(-5), 0);
}

TEST(HostEntry, OutgoingEventsKeepTheirOrderWhetherDeliveredAtOnceOrPolled) {
  RecordingHost atOnce;
  PollingHost polling;
  for (RecordingHost* host : {&atOnce, static_cast<RecordingHost*>(&polling)}) {
    TestPlugin p;
    p.SetHostServices(host);
    p.BeginParamEdit(1);
    p.SetParameterFromGUI(1, 0.25);
    p.EndParamEdit(1);
    p.PostParamChangeFromEngine(2);
    if (host == &polling) {
      EXPECT_TRUE(host->calls.empty());
      p.DrainOutgoingEvents([&](const OutgoingEvent& e) {
        if (e.kind == OutgoingEvent::kBeginEdit) host->BeginParamEdit(e.index);
        if (e.kind == OutgoingEvent::kValue) host->ReportParamChange(e.index, e.normalized);
        if (e.kind == OutgoingEvent::kEndEdit) host->EndParamEdit(e.index);
      });
    }
    const std::vector<std::string> expected = {"begin 1", "change 1 0.250000", "end 1",
                                               "begin 2", "change 2 0.500000", "end 2"};
    EXPECT_EQ(host->calls, expected);
  }
}

TEST(HostEntry, FullQueueDropsWholeGesturesAndAllocatesNothing) {
  OutgoingEventQueue q;
  const OutgoingEvent gesture[3] = {{OutgoingEvent::kBeginEdit, 7, 0.0},
                                    {OutgoingEvent::kValue, 7, 0.5},
                                    {OutgoingEvent::kEndEdit, 7, 0.0}};
  int queued = 0;
  while (q.Push(gesture, 3)) ++queued;
  EXPECT_EQ(queued, OutgoingEventQueue::kCapacity / 3);
  EXPECT_EQ(q.Dropped(), 3u);
  OutgoingEvent e;
  for (int i = 0; i < 3 * queued; ++i) {
    ASSERT_TRUE(q.Pop(&e));
    EXPECT_EQ(e.kind, gesture[i % 3].kind) << i;
  }
  EXPECT_FALSE(q.Pop(&e));
}

// The reader always sees one whole published value, never a mix of two.
TEST(HostEntry, SnapshotIsTakenWholeFromAnotherThread) {
  struct Pair {
    uint64_t a = 0, b = 0;
  };
  SnapshotExchange<Pair> exchange;
  std::thread writer([&] {
    for (uint64_t i = 1; i <= 200000; ++i) exchange.Publish({i, ~i});
  });
  uint64_t last = 0;
  int taken = 0;
  while (last < 200000) {
    Pair p;
    if (!exchange.Take(&p)) continue;
    ASSERT_EQ(p.b, ~p.a);
    ASSERT_GT(p.a, last) << "never an older value";
    last = p.a;
    ++taken;
  }
  writer.join();
  EXPECT_GT(taken, 0);
  Pair p;
  EXPECT_FALSE(exchange.Take(&p)) << "nothing new";
}

}  // namespace
}  // namespace qd
