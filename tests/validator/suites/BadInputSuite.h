// Input no host should send but some do (NaN, infinities, denormals, full-scale squares,
// the largest values), run through any format's driver: the output stays finite and under
// the ceiling, a non-finite sample counts as silence, and the block after the bad input is
// exactly what clean input gives.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "tests/validator/Driver.h"

namespace qd::validator {

// Two instances with the same settings: one gets the bad input, the other gets silence
// where the bad samples were non-finite (and the same samples otherwise).
template <typename D>
void BadInputRecoversWithinOneBlock(D& driver, int rounds) {
  using Sample = typename D::Sample;
  Seeded s;
  const Bad kinds[] = {Bad::kNaN,      Bad::kPosInf, Bad::kNegInf, Bad::kMixed,
                       Bad::kDenormal, Bad::kSquare, Bad::kLargest};
  for (int round = 0; round < rounds; ++round) {
    for (Bad bad : kinds) {
      const double rate = s.Pick(HostRates());
      const int block = s.Int(1, 4096);
      auto [victim, reference] = driver.CreatePair(s, rate, block);
      ASSERT_TRUE(victim && reference);
      for (int p = 0; p < kParamCount; ++p) {
        if (p == kResetMeters) continue;
        const double v = s.Real(0.0, 1.0);
        victim->SetParam(p, v);
        reference->SetParam(p, v);
      }
      const int channels = victim->Channels();
      DriverBuffers<Sample> vb, rb;
      vb.Resize(block);
      rb.Resize(block);
      Program vp, rp;
      const int badBlock = s.Int(1, 4);
      for (int i = 0; i < badBlock + 3; ++i) {
        FillFrom(vp, vb, block, rate);
        FillFrom(rp, rb, block, rate);
        if (i == badBlock) {
          const bool silenced = Spoil(vb.in, block, bad, s);
          for (int c = 0; c < 2; ++c) {
            for (int k = 0; k < block; ++k) {
              rb.in[c][k] = silenced && !std::isfinite(vb.in[c][k]) ? Sample{} : vb.in[c][k];
            }
          }
        }
        const double ceiling = victim->Ceiling();
        victim->Process(vb.in, vb.out, block);
        reference->Process(rb.in, rb.out, block);
        victim->AfterBlock();
        reference->AfterBlock();
        ASSERT_EQ(CheckSamples(vb.out, channels, block, ceiling), "")
            << Name(bad) << " input, block " << i << " (bad block " << badBlock << ")";
        // Non-finite samples enter as silence, so the two instances never differ: the bad
        // block itself matches, and so does every block after it.
        for (int c = 0; c < channels; ++c) {
          ASSERT_EQ(0, std::memcmp(vb.out[c].data(), rb.out[c].data(),
                                   sizeof(Sample) * static_cast<size_t>(block)))
              << Name(bad) << " input, block " << i << " channel " << c;
        }
      }
      // The parameters read back sound.
      ASSERT_NO_FATAL_FAILURE(victim->ExpectParamsValid());
    }
  }
}

}  // namespace qd::validator
