// Input no host should send but some do, through the AAX render procedure: NaN, infinities,
// denormals, full-scale squares and the largest floats. The output stays finite and under
// the ceiling, a non-finite sample counts as silence, and the block after the bad input is
// exactly what clean input gives.

#include "tests/validator/aax/AaxHarness.h"

namespace qd::validator {
namespace {

class AaxBadInput : public AaxValidator {};

// Two instances with the same settings: one gets the bad input, the other gets silence
// where the bad samples were non-finite (and the same samples otherwise).
TEST_F(AaxBadInput, OutputStaysFiniteAndRecoversWithinOneBlock) {
  Seeded s;
  const Bad kinds[] = {Bad::kNaN,      Bad::kPosInf, Bad::kNegInf, Bad::kMixed,
                       Bad::kDenormal, Bad::kSquare, Bad::kLargest};
  for (int round = 0; round < Iterations(5); ++round) {
    for (Bad bad : kinds) {
      const double rate = s.Pick(HostRates());
      const int block = s.Int(1, 4096);
      const int component = s.Int(0, 1);
      const int channels = component + 1;
      auto victim = Create(component, rate);
      auto reference = Create(component, rate);
      ASSERT_TRUE(victim && reference);
      for (int p = 0; p < kParamCount; ++p) {
        if (p == kResetMeters) continue;
        const double v = s.Real(0.0, 1.0);
        victim->Params()->UpdateParameterNormalizedValue(AaxParamId(p).c_str(), v, 0);
        reference->Params()->UpdateParameterNormalizedValue(AaxParamId(p).c_str(), v, 0);
      }
      FloatBuffers vb, rb;
      vb.Resize(block);
      rb.Resize(block);
      Program vp, rp;
      const int badBlock = s.Int(1, 4);
      for (int i = 0; i < badBlock + 3; ++i) {
        Fill(vp, vb, block, rate);
        Fill(rp, rb, block, rate);
        if (i == badBlock) {
          const bool silenced = Spoil(vb.in, block, bad, s);
          for (int c = 0; c < 2; ++c) {
            for (int k = 0; k < block; ++k) {
              rb.in[c][k] = silenced && !std::isfinite(vb.in[c][k]) ? 0.0f : vb.in[c][k];
            }
          }
        }
        const double ceiling = Ceiling();
        vb.Render(*victim, block);
        rb.Render(*reference, block);
        victim->DeliverAutomation();
        reference->DeliverAutomation();
        ASSERT_EQ(CheckBlock(vb, block, channels, ceiling), "")
            << Name(bad) << " input, block " << i << " (bad block " << badBlock << ")";
        // Non-finite samples enter as silence, so the two instances never differ.
        ASSERT_TRUE(SameOutput(vb, rb, block, channels)) << Name(bad) << " input, block " << i;
      }
      ASSERT_NO_FATAL_FAILURE(ExpectParamsValid(*victim));
    }
  }
}

// Loud audio, then a tail fading into silence, through the float render procedure: no
// subnormal float reaches the host. Every host rate, each oversampling factor, odd block sizes.
TEST_F(AaxBadInput, FloatOutputsCarryNoSubnormalsAfterLoudAudio) {
  const double factors[] = {0.0, 0.5, 1.0};
  const int blocks[] = {1, 37, 509};
  for (const float rate : HostRates()) {
    for (const double factor : factors) {
      auto instance = Create(1, rate);
      ASSERT_TRUE(instance);
      sim::Instance& inst = *instance;
      inst.Params()->UpdateParameterNormalizedValue(AaxParamId(kClipperOversample).c_str(), factor,
                                                    0);
      inst.Params()->UpdateParameterNormalizedValue(AaxParamId(kLimiterOversample).c_str(), factor,
                                                    0);
      inst.Params()->UpdateParameterNormalizedValue(AaxParamId(kLimiterLevel).c_str(), 0.6, 0);
      FloatBuffers b;
      b.Resize(509);
      Program program;
      for (const int block : blocks) {
        const int loudFrames = static_cast<int>(rate * 0.02f);
        const int totalFrames = loudFrames + 4500;  // the tail reaches 0 within 4000
        for (int done = 0; done < totalFrames; done += block) {
          for (int k = 0; k < block; ++k) {
            double l = 0.0, r = 0.0;
            program.Next(rate, l, r);
            const int tail = done + k - loudFrames;
            if (tail > 0) l = r = l * std::exp(-0.026 * tail);
            b.in[0][k] = static_cast<float>(l);
            b.in[1][k] = static_cast<float>(r);
          }
          b.Render(inst, block);
          inst.DeliverAutomation();
          ASSERT_EQ(FindSubnormal(b.out, 2, block), "")
              << rate << " Hz, factor setting " << factor << ", block " << block << ", frame "
              << done;
        }
      }
    }
  }
}

}  // namespace
}  // namespace qd::validator
