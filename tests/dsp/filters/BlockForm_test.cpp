#include "dsp/filters/BlockForm.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "tests/dsp/filters/AllocationCount.h"

namespace Iir {
namespace {

constexpr double kBaseRate = 48000.0;

FilterParams OversamplerParams(int factor) {
  FilterParams p;
  p[0] = kBaseRate * factor;
  p[1] = 4;
  p[2] = kBaseRate * 0.5;
  return p;
}

// Music-like test audio near full scale: partials, noise, a loud burst and silence.
std::vector<double> Audio(int frames, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> noise(-1.0, 1.0);
  std::vector<double> x(frames);
  for (int i = 0; i < frames; ++i) {
    const double t = i / kBaseRate;
    double v = 0.4 * std::sin(2 * M_PI * 110.0 * t) + 0.25 * std::sin(2 * M_PI * 3520.0 * t) +
               0.15 * std::sin(2 * M_PI * 17000.0 * t) + 0.2 * noise(rng);
    const int phase = i % 96000;
    if (phase > 80000) v = 0.0;                    // silence
    if (phase > 60000 && phase < 61000) v *= 1.6;  // overs beyond full scale
    x[i] = v;
  }
  return x;
}

// The forms to check against the reference: every kernel this processor runs.
std::vector<Isa> KernelIsas() {
  std::vector<Isa> isas = {Isa::kSse2, Isa::kAvx2Fma};
  isas.erase(std::remove_if(isas.begin(), isas.end(), [](Isa i) { return !IsaAvailable(i); }),
             isas.end());
  return isas;
}

const char* IsaName(Isa isa) {
  return isa == Isa::kPlain ? "plain" : isa == Isa::kSse2 ? "SSE2" : "AVX2+FMA";
}

// Runs a whole oversampling chain (interpolate, a hard clip at the raised rate, decimate)
// through the reference (zero-stuffing, processBlock, picking) and through BlockForm side by
// side, in blocks of varying length, and returns the largest difference of any output or
// state, relative to full scale (1.0).
double LargestDifference(Isa isa, int factor, int frames, unsigned seed) {
  LegendreLowPassFilter<2> refUp, refDown, up, down;
  for (auto* f : {&refUp, &refDown, &up, &down}) f->applyParams(OversamplerParams(factor));
  BlockForm upForm, downForm;
  EXPECT_TRUE(upForm.Design(up, factor));
  EXPECT_TRUE(downForm.Design(down, factor));
  upForm.UseIsa(isa);
  downForm.UseIsa(isa);
  EXPECT_EQ(upForm.ActiveIsa(), isa);

  const std::vector<double> left = Audio(frames, seed), right = Audio(frames, seed + 1);
  const double gain = 1.25, outGain = 0.8;
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> blockLength(1, 700);
  std::vector<double> refL(700 * factor), refR(700 * factor), wL(700 * factor), wR(700 * factor);
  std::vector<double> outL(700), outR(700);
  double largest = 0.0;
  for (int start = 0; start < frames;) {
    const int n = std::min(blockLength(rng), frames - start);
    const int m = n * factor;
    // Reference.
    for (int k = 0; k < n; ++k) {
      refL[k * factor] = factor * (gain * left[start + k]);
      refR[k * factor] = factor * (gain * right[start + k]);
      for (int j = 1; j < factor; ++j) refL[k * factor + j] = refR[k * factor + j] = 0.0;
    }
    double* ref[2] = {refL.data(), refR.data()};
    refUp.processEachChannel(m, ref);
    // Block form.
    upForm.Interpolate(up, &left[start], &right[start], gain, factor, wL.data(), wR.data(), n);
    for (int i = 0; i < m; ++i) {
      largest = std::max({largest, std::fabs(wL[i] - refL[i]), std::fabs(wR[i] - refR[i])});
      // The same stage on both paths, fed the reference's samples so differences stay the
      // filters' own.
      refL[i] = wL[i] = std::clamp(3.0 * refL[i], -1.0, 1.0) * outGain;
      refR[i] = wR[i] = std::clamp(3.0 * refR[i], -1.0, 1.0) * outGain;
    }
    refDown.processEachChannel(m, ref);
    downForm.Decimate(down, wL.data(), wR.data(), 1.0, outL.data(), outR.data(), n);
    for (int k = 0; k < n; ++k) {
      largest = std::max(
          {largest, std::fabs(outL[k] - refL[k * factor]), std::fabs(outR[k] - refR[k * factor])});
    }
    start += n;
  }
  for (int c = 0; c < 2; ++c) {
    for (int s = 0; s < 2; ++s) {
      for (auto [a, b] : {std::pair{&up, &refUp}, std::pair{&down, &refDown}}) {
        largest = std::max(
            {largest, std::fabs(a->channelState(c).stages[s].d1 - b->channelState(c).stages[s].d1),
             std::fabs(a->channelState(c).stages[s].d2 - b->channelState(c).stages[s].d2)});
      }
    }
    EXPECT_EQ(up.channelState(c).offset, refUp.channelState(c).offset);
    EXPECT_EQ(down.channelState(c).offset, refDown.channelState(c).offset);
  }
  return largest;
}

TEST(BlockForm, KernelsAgreeWithThePerSampleLoopOverMinutesOfAudio) {
  // Half a minute at 48 kHz for each of the plug-in's factors per kernel (the maps are stable, so
  // the difference stays at rounding level however long it runs); other factors a few seconds.
  struct Case {
    int factor, frames;
  } cases[] = {{2, 48000 * 30}, {4, 48000 * 30}, {8, 48000 * 4}, {16, 48000 * 4}};
  for (Isa isa : KernelIsas()) {
    for (const Case& c : cases) {
      const double d = LargestDifference(isa, c.factor, c.frames, 7u + c.factor);
      EXPECT_LE(d, 1e-12) << IsaName(isa) << " factor " << c.factor;
      std::printf("%s factor %d: largest difference %.3g\n", IsaName(isa), c.factor, d);
    }
  }
}

TEST(BlockForm, PlainFormAndFactorsWithoutKernelMatchTheReferenceBitForBit) {
  for (int factor : {2, 3, 4, 5, 16}) {
    EXPECT_EQ(LargestDifference(Isa::kPlain, factor, 20000, 3u), 0.0) << "factor " << factor;
  }
  // A factor without a kernel runs the plain recursion whatever the processor has.
  for (Isa isa : KernelIsas()) EXPECT_EQ(LargestDifference(isa, 3, 20000, 5u), 0.0);
}

TEST(BlockForm, DecimatesInPlaceAndRefusesUnusableFactors) {
  LegendreLowPassFilter<2> a, b;
  a.applyParams(OversamplerParams(4));
  b.applyParams(OversamplerParams(4));
  BlockForm form;
  for (int bad : {-1, 0, 1, 17}) EXPECT_FALSE(form.Design(a, bad)) << bad;
  EXPECT_FALSE(form.Ready());
  std::vector<double> l(100), r(100), outL(100), outR(100);
  form.Decimate(a, l.data(), r.data(), 1.0, outL.data(), outR.data(), 25);  // not designed: no-op
  ASSERT_TRUE(form.Design(a, 4));
  l = Audio(400, 9);
  r = Audio(400, 10);
  std::vector<double> l2 = l, r2 = r;
  form.Decimate(a, l.data(), r.data(), 1.0, outL.data(), outR.data(), 100);
  form.Decimate(b, l2.data(), r2.data(), 1.0, l2.data(), r2.data(), 100);
  for (int k = 0; k < 100; ++k) {
    EXPECT_EQ(outL[k], l2[k]) << k;
    EXPECT_EQ(outR[k], r2[k]) << k;
  }
}

TEST(BlockForm, ProcessingAllocatesNothing) {
  LegendreLowPassFilter<2> f;
  f.applyParams(OversamplerParams(4));
  BlockForm form;
  std::vector<double> in(256), out(1024);
  const std::size_t before = test::AllocationCount();
  ASSERT_TRUE(form.Design(f, 4));
  form.Interpolate(f, in.data(), in.data(), 1.0, 4.0, out.data(), out.data() + 512, 128);
  form.Decimate(f, out.data(), out.data() + 512, 1.0, in.data(), in.data() + 128, 128);
  EXPECT_EQ(test::AllocationCount(), before);
}

}  // namespace
}  // namespace Iir
