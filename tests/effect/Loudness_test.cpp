#include "effect/Loudness.h"

#include <ebur128.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "effect/Meters.h"
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

namespace qd {
namespace {

// A programme that moves the way music and speech move: a level that wanders in dB and jumps
// now and then, pauses of silence, and a rare burst far above full scale; sample by sample,
// interleaved, so hours of it need no memory.
class WanderingProgramme {
 public:
  WanderingProgramme(int rate, uint64_t seed) : rate_(rate), rng_(seed) {}
  void Fill(double* x, int frames) {
    for (int i = 0; i < frames; ++i, ++frame_) {
      if (frame_ % (rate_ / 4 + 1) == 0) NextSegment();
      const double left = silent_ ? 0.0 : gain_ * Noise();
      const double right = silent_ ? 0.0 : gain_ * (0.6 * Noise() + 0.4 * left / gain_);
      x[2 * i] = left;
      x[2 * i + 1] = right;
    }
  }

 private:
  double Noise() { return u_(rng_); }
  void NextSegment() {
    const double pick = std::fabs(Noise());
    silent_ = pick < 0.03;
    if (pick > 0.995) {
      levelDb_ = 35.0;  // a burst above +30 LUFS
    } else if (pick > 0.9) {
      levelDb_ = -55.0 + 50.0 * std::fabs(Noise());  // a jump anywhere
    } else {
      levelDb_ = std::clamp(levelDb_ + 3.0 * Noise(), -75.0, 0.0);
    }
    gain_ = std::pow(10.0, levelDb_ / 20.0);
  }
  int rate_;
  std::mt19937_64 rng_;
  std::uniform_real_distribution<double> u_{-1.0, 1.0};
  int64_t frame_ = 0;
  double levelDb_ = -20.0, gain_ = 0.1;
  bool silent_ = false;
};

MeterReadings Readouts(double integrated, double range) {
  MeterSnapshot s;
  s.integratedLufs = integrated;
  s.rangeLu = range;
  return FormatMeterReadings(s);
}

// The engine's own integrated loudness and range read what the library reads in the
// histogram mode the readouts always came from: compared after every 100 ms step, the values
// within 1e-9 and the readout texts to the character, fed blocks of random length (1 frame to
// several steps), at common rates, an odd one and a low one (below about 3.4 kHz the
// weighting's shelf lies above the Nyquist frequency and no reading means anything). The 48 kHz
// programme is an hour long (QD_LOUDNESS_TEST_MINUTES sets another length).
TEST(Loudness, GatedMeasurementReadsAsTheLibrary) {
  int minutes = 60;
  if (const char* s = std::getenv("QD_LOUDNESS_TEST_MINUTES")) minutes = std::max(1, std::atoi(s));
  struct Case {
    int rate;
    int minutes;
  };
  const Case cases[] = {{48000, minutes}, {44100, 5}, {96000, 5},
                        {192000, 2},      {22051, 5}, {8000, 10}};
  for (const Case& c : cases) {
    GatedLoudness ours;
    ASSERT_TRUE(ours.Prepare(c.rate));
    auto library = LoudnessState::Create(kLoudnessIntegrated | kLoudnessRange | kLoudnessHistogram,
                                         static_cast<unsigned>(c.rate));
    ASSERT_NE(library, nullptr);
    WanderingProgramme programme(c.rate, static_cast<uint64_t>(c.rate));
    std::mt19937 sizes(static_cast<unsigned>(c.rate));
    std::vector<double> block;
    const int64_t total = int64_t{c.rate} * 60 * c.minutes;
    const int64_t step = ours.FramesPer100ms();
    int64_t compared = 0, valueMismatches = 0, textMismatches = 0;
    double largestRange = 0.0;
    for (int64_t frame = 0; frame < total;) {
      const int size = std::uniform_int_distribution<int>(0, 3)(sizes) == 0
                           ? std::uniform_int_distribution<int>(1, 3 * c.rate / 10 + 1)(sizes)
                           : std::uniform_int_distribution<int>(1, 600)(sizes);
      block.resize(2 * static_cast<size_t>(size));
      programme.Fill(block.data(), size);
      ours.AddFrames(block.data(), size);
      library->AddFramesInSteps(block.data(), size);
      const bool stepped = (frame + size) / step != frame / step;
      frame += size;
      if (!stepped) continue;
      const double oi = ours.Integrated(), li = library->Integrated();
      const double orange = ours.Range(), lrange = library->Range();
      const bool sameI = oi == li || std::fabs(oi - li) <= 1e-9;
      if (!sameI || std::fabs(orange - lrange) > 1e-9) {
        if (valueMismatches++ < 5) {
          ADD_FAILURE() << c.rate << " Hz at " << frame << ": integrated " << oi << " vs " << li
                        << ", range " << orange << " vs " << lrange;
        }
      }
      const MeterReadings a = Readouts(oi, orange), b = Readouts(li, lrange);
      if (std::strcmp(a.integratedText, b.integratedText) != 0 ||
          std::strcmp(a.rangeText, b.rangeText) != 0) {
        ++textMismatches;
      }
      largestRange = std::max(largestRange, lrange);
      ++compared;
    }
    EXPECT_EQ(valueMismatches, 0) << c.rate;
    EXPECT_EQ(textMismatches, 0) << c.rate;
    EXPECT_GT(compared, 500) << c.rate;
    EXPECT_GT(largestRange, 5.0) << c.rate;  // the programme really moves
  }
}

// A fresh start reads as a fresh measurement, a rate outside the library's range measures
// nothing, and a non-finite sample spoils nothing after it.
TEST(Loudness, GatedMeasurementResetsAndRefusesAndRecovers) {
  GatedLoudness m;
  EXPECT_FALSE(m.Prepare(15));
  EXPECT_FALSE(m.Prepare(2822401));
  EXPECT_FALSE(m.Prepared());
  std::vector<double> x(2 * 48000);
  m.AddFrames(x.data(), 48000);  // unprepared: ignored
  EXPECT_EQ(m.FramesFed(), 0);
  ASSERT_TRUE(m.Prepare(48000));
  WanderingProgramme programme(48000, 5);
  programme.Fill(x.data(), 48000);
  GatedLoudness fresh;
  ASSERT_TRUE(fresh.Prepare(48000));
  fresh.AddFrames(x.data(), 48000);
  std::vector<double> loud(2 * 48000, 0.7);
  m.AddFrames(loud.data(), 48000);
  EXPECT_NE(m.Integrated(), fresh.Integrated());
  m.Reset();
  EXPECT_EQ(m.Integrated(), -HUGE_VAL);
  m.AddFrames(x.data(), 48000);
  EXPECT_EQ(m.Integrated(), fresh.Integrated());
  EXPECT_EQ(m.Range(), fresh.Range());
  // A NaN and an infinity: the steps holding them do not count, the later ones read as ever.
  std::vector<double> bad = x;
  bad[1000] = std::nan("");
  bad[3001] = HUGE_VAL;
  GatedLoudness poisoned;
  ASSERT_TRUE(poisoned.Prepare(48000));
  poisoned.AddFrames(bad.data(), 48000);
  for (int second = 0; second < 5; ++second) poisoned.AddFrames(x.data(), 48000);
  EXPECT_TRUE(std::isfinite(poisoned.Integrated()));
  EXPECT_NEAR(poisoned.Integrated(), fresh.Integrated(), 1.0);
}

}  // namespace
}  // namespace qd
