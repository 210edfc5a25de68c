#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "tests/effect/EngineTestSupport.h"

namespace qd {
namespace {

using testing::MakePlugin;
using testing::RecordingHost;
using testing::Render;
using testing::SetParam;
using testing::Sine;
using testing::Stereo;

TEST(Chain, DefaultsAttenuateByTwoTenthsOfADecibel) {
  auto p = MakePlugin();
  const Stereo in = Sine(997, 0.5, 0.2, 44100);
  const Stereo out = Render(*p, in, 256);
  const double g = DbToGain(-0.2);
  for (size_t i = 0; i < in.size(); ++i) {
    ASSERT_NEAR(out.left[i], in.left[i] * g, 1e-15) << i;
    ASSERT_NEAR(out.right[i], in.right[i] * g, 1e-15) << i;
  }
}

TEST(Chain, ParameterHandlerDrivesTheStages) {
  auto p = MakePlugin();
  SetParam(*p, kClipperOversample, 1);
  EXPECT_EQ(p->GetClipper().Oversampling(), 2);
  SetParam(*p, kClipperOversample, 2);
  EXPECT_EQ(p->GetClipper().Oversampling(), 4);
  SetParam(*p, kClipperOversample, 0);
  EXPECT_EQ(p->GetClipper().Oversampling(), 1);
  SetParam(*p, kLimiterOversample, 2);
  EXPECT_EQ(p->GetLimiter().Oversampling(), 4);
  SetParam(*p, kSoftClipper, 1);
  EXPECT_TRUE(p->GetClipper().soft);
  SetParam(*p, kClipperLevel, 6);
  EXPECT_NEAR(p->GetClipper().drive, 1.9952623, 1e-7);
  EXPECT_EQ(p->GetAutoOutput().RunningMaximum(), -100);
  SetParam(*p, kAutoOutType, 2);
  EXPECT_EQ(p->GetAutoOutput().Mode(), 3);
  EXPECT_EQ(p->GetAutoOutput().RunningMaximum(), -60);

  // "Release Time" while AutoRelease is on is stored but not used until it is switched off.
  const double autoRelease = p->GetLimiter().slow.release;
  SetParam(*p, kReleaseTime, 300);
  EXPECT_EQ(p->GetLimiter().slow.release, autoRelease);
  SetParam(*p, kAutoRelease, 0);
  EXPECT_NEAR(p->GetLimiter().slow.release, FortyDbFallCoefficient(44100 * 4, 300), 1e-15);
}

TEST(Chain, TempoSetsTheAutomaticRelease) {
  struct Case {
    double tempo, releaseMs;
  } cases[] = {{120, 125}, {60, 250}, {0, 120}, {-5, 120}, {NAN, 120}};
  for (const Case& c : cases) {
    RecordingHost host;
    host.tempo = c.tempo;
    auto p = MakePlugin();
    p->SetHostServices(&host);
    Render(*p, Sine(100, 0.1, 0.01, 44100), 64);
    EXPECT_EQ(p->AutoReleaseMs(), c.releaseMs) << c.tempo;
    EXPECT_NEAR(p->GetLimiter().slow.release, FortyDbFallCoefficient(44100, c.releaseMs), 1e-15);
  }
}

TEST(Chain, MonoInputGivesIdenticalChannels) {
  auto p = MakePlugin();
  p->SetInputConnections(1, 1, false);
  Stereo in = Sine(440, 0.9, 0.05, 44100);
  std::fill(in.right.begin(), in.right.end(), 0.3);
  double* ins[] = {in.left.data()};
  Stereo out(in.size());
  double* outs[] = {out.left.data(), out.right.data()};
  p->ProcessDoubleBlock(ins, outs, static_cast<int>(in.size()));
  EXPECT_EQ(out.left, out.right);
}

TEST(Chain, EmptyBlockTouchesNothing) {
  RecordingHost host;
  auto p = MakePlugin();
  p->SetHostServices(&host);
  SetParam(*p, kAutoOutputLevel, 1);
  const double before = p->GetParam(kOutputLevel)->Value();
  double* none[] = {nullptr, nullptr};
  p->ProcessAudio(none, none, 0);
  p->ProcessAudio(none, none, -7);
  EXPECT_EQ(p->GetParam(kOutputLevel)->Value(), before);
  EXPECT_TRUE(host.calls.empty());
  EXPECT_EQ(p->LongTermCount(), 0);
}

TEST(Chain, NonFiniteInputIsSilencedAndTheChainRecovers) {
  auto p = MakePlugin();
  SetParam(*p, kClipperOversample, 2);
  SetParam(*p, kLimiterOversample, 1);
  SetParam(*p, kLimiterLevel, 12);
  Stereo bad = Sine(1000, 0.5, 0.05, 44100);
  for (size_t i = 0; i < bad.size(); i += 7) {
    bad.left[i] = NAN;
    bad.right[i] = (i % 2) ? INFINITY : -INFINITY;
  }
  const Stereo outBad = Render(*p, bad, 128);
  for (size_t i = 0; i < outBad.size(); ++i) {
    ASSERT_TRUE(std::isfinite(outBad.left[i]) && std::isfinite(outBad.right[i])) << i;
  }
  const Stereo good = Sine(1000, 0.5, 0.05, 44100);
  const Stereo outGood = Render(*p, good, 128);
  double peak = 0;
  for (size_t i = 0; i < outGood.size(); ++i) peak = std::max(peak, std::fabs(outGood.left[i]));
  EXPECT_GT(peak, 0.5);  // driven 12 dB into the limiter: loud again, not silenced
  EXPECT_LT(peak, 1.1);
}

// Regression: the largest finite doubles passed the non-finite check, and the clipper's
// drive overflowed them to infinity, which turned the output into NaN for good.
TEST(Chain, HugeFiniteInputSamplesDoNotTurnOutputIntoNaN) {
  for (int factor : {0, 1, 2}) {
    auto p = MakePlugin();
    SetParam(*p, kClipperOversample, factor);
    SetParam(*p, kLimiterOversample, factor);
    SetParam(*p, kClipperLevel, 24);
    Stereo huge = Sine(1000, 0.5, 0.01, 44100);
    for (size_t i = 0; i < huge.size(); ++i) {
      huge.left[i] = (i % 2) ? DBL_MAX : -DBL_MAX;
      if (i % 3 == 0) huge.right[i] = 1e300;
    }
    const Stereo out = Render(*p, huge, 128);
    const Stereo after = Render(*p, Sine(1000, 0.5, 0.05, 44100), 128);
    for (const Stereo* s : {&out, &after}) {
      for (size_t i = 0; i < s->size(); ++i) {
        ASSERT_TRUE(std::isfinite(s->left[i]) && std::isfinite(s->right[i]))
            << "factor " << factor << " frame " << i;
      }
    }
  }
}

TEST(Chain, LongBlockEqualsTheSameAudioInSlices) {
  for (int autoLevel : {0, 1}) {
    auto whole = MakePlugin(48000, 16384);
    auto sliced = MakePlugin(48000, 16384);
    for (auto* p : {whole.get(), sliced.get()}) {
      SetParam(*p, kClipperOversample, 2);
      SetParam(*p, kLimiterOversample, 2);
      SetParam(*p, kClipperLevel, 6);
      SetParam(*p, kAutoOutputLevel, autoLevel);
    }
    EXPECT_EQ(whole->SliceCapacity(), 4096);
    const Stereo in = Sine(220, 0.9, 16384 * 3 / 48000.0, 48000);
    const Stereo a = Render(*whole, in, 16384);
    const Stereo b = Render(*sliced, in, 4096);
    ASSERT_EQ(a.left, b.left) << "auto level " << autoLevel;
    ASSERT_EQ(a.right, b.right) << "auto level " << autoLevel;
    EXPECT_EQ(whole->HoldBlocksLeft(), sliced->HoldBlocksLeft());
  }
}

TEST(Meters, PreparedSizesAndCoefficients) {
  auto p = MakePlugin(44100);
  EXPECT_EQ(p->OutputRms(0).Size(), 26460);
  EXPECT_EQ(p->OutputRms(1).Size(), 26460);
  EXPECT_EQ(p->GetAutoOutput().RmsWindow().Size(), 52920);
  EXPECT_NEAR(p->PeakAttack(), 0.9008418, 1e-7);
  EXPECT_NEAR(p->PeakRelease(), 0.9996520, 1e-7);
  Render(*p, Sine(50, 0.1, 512 / 44100.0, 44100), 512);
  EXPECT_EQ(p->ClipperMeterFollower().rate, 86);
  EXPECT_NEAR(p->ClipperMeterFollower().release, 0.8902268, 1e-7);
  EXPECT_NEAR(p->ClipperMeterFollower().attack, 9e-6, 1e-6);
  EXPECT_EQ(p->HoldBlocksLeft(), 258 - 1);
}

TEST(Meters, PeakModeDrivesOutputLevelAndTellsTheHost) {
  RecordingHost host;
  auto p = MakePlugin();
  p->SetHostServices(&host);
  SetParam(*p, kAutoOutType, 0);
  SetParam(*p, kAutoOutputTarget, -12);
  SetParam(*p, kAutoOutputLevel, 1);
  const Stereo in = Sine(441, DbToGain(-0.3), 8.0, 44100);
  host.calls.clear();
  Render(*p, in, 441);
  EXPECT_NEAR(p->GetParam(kOutputLevel)->Value(), -11.7, 0.01);
  const size_t blocks = in.size() / 441;
  ASSERT_EQ(host.calls.size(), 3 * blocks);
  EXPECT_EQ(host.calls[0], "begin 7");
  EXPECT_EQ(host.calls[1].rfind("change 7 ", 0), 0u);
  EXPECT_EQ(host.calls[2], "end 7");
  // Switching it off leaves the value where it is.
  SetParam(*p, kAutoOutputLevel, 0);
  Render(*p, Sine(441, 0.01, 0.1, 44100), 441);
  EXPECT_NEAR(p->GetParam(kOutputLevel)->Value(), -11.7, 0.01);
}

TEST(Meters, LufsModeWaitsFor400ms) {
  auto p = MakePlugin(48000);
  SetParam(*p, kAutoOutType, 2);
  SetParam(*p, kAutoOutputLevel, 1);
  const Stereo in = Sine(1000, 0.5, 0.5, 48000);
  const size_t justUnder = 19200 - 32;  // 400 ms is 19200 frames
  Stereo first(justUnder), rest(in.size() - justUnder);
  std::copy_n(in.left.begin(), justUnder, first.left.begin());
  std::copy_n(in.right.begin(), justUnder, first.right.begin());
  Render(*p, first, 32);
  EXPECT_EQ(p->GetAutoOutput().RunningMaximum(), -60) << "nothing measured before 400 ms";
  std::copy(in.left.begin() + justUnder, in.left.end(), rest.left.begin());
  std::copy(in.right.begin() + justUnder, in.right.end(), rest.right.begin());
  Render(*p, rest, 32);
  EXPECT_GT(p->GetAutoOutput().RunningMaximum(), -10);
}

TEST(Meters, ReadoutTexts) {
  auto p = MakePlugin(48000);
  MeterReadings m = p->ReadMeters();
  EXPECT_STREQ(m.rmsText, "");  // nothing measured yet
  EXPECT_STREQ(m.integratedText, "---");
  EXPECT_STREQ(m.rangeText, "0.00 LU");
  Render(*p, Sine(1000, DbToGain(-20), 3.0, 48000), 480);
  m = p->ReadMeters();
  // -20 dBFS peak sine: RMS -23.01 dB, minus the default 0.2 dB output gain.
  EXPECT_STREQ(m.rmsText, "-23.21 dB");
  EXPECT_EQ(std::string(m.integratedText).substr(0, 4), "-20.");
  EXPECT_NE(std::strstr(m.integratedText, " LUFS"), nullptr);
  EXPECT_NE(std::strstr(m.rangeText, " LU"), nullptr);
  EXPECT_NEAR(m.peakLeft, (GainToDb(DbToGain(-20.2)) + 24) / 24, 0.01);
  EXPECT_NEAR(m.rmsLeft, (-23.21 + 24) / 24, 0.01);
  EXPECT_EQ(m.limiterReduction, 0.0);
  SetParam(*p, kResetMeters, 1);
  m = p->ReadMeters();
  EXPECT_STREQ(m.rmsText, "");
  EXPECT_STREQ(m.integratedText, "---");
  Render(*p, Stereo(48000), 480);  // silence
  m = p->ReadMeters();
  EXPECT_STREQ(m.rmsText, "---");
  EXPECT_EQ(m.peakLeft, 0.0);
}

TEST(Meters, LongTermRmsCountRunsPastThirtyTwoBits) {
  auto p = MakePlugin(48000);
  const int64_t nearLimit = 2147483647LL - 100;
  const double level = DbToGain(-23.21) * DbToGain(-23.21);  // mean square of the program
  p->SetLongTermAccumulator(level * nearLimit, nearLimit);
  Render(*p, Sine(1000, DbToGain(-20), 0.1, 48000), 480);
  EXPECT_GT(p->LongTermCount(), 2147483647LL);
  EXPECT_STREQ(p->ReadMeters().rmsText, "-23.21 dB");
}

}  // namespace
}  // namespace qd

