// The host's threads at work on one instance at once: audio with automation on one thread,
// the editor opened, idled, typed at and closed on another, state saved and restored on a
// third. Every entry holds the plug-in's mutex, so nothing may race, deadlock, or hand the
// audio thread a half-applied change. Also run under ThreadSanitizer.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "tests/validator/Harness.h"

namespace qd::validator {
namespace {

struct AudioThread {
  Instance& plugin;
  uint64_t seed;
  std::atomic<bool>& stop;
  std::atomic<int> blocks{0};
  std::string failure;

  void Run() {
    std::mt19937_64 rng(seed);
    HostBuffers b;
    b.Resize(2048);
    Program program;
    while (!stop.load() && failure.empty()) {
      const int n = static_cast<int>(rng() % 2049);
      for (int k = static_cast<int>(rng() % 3); k > 0; --k) {
        plugin.effect->setParameter(plugin.effect, static_cast<int32_t>(rng() % kParamCount),
                                    static_cast<float>(rng() % 1001) / 1000.0f);
      }
      Fill(program, b, n, 48000.0);
      // Another thread may switch the limiter's oversampling (through a restored state)
      // between blocks; the ceiling is the same at every factor.
      const double ceiling = kOutputCeiling;
      ProcessBlock(plugin, b, n, (rng() & 1) ? Precision::kDouble : Precision::kFloat);
      failure = CheckBlock(b, n, ceiling);
      blocks.fetch_add(1);
    }
  }
};

TEST(Threads, EditorOpenedAndClosedWhileAudioAndAutomationRun) {
  Seeded s;
  Instance plugin;
  plugin.Start(48000.0f, 2048);
  ASSERT_NE(plugin.effect->flags & kEffFlagsHasEditor, 0);
  std::atomic<bool> stop{false};
  AudioThread audio{plugin, s.rng(), stop, {0}, {}};
  std::thread audioThread([&] { audio.Run(); });

  int parent = 0;  // stands in for the host's window
  for (int i = 0; i < Iterations(150); ++i) {
    ERect* rect = nullptr;
    ASSERT_EQ(plugin.Dispatch(effEditGetRect, 0, 0, &rect), 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->right - rect->left, 640);
    EXPECT_EQ(rect->bottom - rect->top, 480);
    plugin.Dispatch(effEditOpen, 0, 0, &parent);
    for (int k = s.Int(0, 6); k > 0; --k) {
      plugin.Dispatch(effEditIdle);
      plugin.Dispatch(effEditKeyDown, s.Int(0, 127), s.Int(0, 80), nullptr, 0.0f);
      plugin.Dispatch(effEditKeyUp, s.Int(0, 127), s.Int(0, 80), nullptr, 0.0f);
      char text[64] = {};
      plugin.Dispatch(effGetParamDisplay, s.Int(0, kParamCount - 1), 0, text);
    }
    if (s.Chance(0.9)) plugin.Dispatch(effEditClose);
  }
  plugin.Dispatch(effEditClose);
  // Without a display the editor calls return at once; let the audio thread run a little
  // before stopping it, so the test always overlaps the two threads.
  for (int wait = 0; wait < 2000 && audio.blocks.load() < 8; ++wait) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  stop = true;
  audioThread.join();
  EXPECT_EQ(audio.failure, "");
  EXPECT_GT(audio.blocks.load(), 0);
}

TEST(Threads, StateSavedAndRestoredWhileAudioAndAutomationRun) {
  Seeded s;
  Instance plugin;
  plugin.Start(48000.0f, 2048);
  std::atomic<bool> stop{false};
  AudioThread audio{plugin, s.rng(), stop, {0}, {}};
  std::thread audioThread([&] { audio.Run(); });

  std::vector<std::pair<bool, std::vector<uint8_t>>> saved;
  for (int i = 0; i < Iterations(400); ++i) {
    if (saved.empty() || s.Chance(0.5)) {
      const bool program = s.Chance(0.5);
      saved.emplace_back(program, GetChunk(plugin, program));
      ASSERT_FALSE(saved.back().second.empty());
    } else {
      const auto& [program, chunk] = s.Pick(saved);
      EXPECT_EQ(SetChunk(plugin, program, chunk), 1);
    }
    ASSERT_NO_FATAL_FAILURE(ExpectParamsValid(plugin));
  }
  stop = true;
  audioThread.join();
  EXPECT_EQ(audio.failure, "");
}

}  // namespace
}  // namespace qd::validator
