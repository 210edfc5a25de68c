// Host threads through the built bundle: a host processes on its audio thread while its
// user-interface thread saves and restores state, sets parameters, asks for value texts and
// sets processing up again, as Ardour does when it saves a session or a preset during
// playback. Every call is serialised by the plug-in mutex: the audio stays finite and the
// state last restored is the one kept.
#include <gtest/gtest.h>

#include <cmath>
#include <thread>

#include "effect/Parameters.h"
#include "tests/formats/vst3/Vst3TestHost.h"

namespace qd::testing {
namespace {

TEST(Vst3Threads, StateParameterAndSetupCallsWhileTheAudioThreadProcesses) {
  Vst3Instance plugin;
  ASSERT_TRUE(plugin.Valid());
  plugin.Start(48000.0, 512, kSample32);

  // Two states to alternate between; the automatic output stays off, so the engine changes
  // no parameter of its own and the state restored last is what a save gives.
  plugin.controller->setParamNormalized(kAutoOutputLevel, 0.0);
  plugin.controller->setParamNormalized(kLimiterLevel, 0.5);
  plugin.controller->setParamNormalized(kClipperOversample, 1.0);
  const std::vector<uint8_t> loud = plugin.State();
  plugin.controller->setParamNormalized(kLimiterLevel, 0.1);
  plugin.controller->setParamNormalized(kClipperOversample, 0.0);
  const std::vector<uint8_t> quiet = plugin.State();
  ASSERT_NE(loud, quiet);

  std::atomic<bool> stop{false};
  std::atomic<int> blocks{0}, notFinite{0};
  std::thread audio([&] {
    std::vector<float> i0(2048), i1(2048), o0(2048), o1(2048);
    for (int n = 0; !stop; ++n) {
      // Lengths up to four times the maximum: a host that sets up smaller meanwhile may
      // still hand over the blocks it had planned.
      const int frames = (n * 397) % 2048;
      for (int k = 0; k < frames; ++k) {
        i0[k] = static_cast<float>(0.9 * std::sin(0.05 * (n * 2048 + k)));
        i1[k] = -i0[k];
      }
      plugin.Process<float>({i0.data(), i1.data()}, {o0.data(), o1.data()}, frames);
      for (int k = 0; k < frames; ++k) {
        if (!std::isfinite(o0[k]) || !std::isfinite(o1[k])) ++notFinite;
      }
      ++blocks;
    }
  });

  for (int round = 0; round < 200 || blocks < 50; ++round) {
    EXPECT_EQ(plugin.SetState(round % 2 ? loud : quiet), kResultOk);
    EXPECT_FALSE(plugin.State().empty());
    MemoryStream same(round % 2 ? loud : quiet);
    EXPECT_EQ(plugin.controller->setComponentState(&same), kResultOk);
    plugin.controller->setParamNormalized(kReleaseTime, (round % 10) / 10.0);
    EXPECT_NE(plugin.ValueText(kReleaseTime, 0.3), "<refused>");
    if (round % 25 == 0) {
      ProcessSetup setup{kRealtime, kSample32, 128 + 64 * (round % 8), 48000.0};
      EXPECT_EQ(plugin.processor->setupProcessing(setup), kResultOk);
    }
    if (round % 40 == 20) {
      plugin.processor->setProcessing(0);
      plugin.component->setActive(0);
      plugin.component->setActive(1);
      plugin.processor->setProcessing(1);
    }
  }
  EXPECT_EQ(plugin.SetState(loud), kResultOk);
  stop = true;
  audio.join();

  EXPECT_EQ(notFinite, 0);
  EXPECT_EQ(plugin.State(), loud);
}

}  // namespace
}  // namespace qd::testing
