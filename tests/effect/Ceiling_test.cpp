// The limiter's base-rate ceiling stage: whatever the oversampling factor, drive, clip curve
// and rate, no output sample of the plug-in exceeds 1.0; at factor 1 the stage changes
// nothing beyond the last bit; its figures (exactly 1.0 for the frame that sets it, recovery
// with the fast follower's release) and the gain-reduction readout it feeds.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "effect/Clipper.h"
#include "effect/Limiter.h"
#include "tests/effect/EngineTestSupport.h"

namespace qd {
namespace {

using testing::MakePlugin;
using testing::Render;
using testing::SetParam;
using testing::Stereo;

enum class Material { kMusic, kSquares, kBursts };

const char* Name(Material m) {
  switch (m) {
    case Material::kMusic:
      return "music";
    case Material::kSquares:
      return "squares";
    case Material::kBursts:
      return "bursts";
  }
  return "";
}

// Music-like material: a decaying kick every half second, a bass line, a chord pad and hiss,
// peaking near full scale. Squares: full scale with periods from 2 to 200 samples. Bursts:
// full-scale noise bursts between near-silence, the hardest case for the filters' ringing.
Stereo Make(Material m, double rate, double seconds) {
  Stereo s(static_cast<size_t>(rate * seconds));
  uint32_t noise = 2463534242u;
  auto hiss = [&noise] {
    noise ^= noise << 13;
    noise ^= noise >> 17;
    noise ^= noise << 5;
    return static_cast<double>(noise) / 2147483648.0 - 1.0;
  };
  for (size_t i = 0; i < s.size(); ++i) {
    const double t = static_cast<double>(i) / rate;
    double l = 0.0, r = 0.0;
    switch (m) {
      case Material::kMusic: {
        const double beat = std::fmod(t, 0.5);
        const double kick = std::exp(-beat * 18.0) * std::sin(2.0 * M_PI * 55.0 * beat *
                                                              (1.0 + 2.0 * std::exp(-beat * 40.0)));
        const double bass = 0.3 * std::sin(2.0 * M_PI * (t < 1.0 ? 41.2 : 49.0) * t);
        const double pad =
            0.12 * (std::sin(2.0 * M_PI * 220.0 * t) + std::sin(2.0 * M_PI * 277.2 * t) +
                    std::sin(2.0 * M_PI * 329.6 * t + 0.5));
        l = 0.55 * kick + bass + pad + 0.04 * hiss();
        r = 0.55 * kick + bass - pad + 0.04 * hiss();
        break;
      }
      case Material::kSquares: {
        const size_t period = 2 + (i / 4096 * 37) % 199;
        l = ((i / period) & 1) ? 1.0 : -1.0;
        r = ((i / (period + 1)) & 1) ? -1.0 : 1.0;
        break;
      }
      case Material::kBursts: {
        const bool on = std::fmod(t, 0.1) < 0.02;
        l = on ? hiss() : 1e-4 * hiss();
        r = on ? hiss() : -1e-4 * hiss();
        if (on) {
          l = l > 0 ? 1.0 : -1.0;
        }
        break;
      }
    }
    s.left[i] = l;
    s.right[i] = r;
  }
  return s;
}

int FactorSetting(int factor) {
  return factor == 4 ? 2 : factor == 2 ? 1 : 0;
}

TEST(CeilingStage, NoOutputSampleExceedsFullScale) {
  const int factors[] = {1, 2, 4};
  const double drives[] = {0.0, 6.0, 12.0, 24.0};
  const double rates[] = {44100.0, 48000.0, 96000.0};
  const Material materials[] = {Material::kMusic, Material::kSquares, Material::kBursts};
  for (const double rate : rates) {
    for (const Material material : materials) {
      const Stereo in = Make(material, rate, 0.15);
      for (const int factor : factors) {
        for (const bool soft : {false, true}) {
          // One instance per case runs through every drive in turn, so each drive also
          // starts from the previous one's filter and follower state.
          auto p = MakePlugin(rate, 512);
          SetParam(*p, kClipperOversample, FactorSetting(factor));
          SetParam(*p, kLimiterOversample, FactorSetting(factor));
          SetParam(*p, kSoftClipper, soft ? 1 : 0);
          SetParam(*p, kOutputLevel, 0.0);
          for (const double drive : drives) {
            SetParam(*p, kClipperLevel, drive);
            SetParam(*p, kLimiterLevel, drive);
            const Stereo out = Render(*p, in, 512);
            double peak = 0.0;
            for (size_t i = 0; i < out.size(); ++i) {
              peak = std::max({peak, std::fabs(out.left[i]), std::fabs(out.right[i])});
            }
            ASSERT_LE(peak, 1.0) << Name(material) << " at " << rate << " Hz, factor " << factor
                                 << ", drive " << drive << " dB, " << (soft ? "soft" : "hard");
            if (drive >= 12.0) {
              EXPECT_GT(peak, 0.9) << Name(material) << " at " << rate << " Hz, factor " << factor
                                   << ", drive " << drive << " dB: far too quiet";
            }
          }
        }
      }
    }
  }
}

// The limiter as it was: followers at the processing rate, nothing after the decimation.
struct LimiterWithoutCeiling : Limiter {
  void ProcessDecimated(double* const*, int, int) override {}
};

// At factor 1 the limiter's own output is already within the ceiling: the stage changes no
// sample by more than rounding, and none at all where no sample exceeds 1.0.
TEST(CeilingStage, AtFactorOneTheOutputIsTheChainWithoutIt) {
  const double drives[] = {0.0, 6.0, 12.0, 24.0};
  for (const double rate : {44100.0, 48000.0, 96000.0}) {
    for (const Material material : {Material::kMusic, Material::kSquares, Material::kBursts}) {
      for (const double drive : drives) {
        for (const bool soft : {false, true}) {
          Stereo a = Make(material, rate, 0.3);
          Stereo b = a;
          Clipper clipA, clipB;
          Limiter limA;
          LimiterWithoutCeiling limB;
          for (AudioProcessor* stage :
               std::initializer_list<AudioProcessor*>{&clipA, &clipB, &limA, &limB}) {
            stage->SetSampleRate(static_cast<int>(rate));
            stage->SetOversampling(1);
          }
          clipA.drive = clipB.drive = DbToGain(drive);
          clipA.soft = clipB.soft = soft;
          limA.drive = limB.drive = DbToGain(drive);
          bool over = false;
          double largest = 0.0;
          for (size_t pos = 0; pos < a.size(); pos += 256) {
            const int n = static_cast<int>(std::min<size_t>(256, a.size() - pos));
            double* ioA[] = {a.left.data() + pos, a.right.data() + pos};
            double* ioB[] = {b.left.data() + pos, b.right.data() + pos};
            clipA.Process(ioA, n);
            clipB.Process(ioB, n);
            limA.Process(ioA, n);
            limB.Process(ioB, n);
            for (int k = 0; k < n; ++k) {
              over = over || std::fabs(ioB[0][k]) > 1.0 || std::fabs(ioB[1][k]) > 1.0;
              largest = std::max(
                  {largest, std::fabs(ioA[0][k] - ioB[0][k]), std::fabs(ioA[1][k] - ioB[1][k])});
            }
          }
          const std::string what = std::string(Name(material)) + " at " + std::to_string(rate) +
                                   " Hz, drive " + std::to_string(drive) +
                                   (soft ? " dB soft" : " dB hard");
          EXPECT_LE(largest, 1e-15) << what;
          if (!over) {
            EXPECT_EQ(std::memcmp(a.left.data(), b.left.data(), a.size() * sizeof(double)), 0)
                << what;
            EXPECT_EQ(std::memcmp(a.right.data(), b.right.data(), a.size() * sizeof(double)), 0)
                << what;
          }
        }
      }
    }
  }
}

// A decimated over of 1.1 comes out at exactly 1.0 and the gain recovers with the fast
// follower's release at the base rate (T = 100 ms: 0.01^(1 / (44100 x 25 x 0.001)));
// the block's readout is the deeper of the limiter's gain and the stage's.
TEST(CeilingStage, OverComesOutAtOneAndRecoversWithTheFastRelease) {
  Limiter lim;
  lim.SetSampleRate(44100);
  lim.autoFlag = 0.0;
  lim.manualReleaseMs = 100.0;
  lim.SetOversampling(4);
  const double c = 0.9958317;
  EXPECT_NEAR(lim.ceiling.release, c, 1e-7);
  EXPECT_EQ(lim.ceiling.rate, 44100);

  double left[64], right[64];
  left[0] = 1.1;
  right[0] = -0.4;
  for (int k = 1; k < 64; ++k) left[k] = right[k] = 0.5;
  double* io[] = {left, right};
  lim.readout = 1.0;
  lim.ProcessDecimated(io, 2, 64);
  EXPECT_EQ(left[0], 1.0);
  EXPECT_NEAR(right[0], -0.4 / 1.1, 1e-15);
  double envelope = 1.1;
  int recovered = -1;
  for (int k = 1; k < 64; ++k) {
    envelope = (1.0 - lim.ceiling.release) * 0.5 + lim.ceiling.release * envelope;
    const double expected = envelope > 1.0 ? 0.5 / envelope : 0.5;
    ASSERT_NEAR(left[k], expected, 1e-15) << k;
    ASSERT_EQ(left[k], right[k]) << k;  // stereo-linked
    if (recovered < 0 && left[k] == 0.5) recovered = k;
  }
  // The envelope 0.5 + 0.6 c^k falls to 1.0 after ln(5/6) / ln(c) = 43.6 frames.
  EXPECT_EQ(recovered, 44);
  EXPECT_NEAR(lim.readout, 1.0 / 1.1, 1e-15);

  // A limiter gain deeper than the stage's stays the readout.
  double l2[1] = {1.1}, r2[1] = {0.0};
  double* io2[] = {l2, r2};
  lim.readout = 0.5;
  lim.ProcessDecimated(io2, 2, 1);
  EXPECT_EQ(lim.readout, 0.5);
}

// The stage's coefficient follows T, the rate and the factor exactly when the followers' do.
TEST(CeilingStage, CoefficientFollowsReleaseTimeRateAndTempo) {
  auto p = MakePlugin(48000, 512);
  SetParam(*p, kLimiterOversample, 2);
  SetParam(*p, kAutoRelease, 0);
  SetParam(*p, kReleaseTime, 200);
  const Limiter& lim = p->GetLimiter();
  EXPECT_EQ(lim.ceiling.rate, 48000);
  EXPECT_NEAR(lim.ceiling.release, FortyDbFallCoefficient(48000, 50.0), 1e-15);
  EXPECT_NEAR(lim.fast.release, FortyDbFallCoefficient(48000 * 4, 50.0), 1e-15);

  SetParam(*p, kAutoRelease, 1);  // no tempo yet: a sixteenth at 120 ms
  EXPECT_NEAR(lim.ceiling.release, FortyDbFallCoefficient(48000, 30.0), 1e-15);

  p->SetSampleRate(96000);
  p->ResetProcessing();
  EXPECT_EQ(lim.ceiling.rate, 96000);
  EXPECT_NEAR(lim.ceiling.release, FortyDbFallCoefficient(96000, 30.0), 1e-15);
}

}  // namespace
}  // namespace qd
