#include "effect/Loudness.h"

#include <ebur128.h>
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

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

// Handing the library whole gating steps leaves the integrated loudness and the range
// exactly as feeding it every block: read after every block of random length (1 frame to
// several steps), over programmes with level jumps and a gap of silence, at three rates.
TEST(Loudness, FeedingInWholeStepsReadsExactlyAsFeedingEveryBlock) {
  std::mt19937 rng(12);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  const int mode = kLoudnessIntegrated | kLoudnessRange | kLoudnessHistogram;
  for (int rate : {44100, 48000, 96000}) {
    auto direct = LoudnessState::Create(mode, static_cast<unsigned>(rate));
    auto stepped = LoudnessState::Create(mode, static_cast<unsigned>(rate));
    ASSERT_TRUE(direct && stepped);
    std::vector<double> block;
    double level = 0.1;
    int64_t frame = 0, mismatches = 0;
    const int64_t total = int64_t{rate} * 90;
    while (frame < total) {
      const int size = std::uniform_int_distribution<int>(0, 3)(rng) == 0
                           ? std::uniform_int_distribution<int>(1, 3 * rate / 10)(rng)
                           : std::uniform_int_distribution<int>(1, 600)(rng);
      block.resize(2 * static_cast<size_t>(size));
      for (int k = 0; k < size; ++k, ++frame) {
        if (frame % rate == 0) level = 0.02 + 0.4 * std::fabs(u(rng));  // a new level each second
        const bool silent = frame > 40 * rate && frame < 47 * rate;
        block[2 * k] = silent ? 0.0 : level * (std::sin(0.03 * frame) + 0.3 * u(rng));
        block[2 * k + 1] = silent ? 0.0 : level * (std::sin(0.021 * frame) + 0.3 * u(rng));
      }
      direct->AddFrames(block.data(), size);
      stepped->AddFramesInSteps(block.data(), size);
      ASSERT_EQ(stepped->FramesFed(), direct->FramesFed());
      if (stepped->Integrated() != direct->Integrated() || stepped->Range() != direct->Range()) {
        ++mismatches;
      }
    }
    EXPECT_EQ(mismatches, 0) << rate;
    EXPECT_GT(direct->Range(), 1.0) << rate;  // the programme really moves
    EXPECT_EQ(stepped->Integrated(), direct->Integrated()) << rate;
  }
}

}  // namespace
}  // namespace qd

namespace qd {
namespace {

// The running momentary reading agrees with the library's own momentary call, taken after
// every block, for any block length and rate; programmes with level jumps and a gap of
// silence (compared where the library reads above -70 LUFS, the gate of any use).
TEST(Loudness, RunningMomentaryAgreesWithTheLibraryAtEveryBlockSize) {
  std::mt19937 rng(8);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  for (int rate : {44100, 48000, 96000}) {
    const int frames = rate * 3;
    std::vector<double> x(2 * static_cast<size_t>(frames));
    double level = 0.3;
    for (int i = 0; i < frames; ++i) {
      if (i % (rate / 4) == 0) level = 0.01 + 0.6 * std::fabs(u(rng));
      const bool gap = i > rate * 2 && i < rate * 2 + rate / 5;
      x[2 * i] = gap ? 0.0 : level * (std::sin(0.05 * i) + 0.4 * u(rng));
      x[2 * i + 1] = gap ? 0.0 : level * (std::sin(0.0031 * i) + 0.4 * u(rng));
    }
    for (int block : {1, 3, 32, 256, 4096}) {
      MomentaryLoudness running;
      running.Prepare(rate);
      auto library = LoudnessState::Create(kLoudnessMomentary, rate);
      ASSERT_NE(library, nullptr);
      int compared = 0;
      double largest = 0.0;
      for (int start = 0, b = 0; start < frames; start += block, ++b) {
        const int n = std::min(block, frames - start);
        running.AddFrames(&x[2 * static_cast<size_t>(start)], n);
        library->AddFrames(&x[2 * static_cast<size_t>(start)], n);
        if (start + n < rate * 4 / 10) continue;
        // The library re-sums its window on each call: with tiny blocks, check a sample.
        if (block < 32 && b % 97 != 0) continue;
        const double expected = library->Momentary();
        if (expected < -70.0) continue;
        largest = std::max(largest, std::fabs(running.Momentary() - expected));
        ++compared;
      }
      EXPECT_GT(compared, 20) << rate << " " << block;
      EXPECT_LE(largest, 0.01) << "rate " << rate << " block " << block;
    }
  }
}

TEST(Loudness, RunningMomentaryOfSilenceIsMinusInfinity) {
  MomentaryLoudness m;
  m.Prepare(48000);
  std::vector<double> silence(2 * 48000, 0.0);
  m.AddFrames(silence.data(), 48000);
  EXPECT_EQ(m.Momentary(), -HUGE_VAL);
  std::vector<double> burst(2 * 480, 0.5);
  m.AddFrames(burst.data(), 480);
  EXPECT_GT(m.Momentary(), -30.0);
  // Long after the burst the window holds only silence again.
  m.AddFrames(silence.data(), 48000);
  m.AddFrames(silence.data(), 48000);
  EXPECT_EQ(m.Momentary(), -HUGE_VAL);
}

}  // namespace
}  // namespace qd
