// Every parameter entry called with what the format's hosts send, valid or not, while audio
// runs at random block sizes and rates, through any format's driver (see Driver.h; the
// driver's HostileCalls say what its hosts do between blocks). Every block stays finite and
// under the ceiling (a bypassed block is its input), and every parameter reads back as a
// valid normalised value.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "tests/validator/Driver.h"

namespace qd::validator {

template <typename D>
void HostileAutomationWhileAudioRuns(D& driver, int blocks) {
  Seeded s;
  int maxBlock = RandomBlockSize(s);
  auto instance = driver.Create(s.rng, s.Pick(HostRates()), maxBlock);
  ASSERT_NE(instance, nullptr);
  DriverBuffers<typename D::Sample> b;
  b.Resize(16384);
  Program program;
  for (int block = 0; block < blocks; ++block) {
    ASSERT_NO_FATAL_FAILURE(driver.HostileCalls(instance, s, maxBlock)) << "block " << block;
    ASSERT_NO_FATAL_FAILURE(instance->ExpectParamsValid()) << "after block " << block;

    // The host may send less than, exactly, or more than the announced maximum block.
    const int n =
        s.Chance(0.9) ? std::min(RandomBlockSize(s), std::max(maxBlock, 0)) : RandomBlockSize(s);
    program.peak = s.Chance(0.2) ? s.Real(0.0, 16.0) : 2.0;
    FillFrom(program, b, n, instance->Rate());
    const bool bypassed = instance->Bypassed();
    const double ceiling = instance->Ceiling();
    instance->VaryBetweenBlocks(s.rng);
    instance->Process(b.in, b.out, n);
    if (bypassed) {
      for (int c = 0; c < instance->Channels(); ++c) {
        ASSERT_EQ(0, std::memcmp(b.in[c].data(), b.out[c].data(),
                                 sizeof(typename D::Sample) * static_cast<size_t>(n)))
            << "bypassed block " << block << " is not its input";
      }
    } else {
      ASSERT_EQ(CheckSamples(b.out, instance->Channels(), n, ceiling), "")
          << "block " << block << " at " << instance->Rate() << " Hz, max block " << maxBlock;
    }
    instance->AfterBlock();
  }
}

}  // namespace qd::validator
