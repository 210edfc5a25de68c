// Instances opened, used and closed in sequence, several alive at once, and created from
// several threads at once.
#include <memory>
#include <thread>

#include "tests/validator/Harness.h"

namespace qd::validator {
namespace {

// Opens an instance as a host does, renders a little audio and checks it.
void UseBriefly(Instance& plugin, Seeded& s, const char* what) {
  ASSERT_NE(plugin.effect, nullptr) << what << ": " << qd::testing::Module::Get().Error();
  const float rate = s.Pick(HostRates());
  const int block = s.Int(1, 2048);
  plugin.Start(rate, block);
  HostBuffers b;
  b.Resize(block);
  Program program;
  for (int i = 0; i < 3; ++i) {
    Fill(program, b, block, rate);
    ProcessBlock(plugin, b, block, s.Chance(0.5) ? Precision::kDouble : Precision::kFloat);
    ASSERT_EQ(CheckBlock(b, block, CeilingFor(plugin)), "") << what;
  }
}

TEST(Lifecycle, OpenUseCloseManyTimesInSequence) {
  Seeded s;
  const int rounds = Iterations(40);
  for (int i = 0; i < rounds; ++i) {
    Instance plugin(s.Chance(0.5) ? "VSTPluginMain" : "main");
    UseBriefly(plugin, s, "instance in sequence");
    if (s.Chance(0.3)) plugin.Dispatch(effMainsChanged, 0, 0);  // some hosts suspend first
    plugin.Close();
  }
}

TEST(Lifecycle, ManyInstancesAliveAtOnceClosedInRandomOrder) {
  Seeded s;
  for (int round = 0; round < Iterations(3); ++round) {
    std::vector<std::unique_ptr<Instance>> alive;
    const int count = s.Int(4, 12);
    for (int i = 0; i < count; ++i) {
      alive.push_back(std::make_unique<Instance>());
      UseBriefly(*alive.back(), s, "instance among many");
    }
    // Each instance keeps its own state: a parameter set on one is not seen by another.
    for (size_t i = 0; i < alive.size(); ++i) {
      alive[i]->effect->setParameter(alive[i]->effect, kClipperLevel,
                                     static_cast<float>(i) / static_cast<float>(alive.size()));
    }
    for (size_t i = 0; i < alive.size(); ++i) {
      EXPECT_FLOAT_EQ(alive[i]->effect->getParameter(alive[i]->effect, kClipperLevel),
                      static_cast<float>(i) / static_cast<float>(alive.size()));
    }
    while (!alive.empty()) {
      const size_t victim = static_cast<size_t>(s.Int(0, static_cast<int>(alive.size()) - 1));
      alive.erase(alive.begin() + static_cast<long>(victim));
      for (auto& other : alive) UseBriefly(*other, s, "survivor after a close");
    }
  }
}

TEST(Lifecycle, InstancesCreatedUsedAndClosedOnSeveralThreads) {
  Seeded s;
  const uint64_t base = s.rng();
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      std::mt19937_64 rng(base + static_cast<uint64_t>(t));
      for (int i = 0; i < Iterations(10); ++i) {
        Instance plugin;
        if (!plugin.effect) {
          ++failures;
          return;
        }
        plugin.Start(44100.0f, 256);
        HostBuffers b;
        b.Resize(256);
        Program program;
        Fill(program, b, 256, 44100.0);
        ProcessBlock(plugin, b, 256, Precision::kDouble);
        if (!CheckBlock(b, 256, kOutputCeiling).empty()) ++failures;
        plugin.effect->setParameter(plugin.effect, static_cast<int>(rng() % kParamCount),
                                    static_cast<float>(rng() % 1000) / 1000.0f);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
}

}  // namespace
}  // namespace qd::validator
