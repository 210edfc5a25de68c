// The AAX host's threads at work on one instance at once: the render procedure on the audio
// thread while the host's main thread automates, delivers posted requests, saves and
// restores the chunk and opens and closes the editor; and instances created and destroyed
// from several threads at once. Also run under ThreadSanitizer.
#include <atomic>
#include <chrono>
#include <thread>

#include "tests/validator/aax/AaxHarness.h"

namespace qd::validator {
namespace {

class AaxThreads : public AaxValidator {};

struct AudioThread {
  AudioThread(sim::Instance& instance, uint64_t seed) : instance(instance), seed(seed) {}
  sim::Instance& instance;
  uint64_t seed;
  std::atomic<bool> stop{false};
  std::atomic<int> blocks{0};
  std::string failure;

  void Run() {
    std::mt19937_64 rng(seed);
    FloatBuffers b;
    b.Resize(2048);
    Program program;
    const double ceiling = Ceiling();
    while (!stop.load() && failure.empty()) {
      const int n = static_cast<int>(rng() % 2049);
      Fill(program, b, n, 48000.0);
      b.Render(instance, n);
      failure = CheckBlock(b, n, 2, ceiling);
      blocks.fetch_add(1);
    }
  }
};

void WaitForBlocks(const AudioThread& audio, int count) {
  for (int wait = 0; wait < 2000 && audio.blocks.load() < count; ++wait) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

TEST_F(AaxThreads, HostThreadAutomatesSavesRestoresAndEditsWhileAudioRenders) {
  Seeded s;
  auto instance = Create(1, 48000.0);
  ASSERT_NE(instance, nullptr);
  AudioThread audio(*instance, s.rng());
  std::thread audioThread([&] { audio.Run(); });

  std::vector<std::vector<uint8_t>> saved;
  int parent = 0;  // stands in for the host's window
  for (int i = 0; i < Iterations(400); ++i) {
    aax::IEffectParameters* params = instance->Params();
    switch (s.Int(0, 5)) {
      case 0:
        saved.push_back(instance->SaveChunk());
        break;
      case 1:
        if (!saved.empty()) {
          EXPECT_EQ(instance->RestoreChunk(s.Pick(saved)), aax::kSuccess);
        }
        break;
      case 2:
        if (!saved.empty()) instance->CompareChunk(s.Pick(saved));
        break;
      case 3:
        if (s.Chance(0.5)) {
          instance->OpenEditor(&parent);
          instance->EditorTimer();
        } else {
          instance->CloseEditor();
        }
        break;
      default: {
        // Not the bypass: a bypassed block is the input itself, and whether a block was
        // bypassed cannot be told from this thread. The bypass is exercised by the
        // automation run.
        const std::string id = AaxParamId(s.Int(0, kParamCount - 1));
        params->UpdateParameterNormalizedValue(id.c_str(), RandomHostValue(s), 0);
        char text[32];
        params->GetParameterValueString(id.c_str(), text, 31, sizeof(text));
        break;
      }
    }
    instance->DeliverAutomation();
    ASSERT_NO_FATAL_FAILURE(ExpectParamsValid(*instance));
    if (i % 64 == 0) instance->AutomationDelegate().Clear();
  }
  instance->CloseEditor();
  WaitForBlocks(audio, 8);  // the two threads always overlap, however fast the loop ran
  audio.stop = true;
  audioThread.join();
  EXPECT_EQ(audio.failure, "");
  EXPECT_GT(audio.blocks.load(), 0);
}

TEST_F(AaxThreads, InstancesCreatedAndDestroyedFromSeveralThreadsAtOnce) {
  Seeded s;
  const uint64_t seed = s.rng();
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      std::mt19937_64 rng(seed + static_cast<uint64_t>(t));
      FloatBuffers b;
      b.Resize(512);
      Program program;
      for (int i = 0; i < Iterations(10); ++i) {
        auto instance = module.CreateInstance(static_cast<int>(rng() % 2), 44100.0);
        if (!instance || instance->InitializeResult() != aax::kSuccess) {
          failures.fetch_add(1);
          continue;
        }
        Fill(program, b, 512, 44100.0);
        b.Render(*instance, 512);
        if (!CheckBlock(b, 512, 1, Ceiling()).empty()) failures.fetch_add(1);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
}

}  // namespace
}  // namespace qd::validator
