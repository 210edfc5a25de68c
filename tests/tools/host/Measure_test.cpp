// The host's own measurements and its generated signal.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tools/host/Generator.h"
#include "tools/host/Meter.h"

namespace qd::host {
namespace {

std::vector<double> StereoSine(double peak, double hz, int rate, double seconds) {
  const int frames = static_cast<int>(rate * seconds);
  std::vector<double> out(2 * static_cast<size_t>(frames));
  for (int i = 0; i < frames; ++i) {
    out[2 * i] = out[2 * i + 1] = peak * std::sin(2.0 * M_PI * hz * i / rate);
  }
  return out;
}

TEST(Meter, SineInBothChannels) {
  // A 997 Hz sine of peak -20 dBFS in both channels reads -20 LUFS (the K-weighting and the
  // -0.691 offset cancel at 1 kHz), its RMS is 3.01 dB under its peak, and it has no range.
  struct Case {
    int rate;
    double peakDb;
  };
  for (const Case& c : {Case{44100, -20.0}, Case{48000, -6.0}, Case{96000, -30.0}}) {
    const auto frames = StereoSine(std::pow(10.0, c.peakDb / 20.0), 997.0, c.rate, 5.0);
    Meter meter(2, c.rate);
    for (size_t pos = 0; pos < frames.size(); pos += 2 * 1000) {
      const int n = static_cast<int>(std::min<size_t>(1000, (frames.size() - pos) / 2));
      meter.Add(frames.data() + pos, n);
    }
    const Measurement m = meter.Result();
    EXPECT_NEAR(m.integratedLufs, c.peakDb, 0.05) << c.rate;
    EXPECT_NEAR(m.samplePeakDb, c.peakDb, 0.01) << c.rate;
    EXPECT_NEAR(m.rmsDb, c.peakDb - 3.0103, 0.01) << c.rate;
    EXPECT_NEAR(m.rangeLu, 0.0, 0.1) << c.rate;
    EXPECT_EQ(m.frames, 5 * c.rate);
  }
}

TEST(Meter, SilenceHasNoLoudness) {
  Meter meter(2, 44100);
  std::vector<double> zeros(2 * 44100, 0.0);
  meter.Add(zeros.data(), 44100);
  const Measurement m = meter.Result();
  EXPECT_TRUE(std::isinf(m.integratedLufs) && m.integratedLufs < 0);
  EXPECT_EQ(FormatDb(m.samplePeakDb), "-inf");
  EXPECT_EQ(FormatDb(-14.004), "-14.00");
}

TEST(Meter, StepsOf100MsKeepTheirOwnTruePeakWhateverTheBlocks) {
  // Silence with one loud 50 ms burst at 2.03 s: only the step from 2.0 to 2.1 s peaks, and
  // the short-term loudness rises at that step and not before, for any feeding block size.
  const int rate = 48000;
  std::vector<double> frames(2 * static_cast<size_t>(rate) * 4, 0.0);
  for (int i = 0; i < rate / 20; ++i) {
    const size_t at = 2 * (static_cast<size_t>(rate) * 203 / 100 + i);
    frames[at] = frames[at + 1] = 0.5 * std::sin(2.0 * M_PI * 997.0 * i / rate);
  }
  for (int block : {7, 999, 4800, 100000}) {
    Meter meter(2, rate);
    for (size_t pos = 0; pos < frames.size(); pos += 2 * static_cast<size_t>(block)) {
      const int n = static_cast<int>(std::min<size_t>(block, (frames.size() - pos) / 2));
      meter.Add(frames.data() + pos, n);
    }
    const Measurement m = meter.Result();
    ASSERT_EQ(m.stepTruePeakDb.size(), 40u) << block;
    ASSERT_EQ(m.shortTermLufs.size(), 40u) << block;
    for (size_t step = 0; step < 40; ++step) {
      if (step == 20) {
        EXPECT_NEAR(m.stepTruePeakDb[step], -6.02, 0.2) << block;
      } else {
        EXPECT_TRUE(std::isinf(m.stepTruePeakDb[step])) << block << " step " << step;
      }
    }
    EXPECT_TRUE(std::isinf(m.shortTermLufs[19])) << block;
    EXPECT_TRUE(std::isfinite(m.shortTermLufs[20])) << block;
    EXPECT_NEAR(m.truePeakDb, -6.02, 0.2) << block;
  }
}

TEST(Generator, MusicIsDeterministicStereoAtThePeakAsked) {
  const auto a = GenerateMusic(44100, 4.0, -3.0);
  const auto b = GenerateMusic(44100, 4.0, -3.0);
  ASSERT_EQ(a.size(), 2u * 4 * 44100);
  EXPECT_EQ(a, b);
  double peak = 0.0, sideEnergy = 0.0;
  for (size_t i = 0; i < a.size(); i += 2) {
    peak = std::max({peak, std::fabs(a[i]), std::fabs(a[i + 1])});
    sideEnergy += (a[i] - a[i + 1]) * (a[i] - a[i + 1]);
  }
  EXPECT_NEAR(20.0 * std::log10(peak), -3.0, 1e-9);
  EXPECT_GT(sideEnergy, 0.0) << "the channels differ";
  Meter meter(2, 44100);
  const auto long_ = GenerateMusic(44100, 20.0, -3.0);
  meter.Add(long_.data(), static_cast<int>(long_.size() / 2));
  const Measurement m = meter.Result();
  EXPECT_GT(m.rangeLu, 2.0) << "quiet and loud sections, as music has";
  EXPECT_GT(m.samplePeakDb - m.rmsDb, 8.0) << "a crest factor like music, not a sine";
}

}  // namespace
}  // namespace qd::host
