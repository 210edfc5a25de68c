// The host's threads at work on one instance at once, through any format's driver (see
// Driver.h): audio on one thread (automating too where the format's hosts do), while another
// automates, opens, idles and closes the editor and saves, compares and restores the state;
// and instances created, used and destroyed from several threads at once. Nothing may race,
// deadlock or hand the audio thread a half-applied change. Also run under ThreadSanitizer.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tests/validator/Driver.h"

namespace qd::validator {

template <typename D>
struct AudioThread {
  AudioThread(typename D::Instance& instance, uint64_t seed) : instance(instance), seed(seed) {}
  typename D::Instance& instance;
  uint64_t seed;
  std::atomic<bool> stop{false};
  std::atomic<int> blocks{0};
  std::string failure;

  void Run() {
    std::mt19937_64 rng(seed);
    DriverBuffers<typename D::Sample> b;
    b.Resize(2048);
    Program program;
    // Another thread may switch the oversampling (through a restored state) between blocks;
    // the ceiling is the same at every factor.
    const double ceiling = kOutputCeiling;
    while (!stop.load() && failure.empty()) {
      const int n = static_cast<int>(rng() % 2049);
      if (D::kAutomatesOnAudioThread) {
        for (int k = static_cast<int>(rng() % 3); k > 0; --k) {
          instance.SetParam(static_cast<int>(rng() % kParamCount),
                            static_cast<double>(rng() % 1001) / 1000.0);
        }
      }
      FillFrom(program, b, n, 48000.0);
      instance.VaryBetweenBlocks(rng);
      instance.Process(b.in, b.out, n);
      failure = CheckSamples(b.out, instance.Channels(), n, ceiling);
      blocks.fetch_add(1);
    }
  }

  // However fast the other thread's loop ran, the two threads overlap.
  void WaitForBlocks(int count) const {
    for (int wait = 0; wait < 2000 && blocks.load() < count; ++wait) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
};

// The host's main thread, while audio runs: editor calls, parameter edits with their display
// texts, and states saved, compared and restored.
template <typename D>
void HostThreadEditsSavesAndRestoresWhileAudioRuns(D& driver, int rounds) {
  Seeded s;
  auto instance = driver.Create(s.rng, 48000.0, 2048);
  ASSERT_NE(instance, nullptr);
  ASSERT_NO_FATAL_FAILURE(instance->ExpectEditorSize());
  AudioThread<D> audio(*instance, s.rng());
  std::thread audioThread([&] { audio.Run(); });

  std::vector<typename D::State> saved;
  int parent = 0;  // stands in for the host's window
  bool editorOpen = false;
  for (int i = 0; i < rounds; ++i) {
    switch (s.Int(0, 5)) {
      case 0:
        saved.push_back(instance->Save(s.Chance(0.5)));
        EXPECT_FALSE(saved.back().bytes.empty());
        break;
      case 1:
        if (!saved.empty()) {
          EXPECT_TRUE(instance->Restore(s.Pick(saved)));
        }
        break;
      case 2:
        if (!saved.empty()) instance->Compare(s.Pick(saved));
        break;
      case 3:
        if (!editorOpen || s.Chance(0.5)) {
          ASSERT_NO_FATAL_FAILURE(instance->ExpectEditorSize());
          instance->OpenEditor(&parent);
          editorOpen = true;
          for (int k = s.Int(0, 6); k > 0; --k) instance->EditorIdle(s.rng);
        } else if (s.Chance(0.9)) {
          instance->CloseEditor();
          editorOpen = false;
        }
        break;
      default:
        // Not the bypass: a bypassed block is the input itself, and whether a block was
        // bypassed cannot be told from this thread.
        instance->SetParam(s.Int(0, kParamCount - 1), RandomHostValue(s));
        break;
    }
    instance->MainThreadCycle();
    ASSERT_NO_FATAL_FAILURE(instance->ExpectParamsValid());
  }
  instance->CloseEditor();
  audio.WaitForBlocks(8);
  audio.stop = true;
  audioThread.join();
  EXPECT_EQ(audio.failure, "");
  EXPECT_GT(audio.blocks.load(), 0);
}

template <typename D>
void InstancesCreatedUsedAndDestroyedOnSeveralThreads(D& driver, int rounds) {
  Seeded s;
  const uint64_t seed = s.rng();
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      std::mt19937_64 rng(seed + static_cast<uint64_t>(t));
      DriverBuffers<typename D::Sample> b;
      b.Resize(512);
      Program program;
      for (int i = 0; i < rounds; ++i) {
        auto instance = driver.Create(rng, 44100.0, 512);
        if (!instance) {
          failures.fetch_add(1);
          continue;
        }
        FillFrom(program, b, 512, 44100.0);
        instance->Process(b.in, b.out, 512);
        if (!CheckSamples(b.out, instance->Channels(), 512, kOutputCeiling).empty()) {
          failures.fetch_add(1);
        }
        instance->SetParam(static_cast<int>(rng() % kParamCount),
                           static_cast<double>(rng() % 1000) / 1000.0);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
}

}  // namespace qd::validator
