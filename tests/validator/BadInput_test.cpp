// Input no host should send but some do, through the VST2 module: the shared suite (see
// suites/BadInputSuite.h), then full-scale squares at every factor and drive.
#include <cstring>

#include "tests/validator/Harness.h"
#include "tests/validator/Vst2Driver.h"
#include "tests/validator/suites/BadInputSuite.h"

namespace qd::validator {
namespace {

TEST(BadInput, OutputStaysFiniteAndRecoversWithinOneBlock) {
  Vst2Driver driver;
  BadInputRecoversWithinOneBlock(driver, Iterations(10));
}

// Full-scale and beyond, at every oversampling factor and drive: the ceiling holds.
TEST(BadInput, FullScaleSquaresAtEveryFactorAndDriveStayUnderTheCeiling) {
  Seeded s;
  const float factors[] = {0.0f, 0.5f, 1.0f};
  const float drives[] = {0.0f, 0.2f, 1.0f};
  for (float clipOs : factors) {
    for (float limOs : factors) {
      for (float drive : drives) {
        Instance plugin;
        const float rate = s.Pick(HostRates());
        plugin.Start(rate, 1024);
        plugin.effect->setParameter(plugin.effect, kClipperOversample, clipOs);
        plugin.effect->setParameter(plugin.effect, kLimiterOversample, limOs);
        plugin.effect->setParameter(plugin.effect, kClipperLevel, drive);
        plugin.effect->setParameter(plugin.effect, kLimiterLevel, 1.0f - drive);
        plugin.effect->setParameter(plugin.effect, kOutputLevel, 1.0f);  // 0 dB
        const double ceiling = CeilingFor(plugin);
        HostBuffers b;
        b.Resize(1024);
        double peak = 0.0;
        for (int i = 0; i < 40; ++i) {
          const int period = 2 + (i * 7) % 200;
          for (int k = 0; k < 1024; ++k) {
            const double level = (i % 4 == 0) ? 1.0 : 4.0;
            b.in[0][k] = ((k / period) & 1) ? level : -level;
            b.in[1][k] = ((k / (period + 1)) & 1) ? -level : level;
          }
          ProcessBlock(plugin, b, 1024, Precision::kDouble);
          ASSERT_EQ(CheckBlock(b, 1024, ceiling), "")
              << "clipper os " << clipOs << ", limiter os " << limOs << ", drive " << drive
              << ", block " << i << " at " << rate;
          for (int k = 0; k < 1024; ++k) peak = std::max(peak, std::fabs(b.out[0][k]));
        }
        EXPECT_GT(peak, 0.5) << "the square waves came out far too quiet";
      }
    }
  }
}

}  // namespace
}  // namespace qd::validator
