// Every parameter swept and set to random host values, including values outside 0..1, NaN
// and infinities, while audio runs at random block sizes and rates, with rate and block-size
// changes and suspend/resume between blocks. Every block must stay finite and under the
// ceiling, and every parameter must read back as a valid normalised value (the run itself is
// the shared suite, suites/AutomationSuite.h).
#include "tests/validator/Harness.h"
#include "tests/validator/Vst2Driver.h"
#include "tests/validator/suites/AutomationSuite.h"

namespace qd::validator {
namespace {

// Host values that are not numbers leave a parameter at its previous value or the nearest
// valid one; none is stored as NaN or outside 0..1.
TEST(Automation, NonFiniteAndOutOfRangeHostValuesAreClampedOrIgnored) {
  Instance plugin;
  plugin.Start();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  struct Case {
    float value;
    float expected;  // < 0: the previous value stays
  } cases[] = {{nan, -1.0f},   {inf, 1.0f},  {-inf, 0.0f}, {1e30f, 1.0f},
               {-1e30f, 0.0f}, {1.5f, 1.0f}, {-0.5f, 0.0f}};
  for (int p = 0; p < kParamCount; ++p) {
    for (const Case& c : cases) {
      plugin.effect->setParameter(plugin.effect, p, 0.5f);
      const float before = plugin.effect->getParameter(plugin.effect, p);
      plugin.effect->setParameter(plugin.effect, p, c.value);
      const float after = plugin.effect->getParameter(plugin.effect, p);
      const float expected = c.expected < 0.0f ? before : c.expected;
      EXPECT_NEAR(after, expected, 1e-6) << "parameter " << p << " set to " << c.value;
      char text[64] = {};
      plugin.Dispatch(effGetParamDisplay, p, 0, text);
      EXPECT_EQ(std::string(text).find("nan"), std::string::npos) << "parameter " << p;
      EXPECT_EQ(std::string(text).find("inf"), std::string::npos) << "parameter " << p;
    }
  }
}

// Random values, rate and block-size changes, suspend and resume and text entry between
// blocks: the shared suite over the VST2 driver.
TEST(Automation, RandomValuesWhileAudioRunsAtRandomBlockSizesAndRates) {
  Vst2Driver driver;
  HostileAutomationWhileAudioRuns(driver, Iterations(1500));
}

}  // namespace
}  // namespace qd::validator
