// Instances opened, used and closed in sequence and several alive at once, closed in random
// order, through any format's driver (see Driver.h).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "tests/validator/Driver.h"

namespace qd::validator {

// Starts the instance again where the format lets a host (at another rate and block size),
// renders a few blocks, sometimes with the editor open, and checks them.
template <typename D>
void UseBriefly(typename D::Instance& instance, Seeded& s) {
  const int block = s.Int(1, 2048);
  instance.Restart(s.Pick(HostRates()), block);
  DriverBuffers<typename D::Sample> b;
  b.Resize(block);
  Program program;
  int parent = 0;  // stands in for the host's window
  const bool withEditor = s.Chance(0.3);
  if (withEditor) instance.OpenEditor(&parent);
  for (int i = 0; i < 3; ++i) {
    FillFrom(program, b, block, instance.Rate());
    instance.VaryBetweenBlocks(s.rng);
    const double ceiling = instance.Ceiling();
    instance.Process(b.in, b.out, block);
    instance.AfterBlock();
    ASSERT_EQ(CheckSamples(b.out, instance.Channels(), block, ceiling), "");
    if (withEditor) instance.EditorIdle(s.rng);
  }
  if (withEditor && s.Chance(0.8)) instance.CloseEditor();  // else closed with the instance
}

template <typename D>
void OpenUseCloseManyTimesInSequence(D& driver, int rounds) {
  Seeded s;
  for (int i = 0; i < rounds; ++i) {
    auto instance = driver.Create(s.rng, s.Pick(HostRates()), s.Int(1, 2048));
    ASSERT_NE(instance, nullptr);
    ASSERT_NO_FATAL_FAILURE(UseBriefly<D>(*instance, s)) << "instance " << i << " in sequence";
    driver.ExpectInstancesAlive();
    instance->BeforeClose(s);
  }
}

template <typename D>
void ManyInstancesAliveAtOnceClosedInRandomOrder(D& driver, int rounds) {
  Seeded s;
  for (int round = 0; round < rounds; ++round) {
    std::vector<std::unique_ptr<typename D::Instance>> alive;
    const int count = s.Int(4, 12);
    for (int i = 0; i < count; ++i) {
      alive.push_back(driver.Create(s.rng, s.Pick(HostRates()), s.Int(1, 2048)));
      ASSERT_NE(alive.back(), nullptr);
      ASSERT_NO_FATAL_FAILURE(UseBriefly<D>(*alive.back(), s)) << "instance among many";
    }
    // Each instance keeps its own state: a parameter set on one is not seen by another.
    for (size_t i = 0; i < alive.size(); ++i) {
      alive[i]->SetParam(kClipperLevel, static_cast<double>(i) / static_cast<double>(count));
    }
    for (size_t i = 0; i < alive.size(); ++i) {
      EXPECT_FLOAT_EQ(static_cast<float>(alive[i]->ReadParams()[kClipperLevel]),
                      static_cast<float>(i) / static_cast<float>(count))
          << "instance " << i;
    }
    // Interleaved use: each block goes to a random live instance.
    for (int i = 0; i < count * 4; ++i) {
      auto& instance = *alive[static_cast<size_t>(s.Int(0, count - 1))];
      ASSERT_NO_FATAL_FAILURE(UseBriefly<D>(instance, s)) << "interleaved use";
    }
    std::shuffle(alive.begin(), alive.end(), s.rng);
    while (!alive.empty()) {
      alive.back()->BeforeClose(s);
      alive.pop_back();
      for (auto& other : alive) {
        ASSERT_NO_FATAL_FAILURE(UseBriefly<D>(*other, s)) << "survivor after a close";
      }
    }
  }
}

}  // namespace qd::validator