namespace qd {
namespace {

// The snapshot a reader takes carries what the engine measured: the long-term RMS and the two
// 600 ms output windows, computed on the reader's side from the published sums, agree with
// a direct measurement of the rendered output after every block, and the reader sees the
// same values the engine reports itself.
TEST(Meters, TakenSnapshotMeasuresTheRenderedOutput) {
  auto p = testing::MakePlugin(48000, 512);
  std::mt19937 rng(9);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  const int window = 48000 * 600 / 1000;
  std::vector<double> outL, outR;
  double sumOfSquares = 0.0;
  for (int b = 0; b < 300; ++b) {
    const int n = 1 + static_cast<int>(rng() % 512);
    const double level = b % 50 < 25 ? 0.5 : 0.01;
    std::vector<double> inL(n), inR(n), oL(n), oR(n);
    for (int i = 0; i < n; ++i) inL[i] = level * u(rng), inR[i] = level * u(rng);
    double* ins[] = {inL.data(), inR.data()};
    double* outs[] = {oL.data(), oR.data()};
    p->ProcessAudio(ins, outs, n);
    outL.insert(outL.end(), oL.begin(), oL.end());
    outR.insert(outR.end(), oR.begin(), oR.end());
    for (int i = 0; i < n; ++i) sumOfSquares += oL[i] * oL[i] + oR[i] * oR[i];

    MeterSnapshot taken;
    ASSERT_TRUE(p->TakeMeters(&taken));
    EXPECT_FALSE(p->TakeMeters(&taken));  // nothing new until the next block
    const MeterSnapshot current = p->CurrentMeters();
    EXPECT_EQ(taken.rmsDb, current.rmsDb);
    EXPECT_EQ(taken.rmsLeft, current.rmsLeft);
    EXPECT_EQ(taken.rmsRight, current.rmsRight);
    ASSERT_TRUE(taken.hasRms);
    const double expectedDb =
        10.0 * std::log10(sumOfSquares / static_cast<double>(2 * outL.size()));
    EXPECT_NEAR(taken.rmsDb, expectedDb, 1e-9) << b;
    const auto windowRms = [&](const std::vector<double>& out) {
      double s = 0.0;
      const size_t from = out.size() > static_cast<size_t>(window) ? out.size() - window : 0;
      for (size_t i = from; i < out.size(); ++i) s += out[i] * out[i];
      return std::sqrt(s / window);
    };
    EXPECT_NEAR(taken.rmsLeft / windowRms(outL), 1.0, 1e-12) << b;
    EXPECT_NEAR(taken.rmsRight / windowRms(outR), 1.0, 1e-12) << b;
  }
}

}  // namespace
}  // namespace qd
