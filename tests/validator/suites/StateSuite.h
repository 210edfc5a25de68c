// States saved, compared and restored at random moments while parameters are automated and
// audio runs, through any format's driver (see Driver.h): a restored state renders exactly
// the audio of the state it came from, reads back as it was saved, and damaged states leave
// a sound instance.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <random>
#include <vector>

#include "tests/validator/Driver.h"

namespace qd::validator {

// Where the format compares a state with the instance's own, its answer is `expected`.
template <typename Instance, typename State>
::testing::AssertionResult ComparesAs(Instance& instance, const State& state, bool expected) {
  const std::optional<bool> same = instance.Compare(state);
  if (!same || *same == expected) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "the state compares " << (*same ? "equal" : "unequal");
}

// Renders the same blocks through the instance, doing between blocks what its host does,
// and returns every output sample.
template <typename D>
std::vector<typename D::Sample> RenderSequence(typename D::Instance& instance, uint64_t seed,
                                               int blocks) {
  std::mt19937_64 rng(seed);
  DriverBuffers<typename D::Sample> b;
  b.Resize(4096);
  Program program;
  std::vector<typename D::Sample> out;
  for (int i = 0; i < blocks; ++i) {
    const int n = static_cast<int>(rng() % 4097);
    FillFrom(program, b, n, instance.Rate());
    instance.Process(b.in, b.out, n);
    instance.AfterBlock();
    for (int c = 0; c < 2; ++c) out.insert(out.end(), b.out[c].begin(), b.out[c].begin() + n);
  }
  return out;
}

template <typename D>
void RestoredStateRendersExactlyTheAudioOfItsSource(D& driver, int rounds) {
  Seeded s;
  for (int round = 0; round < rounds; ++round) {
    const double rate = s.Pick(HostRates());
    // `source` and `fresh` are alike (channels, entry used); `restored` may differ.
    auto [source, fresh] = driver.CreatePair(s, rate, 4096);
    ASSERT_TRUE(source && fresh);
    RandomiseParams(*source, s);
    const typename D::State state = source->Save(s.Chance(0.5));
    ASSERT_FALSE(state.bytes.empty());

    auto restored = driver.Create(s.rng, rate, 4096);
    ASSERT_NE(restored, nullptr);
    RandomiseParams(*restored, s);  // whatever it held before is replaced
    EXPECT_TRUE(ComparesAs(*restored, state, false)) << "round " << round;
    ASSERT_TRUE(restored->Restore(state)) << "round " << round;
    restored->AfterBlock();
    EXPECT_TRUE(ComparesAs(*restored, state, true)) << "round " << round;
    if (D::kRestoreReadsBackAsSaved) {
      EXPECT_EQ(restored->ReadParams(), source->ReadParams()) << "round " << round;
    }
    EXPECT_EQ(restored->Save(state.program).bytes, state.bytes) << "round " << round;

    // `restored` held other values before; a fresh instance is the exact reference.
    ASSERT_TRUE(fresh->Restore(state));
    fresh->AfterBlock();
    const uint64_t audioSeed = s.rng();
    const auto a = RenderSequence<D>(*source, audioSeed, 12);
    const auto b = RenderSequence<D>(*fresh, audioSeed, 12);
    ASSERT_EQ(a.size(), b.size());
    EXPECT_EQ(0, std::memcmp(a.data(), b.data(), a.size() * sizeof(a[0])))
        << "round " << round << ": " << (state.program ? "program" : "bank") << " state at " << rate
        << " renders other audio";
  }
}

template <typename D>
void StatesSavedComparedAndRestoredAtRandomMomentsDuringAutomation(D& driver, int blocks) {
  Seeded s;
  auto instance = driver.Create(s.rng, s.Pick(HostRates()), 4096);
  ASSERT_NE(instance, nullptr);
  DriverBuffers<typename D::Sample> b;
  b.Resize(4096);
  Program program;
  struct Saved {
    typename D::State state;
    std::vector<double> params;
  };
  std::vector<Saved> saved;
  for (int block = 0; block < blocks; ++block) {
    for (int k = s.Int(0, 3); k > 0; --k) {
      instance->SetParam(s.Int(0, kParamCount - 1), RandomHostValue(s));
    }
    switch (s.Int(0, 5)) {
      case 0: {
        instance->AfterBlock();  // what the host posted is delivered before it saves
        Saved state{instance->Save(s.Chance(0.5)), instance->ReadParams()};
        ASSERT_FALSE(state.state.bytes.empty()) << "block " << block;
        EXPECT_TRUE(ComparesAs(*instance, state.state, true)) << "block " << block;
        saved.push_back(std::move(state));
        if (saved.size() > 16) saved.erase(saved.begin());
        break;
      }
      case 1:
        if (!saved.empty()) {
          const Saved& state = s.Pick(saved);
          ASSERT_TRUE(instance->Restore(state.state)) << "block " << block;
          instance->AfterBlock();
          EXPECT_TRUE(ComparesAs(*instance, state.state, true)) << "block " << block;
          if (D::kRestoreReadsBackAsSaved) {
            EXPECT_EQ(instance->ReadParams(), state.params) << "after restoring at block " << block;
          }
          EXPECT_EQ(instance->Save(state.state.program).bytes, state.state.bytes)
              << "block " << block;
        }
        break;
      case 2:
        if (!saved.empty()) instance->Compare(s.Pick(saved).state);
        break;
      default:
        instance->StateEvents(s);
        break;
    }
    ASSERT_NO_FATAL_FAILURE(instance->ExpectParamsValid());
    const int n = s.Int(0, 4096);
    FillFrom(program, b, n, instance->Rate());
    const double ceiling = instance->Ceiling();
    const bool bypassed = instance->Bypassed();
    instance->VaryBetweenBlocks(s.rng);
    instance->Process(b.in, b.out, n);
    if (!bypassed) {
      ASSERT_EQ(CheckSamples(b.out, instance->Channels(), n, ceiling), "") << "block " << block;
    }
    if (s.Chance(0.5)) instance->AfterBlock();
    ASSERT_NO_FATAL_FAILURE(instance->ExpectParamsValid());
  }
}

// States from a damaged project (see the driver's Damage): the instance answers, keeps valid
// parameters, still saves and renders sound audio, and the good state still restores exactly.
template <typename D>
void DamagedStatesLeaveTheInstanceSound(D& driver, int rounds) {
  Seeded s;
  auto instance = driver.Create(s.rng, 48000.0, 1024);
  ASSERT_NE(instance, nullptr);
  DriverBuffers<typename D::Sample> b;
  b.Resize(1024);
  Program program;
  for (int i = 0; i < rounds; ++i) {
    RandomiseParams(*instance, s);
    instance->AfterBlock();
    const typename D::State good = instance->Save(s.Chance(0.5));
    ASSERT_FALSE(good.bytes.empty());
    const typename D::State bad = driver.Damage(good, s);
    instance->Compare(bad);
    instance->Restore(bad);
    instance->AfterBlock();
    ASSERT_NO_FATAL_FAILURE(instance->ExpectParamsValid()) << "damaged state " << i;
    ASSERT_FALSE(instance->Save(!good.program).bytes.empty()) << "damaged state " << i;
    FillFrom(program, b, 1024, instance->Rate());
    const double ceiling = instance->Ceiling();
    instance->Process(b.in, b.out, 1024);
    ASSERT_EQ(CheckSamples(b.out, instance->Channels(), 1024, ceiling), "")
        << "after damaged state " << i;
    // The good state still restores exactly.
    ASSERT_TRUE(instance->Restore(good)) << "damaged state " << i;
    instance->AfterBlock();
    EXPECT_TRUE(ComparesAs(*instance, good, true)) << "damaged state " << i;
    EXPECT_EQ(instance->Save(good.program).bytes, good.bytes) << "damaged state " << i;
  }
}

}  // namespace qd::validator
