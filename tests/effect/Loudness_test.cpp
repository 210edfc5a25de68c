#include <gtest/gtest.h>

#include <ebur128.h>

#include <cmath>
#include <random>

#include "effect/Loudness.h"
#include "tests/effect/EngineTestSupport.h"

namespace qd {
namespace {

using testing::MakePlugin;
using testing::Render;
using testing::Sine;
using testing::Stereo;

Stereo Concat(const Stereo& a, const Stereo& b) {
  Stereo s = a;
  s.left.insert(s.left.end(), b.left.begin(), b.left.end());
  s.right.insert(s.right.end(), b.right.begin(), b.right.end());
  return s;
}

TEST(Loudness, ReferenceSineReadsMinus23Lufs) {
  auto p = MakePlugin(48000);
  Render(*p, Sine(1000, DbToGain(-23), 20.0, 48000), 512);
  EXPECT_NEAR(p->IntegratedLoudness(), -23.2, 0.1);
}

TEST(Loudness, RangeOfTwoLevelsIsTenLu) {
  auto p = MakePlugin(48000);
  const Stereo in =
      Concat(Sine(1000, DbToGain(-20), 20.0, 48000), Sine(1000, DbToGain(-30), 20.0, 48000));
  Render(*p, in, 512);
  EXPECT_NEAR(p->LoudnessRange(), 10.0, 1.0);
}

// The one histogram-mode state agrees with the library's exact (list) mode fed the same
// audio, over programmes of different character and block sizes.
TEST(Loudness, HistogramStateAgreesWithExactMeasurement) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  for (int programme = 0; programme < 4; ++programme) {
    const int rate = programme % 2 ? 44100 : 48000;
    auto p = MakePlugin(rate, 4096);
    auto exact = LoudnessState::Create(kLoudnessIntegrated | kLoudnessRange, rate);
    Stereo in(static_cast<size_t>(rate * 30));
    double level = 0.05 + 0.1 * programme;
    for (size_t i = 0; i < in.size(); ++i) {
      if (i % rate == 0) level = 0.02 + 0.3 * std::fabs(u(rng));  // a new level each second
      in.left[i] = level * (std::sin(0.03 * i) + 0.3 * u(rng));
      in.right[i] = level * (std::sin(0.021 * i) + 0.3 * u(rng));
    }
    const Stereo out = Render(*p, in, 64 << programme);
    std::vector<double> interleaved(2 * out.size());
    for (size_t i = 0; i < out.size(); ++i) {
      interleaved[2 * i] = out.left[i];
      interleaved[2 * i + 1] = out.right[i];
    }
    exact->AddFrames(interleaved.data(), static_cast<int>(out.size()));
    EXPECT_NEAR(p->IntegratedLoudness(), exact->Integrated(), 0.011) << programme;
    EXPECT_NEAR(p->LoudnessRange(), exact->Range(), 0.1) << programme;
  }
}

}  // namespace
}  // namespace qd
