#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "effect/AutoOutput.h"
#include "effect/Clipper.h"
#include "effect/EnginePasses.h"
#include "effect/Limiter.h"
#include "effect/LimiterKernels.h"
#include "effect/RMSBuffer.h"
#include "effect/RMSKernels.h"

namespace qd {
namespace {

TEST(Clipper, CurvesAndReadout) {
  struct Case {
    bool soft;
    double driveDb, in, out, readout;
  } cases[] = {
      {false, 6.0, 0.8, 1.0, 0.6265},          // 0.8 x 1.9952623 = 1.5962 clipped to 1
      {true, 0.0, 0.5, 0.4621172, 0.9242344},  // tanh(0.5)
      {false, 0.0, 0.7, 0.7, 1.0},             // within the ceiling: untouched
      {false, 0.0, -1.5, -1.0, 1.0},           // negative overs do not count
      {false, -6.0, 0.8, 0.8 * 0.5011872, 1.0},
  };
  for (const Case& c : cases) {
    Clipper clipper;
    clipper.drive = DbToGain(c.driveDb);
    clipper.soft = c.soft;
    std::vector<double> l = {c.in}, r = {0.0};
    double* ch[] = {l.data(), r.data()};
    clipper.ProcessOversampled(ch, 1);
    EXPECT_NEAR(l[0], c.out, 1e-6) << c.soft << " " << c.driveDb << " " << c.in;
    EXPECT_NEAR(clipper.readout, c.readout, 1e-4) << c.soft << " " << c.driveDb << " " << c.in;
  }
}

TEST(Clipper, VectorFormAgreesWithThePerSampleReference) {
  // Loud random audio through every drive step's extremes, block lengths around the working
  // chunk; the hard curve must match exactly, the soft one to rounding.
  std::mt19937 rng(4);
  std::uniform_real_distribution<double> sample(-1.2, 1.2);
  for (bool soft : {false, true}) {
    for (double driveDb : {-6.0, 0.0, 9.5, 24.0}) {
      for (int n : {1, 2, 7, 255, 256, 257, 4096}) {
        Clipper fast, reference;
        for (Clipper* c : {&fast, &reference}) {
          c->drive = DbToGain(driveDb);
          c->soft = soft;
        }
        std::vector<double> l(n), r(n);
        for (int i = 0; i < n; ++i) l[i] = sample(rng), r[i] = sample(rng);
        if (n > 3) l[3] = std::nan("");
        std::vector<double> l2 = l, r2 = r;
        double* a[] = {l.data(), r.data()};
        double* b[] = {l2.data(), r2.data()};
        fast.ProcessOversampled(a, n);
        reference.ProcessReference(b, n);
        const double tolerance = soft ? 1e-15 : 0.0;
        for (int i = 0; i < n; ++i) {
          if (std::isnan(l2[i])) {
            EXPECT_TRUE(std::isnan(l[i]));
            continue;
          }
          ASSERT_NEAR(l[i], l2[i], tolerance) << soft << " " << driveDb << " " << n << " " << i;
          ASSERT_NEAR(r[i], r2[i], tolerance) << soft << " " << driveDb << " " << n << " " << i;
        }
        EXPECT_NEAR(fast.readout, reference.readout, tolerance) << soft << " " << driveDb;
      }
    }
  }
}

TEST(Limiter, ChunkedFormMatchesThePerSampleReferenceBitForBit) {
  std::mt19937 rng(6);
  std::uniform_real_distribution<double> sample(-1.0, 1.0);
  for (int factor : {1, 4}) {
    for (double driveDb : {0.0, 12.0, 24.0}) {
      Limiter fast, reference;
      for (Limiter* l : {&fast, &reference}) {
        l->SetSampleRate(48000);
        l->autoFlag = 0.0;
        l->manualReleaseMs = 30.0;
        l->SetOversampling(factor);
        l->drive = DbToGain(driveDb);
      }
      for (int block = 0; block < 200; ++block) {
        const int n = 1 + static_cast<int>(rng() % 1100);
        std::vector<double> l(n), r(n);
        const double level = (block % 7) / 6.0;  // loud and quiet stretches
        for (int i = 0; i < n; ++i) l[i] = level * sample(rng), r[i] = level * sample(rng);
        std::vector<double> l2 = l, r2 = r;
        double* a[] = {l.data(), r.data()};
        double* b[] = {l2.data(), r2.data()};
        fast.ProcessOversampled(a, n);
        reference.ProcessReference(b, n);
        ASSERT_EQ(l, l2) << factor << " " << driveDb << " block " << block;
        ASSERT_EQ(r, r2) << factor << " " << driveDb << " block " << block;
        ASSERT_EQ(fast.readout, reference.readout);
        ASSERT_EQ(fast.slow.envelope, reference.slow.envelope);
        ASSERT_EQ(fast.medium.envelope, reference.medium.envelope);
        ASSERT_EQ(fast.fast.envelope, reference.fast.envelope);
      }
    }
  }
}

// The AVX2 form of the follower loop gives the scalar form's envelopes and peaks to the bit,
// with and without an attack, over loud, quiet and silent stretches (on a processor or build
// without AVX2 both run the scalar form).
TEST(Limiter, Avx2FollowersMatchTheScalarFollowersBitForBit) {
  std::mt19937 rng(17);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  std::vector<double> peaks(5000);
  for (size_t i = 0; i < peaks.size(); ++i) {
    const double level = i < 2000 ? 4.0 : i < 3500 ? 1e-3 : 0.0;
    peaks[i] = i % 301 == 0 ? 8.0 * level : level * u(rng);
  }
  for (double attack : {0.0, 0.3}) {
    detail::FollowerCoefficients c{};
    for (int f = 0; f < 3; ++f) {
      c.upKeep[f] = attack;
      c.up[f] = 1.0 - attack;
      c.downKeep[f] = 0.9995 - 0.002 * f;
      c.down[f] = 1.0 - c.downKeep[f];
    }
    double scalarEnv[3] = {0.5, 0.0, 2.0}, avx2Env[3] = {0.5, 0.0, 2.0};
    std::vector<double> a = peaks, b = peaks;
    detail::FollowPeaksScalar(c, scalarEnv, a.data(), static_cast<int>(a.size()));
    detail::FollowPeaksAvx2(c, avx2Env, b.data(), static_cast<int>(b.size()));
    EXPECT_EQ(std::memcmp(a.data(), b.data(), a.size() * sizeof(double)), 0) << attack;
    EXPECT_EQ(std::memcmp(scalarEnv, avx2Env, sizeof scalarEnv), 0) << attack;
  }
}

TEST(Limiter, ReleaseCoefficients) {
  struct Case {
    double releaseMs;
    int factor;
    double fast, medium, slow;
  } cases[] = {
      {100, 1, 0.9958317, 0.9979137, 0.9989563},
      {120, 1, 0.9965252, 0.9982611, 0.9991301},
      {100, 2, 0.9979137, 0.9989563, 0.9994780},
  };
  for (const Case& c : cases) {
    Limiter lim;
    lim.SetSampleRate(44100);
    lim.autoFlag = 0.0;
    lim.manualReleaseMs = c.releaseMs;
    lim.SetOversampling(c.factor);
    EXPECT_NEAR(lim.fast.release, c.fast, 1e-7) << c.releaseMs << " x" << c.factor;
    EXPECT_NEAR(lim.medium.release, c.medium, 1e-7) << c.releaseMs << " x" << c.factor;
    EXPECT_NEAR(lim.slow.release, c.slow, 1e-7) << c.releaseMs << " x" << c.factor;
    EXPECT_EQ(lim.fast.rate, 44100 * c.factor);
    EXPECT_EQ(lim.fast.attack, 0.0);
  }
}

TEST(Limiter, OverTheCeilingThenRecovery) {
  Limiter lim;
  lim.SetSampleRate(44100);
  lim.autoFlag = 0.0;
  lim.manualReleaseMs = 100;
  lim.SetOversampling(1);
  std::vector<double> l(10, 2.0), r(10, 2.0);
  l.resize(1000, 0.5);
  r.resize(1000, 0.5);
  double* ch[] = {l.data(), r.data()};
  lim.ProcessOversampled(ch, 1000);
  for (int i = 0; i < 10; ++i) EXPECT_DOUBLE_EQ(l[i], 1.0) << i;
  EXPECT_NEAR(l[10], 0.2508, 5e-4);
  EXPECT_EQ(lim.readout, 0.5);
  int recovered = 10;
  while (recovered < 1000 && l[recovered] < 0.5) ++recovered;
  EXPECT_NEAR(recovered - 10, 263, 3);
  for (int i = 0; i < 1000; ++i) EXPECT_LE(std::fabs(l[i]), 1.0);
}

TEST(Limiter, OnePeakReducesBothChannelsEqually) {
  Limiter lim;
  lim.SetOversampling(1);
  std::vector<double> l = {4.0, 0.1}, r = {0.2, 0.2};
  double* ch[] = {l.data(), r.data()};
  lim.ProcessOversampled(ch, 2);
  EXPECT_DOUBLE_EQ(l[0], 1.0);
  EXPECT_DOUBLE_EQ(r[0], 0.05);
  EXPECT_DOUBLE_EQ(l[1] / 0.1, r[1] / 0.2);
}

// The input copy matches the per-sample reference bit for bit: non-finite samples become
// +0, finite ones are clamped, signed zeros and the limit itself pass, at every length
// (odd ones leave a last sample to the scalar step) and from a null channel.
TEST(EnginePasses, InputCopyMatchesTheReferenceBitForBit) {
  const double inf = HUGE_VAL, nan = std::nan("");
  const double limit = 1e6;
  std::vector<double> in = {0.5,    -0.0,   0.0,     inf,    -inf,
                            nan,    -nan,   limit,   -limit, 2e6,
                            -3e300, 1e-310, -1e-310, 0.999,  std::nextafter(limit, inf),
                            -7.0,   1e308};
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> u(-2e6, 2e6);
  for (int i = 0; i < 500; ++i) in.push_back(i % 9 == 0 ? nan : u(rng));
  for (int frames = 0; frames <= static_cast<int>(in.size()); frames += frames < 20 ? 1 : 37) {
    for (const double* source :
         {static_cast<const double*>(in.data()), static_cast<const double*>(nullptr)}) {
      std::vector<double> fast(frames + 1, 3.0), reference(frames + 1, 3.0);
      CopyInputSafely(source, frames, limit, fast.data());
      CopyInputSafelyReference(source, frames, limit, reference.data());
      for (int k = 0; k <= frames; ++k) {
        ASSERT_EQ(std::memcmp(&fast[k], &reference[k], sizeof(double)), 0) << frames << " " << k;
      }
    }
  }
}

// The one-pass output split and measurement gives the reference's channels, sum of squares
// and peak envelopes bit for bit, over blocks of random length whose level jumps up and down
// (both coefficients in use) with runs of exact zeros and negative zeros.
TEST(EnginePasses, OutputPassMatchesTheReferenceBitForBit) {
  std::mt19937 rng(21);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  OutputPeaks fast, reference;
  for (int c = 0; c < 2; ++c) {
    fast.attack[c] = reference.attack[c] = FortyDbFallCoefficient(48000, 1.0);
    fast.release[c] = reference.release[c] = FortyDbFallCoefficient(48000, 300.0);
  }
  std::vector<double> in, l1, r1, l2, r2;
  for (int block = 0; block < 3000; ++block) {
    const int frames = std::uniform_int_distribution<int>(0, 700)(rng);
    const double level = std::pow(10.0, 2.0 * u(rng));
    const int kind = block % 7;
    in.resize(2 * static_cast<size_t>(frames));
    for (double& v : in) v = kind == 0 ? 0.0 : kind == 1 ? -0.0 : level * u(rng);
    l1.assign(frames + 1, 7.0), r1 = l1, l2 = l1, r2 = l1;
    const double sumFast = SplitAndMeasureOutput(in.data(), frames, l1.data(), r1.data(), fast);
    const double sumReference =
        SplitAndMeasureOutputReference(in.data(), frames, l2.data(), r2.data(), reference);
    ASSERT_EQ(sumFast, sumReference) << block;
    ASSERT_EQ(l1, l2) << block;
    ASSERT_EQ(r1, r2) << block;
    for (int c = 0; c < 2; ++c) ASSERT_EQ(fast.envelope[c], reference.envelope[c]) << block;
  }
  EXPECT_GT(fast.envelope[0], 0.0);
}

TEST(RMSBuffer, RunningSumAgreesWithFullResum) {
  RMSBuffer rms;
  rms.SetSampleRate(44100);
  rms.Resize(600);
  ASSERT_EQ(rms.Size(), 26460);
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  std::vector<double> block(333);
  auto expectAgreement = [&](const char* what) {
    const double exact = std::sqrt(rms.ExactSumOfSquares() / rms.Size());
    if (exact == 0.0) {
      EXPECT_EQ(rms.Rms(), 0.0) << what;
    } else {
      EXPECT_NEAR(rms.Rms() / exact, 1.0, 1e-12) << what;
    }
  };
  for (int b = 0; b < 400; ++b) {  // several wraps of loud random audio
    for (double& v : block) v = u(rng);
    rms.Push(block.data(), 333);
    expectAgreement("random");
  }
  for (int b = 0; b < 200; ++b) {  // quiet audio after loud: no residue of the loud part
    for (double& v : block) v = 1e-4 * u(rng);
    rms.Push(block.data(), 333);
    expectAgreement("quiet after loud");
  }
  std::fill(block.begin(), block.end(), 0.0);
  for (int b = 0; b < 100; ++b) {
    rms.Push(block.data(), 333);
    expectAgreement("silence after loud");
  }
  EXPECT_EQ(rms.Rms(), 0.0);
  rms.SetSampleRate(48000);
  rms.Resize(600);
  EXPECT_EQ(rms.Size(), 28800);
  EXPECT_EQ(rms.Rms(), 0.0);
  for (double& v : block) v = u(rng);
  rms.Push(block.data(), 333);
  expectAgreement("after resize");
}

// The AVX2 form of the window's loops gives the SSE2 form's sums, items and counts to the bit,
// over loud, quiet and silent stretches, zeros, denormals and NaN (on a processor or build
// without AVX2 both run the SSE2 form and the test checks nothing new).
TEST(RMSBuffer, Avx2LoopsMatchTheSse2LoopsBitForBit) {
  std::mt19937 rng(21);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  std::vector<double> samples(4 * 3000);
  for (size_t i = 0; i < samples.size(); ++i) {
    const double scale = i < 4000 ? 1.0 : i < 8000 ? 1e-160 : 0.0;
    samples[i] = i % 17 == 0 ? 0.0 : scale * u(rng);
  }
  samples[4321] = std::nan("");
  double lanes[2][4][4];
  for (auto& form : lanes) {
    for (int k = 0; k < 4; ++k) {
      for (int l = 0; l < 4; ++l) form[k][l] = 0.5 * k + 0.1 * l;  // sums already running
    }
  }
  std::vector<double> items[2] = {std::vector<double>(samples.size(), 0.25),
                                  std::vector<double>(samples.size(), 0.25)};
  for (size_t i = 0; i < samples.size(); i += 7) items[0][i] = items[1][i] = 0.0;
  const detail::LaneSums sse2{lanes[0][0], lanes[0][1], lanes[0][2], lanes[0][3]};
  const detail::LaneSums avx2{lanes[1][0], lanes[1][1], lanes[1][2], lanes[1][3]};
  const int rounds = static_cast<int>(samples.size() / 4);
  for (int pass = 0; pass < 3; ++pass) {  // the second and third replace the first's items
    const int a = detail::PushRoundsSse2(sse2, samples.data(), items[0].data(), rounds);
    const int b = detail::PushRoundsAvx2(avx2, samples.data(), items[1].data(), rounds);
    EXPECT_EQ(a, b) << pass;
    EXPECT_EQ(std::memcmp(lanes[0], lanes[1], sizeof lanes[0]), 0) << pass;
    EXPECT_EQ(std::memcmp(items[0].data(), items[1].data(), samples.size() * sizeof(double)), 0);
    std::rotate(samples.begin(), samples.begin() + 1001, samples.end());
  }
  detail::SumRoundsSse2(sse2, samples.data(), rounds);
  detail::SumRoundsAvx2(avx2, samples.data(), rounds);
  EXPECT_EQ(std::memcmp(lanes[0], lanes[1], sizeof lanes[0]), 0);
}

TEST(AutoOutput, PreparedCoefficientsAndWindow) {
  AutoOutput a;
  a.Prepare(44100, 2);
  EXPECT_EQ(a.RmsWindow().Size(), 52920);
  EXPECT_NEAR(a.GainFollower().attack, 0.9999773, 1e-7);
  EXPECT_NEAR(a.GainFollower().release, 0.9977350, 1e-7);
  EXPECT_TRUE(a.HasMomentaryState());
}

// The smoothed gain stops stepping once a step changes nothing: the envelope after every
// block is exactly that of a follower stepped once per frame, through attacks, releases,
// target changes and the long steady stretches where the shortcut applies.
TEST(AutoOutput, SmoothedGainMatchesAFollowerSteppedEveryFrame) {
  for (int mode : {AutoOutput::kPeak, AutoOutput::kRms}) {
    AutoOutput a;
    a.Prepare(48000, 2);
    a.SetMode(mode);
    a.SetTarget(-9);
    a.Restart();
    EnvelopeFollower reference = a.GainFollower();
    int steadyBlocks = 0;
    std::mt19937 rng(4);
    std::vector<double> x(2 * 4096);
    for (int b = 0; b < 3000; ++b) {
      if (b % 400 == 0) a.SetTarget(-20.0 + (b / 400) * 3.0);  // the running maximum resets
      if (b % 700 == 350) {
        a.Restart();  // the smoothed gain starts again from 0
        reference.envelope = a.GainFollower().envelope;
      }
      const int n = 1 + static_cast<int>(rng() % 4096);
      const double level = DbToGain(-40.0 + (b / 50 % 9) * 5.0);
      for (int i = 0; i < 2 * n; ++i) x[i] = level * std::sin(0.01 * (b * 4096 + i));
      const double g = a.Measure(x.data(), n);
      for (int i = 0; i < n; ++i) {
        const double before = reference.envelope;
        if (reference.Update(std::fabs(a.TargetGain())) == before && i == 0) ++steadyBlocks;
      }
      ASSERT_EQ(g, reference.envelope) << mode << " block " << b;
    }
    EXPECT_GT(steadyBlocks, 300) << mode;  // the shortcut really was taken
  }
}

TEST(AutoOutput, PeakModeSettlesOnTarget) {
  AutoOutput a;
  a.Prepare(44100, 2);
  a.SetMode(AutoOutput::kPeak);
  a.SetTarget(-12);
  a.Restart();
  std::vector<double> x(2 * 512);
  const double peak = DbToGain(-0.3);
  for (size_t i = 0; i < x.size(); ++i) x[i] = peak * std::sin(0.05 * i);
  x[10] = peak;
  double g = 0;
  for (int b = 0; b < 1000; ++b) g = a.Measure(x.data(), 512);
  EXPECT_NEAR(a.TargetGain(), 0.2600160, 1e-6);
  EXPECT_NEAR(GainToDb(g), -11.7, 0.01);
  // Silence (below the -60 dB gate) leaves the gain where it is.
  std::vector<double> silence(2 * 512, 0.0);
  a.Measure(silence.data(), 512);
  EXPECT_NEAR(a.TargetGain(), 0.2600160, 1e-6);
}

}  // namespace
}  // namespace qd
