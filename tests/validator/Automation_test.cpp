// Every parameter swept and set to random host values, including values outside 0..1, NaN
// and infinities, while audio runs at random block sizes and rates, with rate and block-size
// changes and suspend/resume between blocks. Every block must stay finite and under the
// ceiling, and every parameter must read back as a valid normalised value.
#include "tests/validator/Harness.h"

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

TEST(Automation, RandomValuesWhileAudioRunsAtRandomBlockSizesAndRates) {
  Seeded s;
  Instance plugin;
  float rate = s.Pick(HostRates());
  int maxBlock = RandomBlockSize(s);
  plugin.Start(rate, maxBlock);
  HostBuffers b;
  b.Resize(16384);
  Program program;
  const int blocks = Iterations(1500);
  for (int i = 0; i < blocks; ++i) {
    // Between blocks, what a host does to a running plug-in.
    const int event = s.Int(0, 99);
    if (event < 3) {
      rate = s.Chance(0.8) ? s.Pick(HostRates()) : static_cast<float>(s.Real(22050.0, 192000.0));
      plugin.Dispatch(effMainsChanged, 0, 0);
      plugin.Dispatch(effSetSampleRate, 0, 0, nullptr, rate);
      plugin.Dispatch(effMainsChanged, 0, 1);
    } else if (event < 6) {
      maxBlock = RandomBlockSize(s);
      plugin.Dispatch(effMainsChanged, 0, 0);
      plugin.Dispatch(effSetBlockSize, 0, maxBlock);
      plugin.Dispatch(effMainsChanged, 0, 1);
    } else if (event < 9) {
      plugin.Dispatch(effMainsChanged, 0, 0);
      plugin.Dispatch(effMainsChanged, 0, 1);
    } else if (event < 12) {
      // A sweep of one parameter over its whole range in small steps.
      const int p = s.Int(0, kParamCount - 1);
      for (int k = 0; k <= 20; ++k) plugin.effect->setParameter(plugin.effect, p, k / 20.0f);
    }
    for (int k = s.Int(0, 4); k > 0; --k) {
      plugin.effect->setParameter(plugin.effect, s.Int(0, kParamCount - 1), RandomHostValue(s));
    }
    if (s.Chance(0.05)) {
      // Some hosts set parameters by text.
      const int p = s.Int(0, kParamCount - 1);
      const char* texts[] = {"0", "-3.5", "24",   "1e308",   "-1e308", "nan", "inf",
                             "",  "2x",   "LUFS", "garbage", "on",     "-0"};
      plugin.SetByText(p, texts[s.Int(0, 12)]);
    }
    ASSERT_NO_FATAL_FAILURE(ExpectParamsValid(plugin)) << "after block " << i;

    // The host may send less than, exactly, or more than the announced maximum block.
    const int n =
        s.Chance(0.9) ? std::min(RandomBlockSize(s), std::max(maxBlock, 0)) : RandomBlockSize(s);
    program.peak = s.Chance(0.2) ? s.Real(0.0, 16.0) : 2.0;
    Fill(program, b, n, rate);
    const double ceiling = CeilingFor(plugin);
    ProcessBlock(plugin, b, n, s.Chance(0.5) ? Precision::kDouble : Precision::kFloat);
    ASSERT_EQ(CheckBlock(b, n, ceiling), "")
        << "block " << i << " at " << rate << " Hz, max block " << maxBlock;
    if (plugin.host.calls.size() > 100000) plugin.host.calls.clear();
  }
}

}  // namespace
}  // namespace qd::validator
