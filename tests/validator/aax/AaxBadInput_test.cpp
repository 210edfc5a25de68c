// Input no host should send but some do, through the AAX render procedure: the shared suite
// (see suites/BadInputSuite.h) over the AAX driver.

#include "tests/validator/aax/AaxDriver.h"
#include "tests/validator/aax/AaxHarness.h"
#include "tests/validator/suites/BadInputSuite.h"

namespace qd::validator {
namespace {

class AaxBadInput : public AaxValidator {};

TEST_F(AaxBadInput, OutputStaysFiniteAndRecoversWithinOneBlock) {
  AaxDriver driver(*this);
  BadInputRecoversWithinOneBlock(driver, Iterations(5));
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
            LoudThenFading(program, rate, done + k, loudFrames, b.in[0][k], b.in[1][k]);
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
