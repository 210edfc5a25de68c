#include "dsp/filters/Filter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <stdexcept>
#include <vector>

#include "dsp/filters/LowPass.h"
#include "tests/dsp/filters/AllocationCount.h"

namespace Iir {
namespace {

constexpr double kBaseRate = 44100.0;

// The oversampler's configuration: order 4 at factor x 44100 Hz, cutoff 22050 Hz.
FilterParams OversamplerParams(int factor) {
  FilterParams p;
  p[0] = kBaseRate * factor;
  p[1] = 4;
  p[2] = kBaseRate * 0.5;
  return p;
}

std::vector<double> Filtered(Filter& filter, std::vector<double> x) {
  double* channels[1] = {x.data()};
  filter.processBlock(static_cast<int>(x.size()), channels);
  return x;
}

TEST(FilterCascade, ImpulseResponsesOfTheOversamplerFilters) {
  struct Case {
    int factor;
    std::vector<double> response;
  } cases[] = {
      {2,
       {0.066919130, 0.300689472, 0.498586810, 0.302203404, -0.086357777, -0.157422688, 0.033728928,
        0.088469108}},
      {4, {0.005801362, 0.037404568, 0.111166941, 0.205284636, 0.266642120, 0.256312726}},
  };
  for (const Case& c : cases) {
    LegendreLowPassFilter<1> filter;
    filter.applyParams(OversamplerParams(c.factor));
    std::vector<double> impulse(c.response.size(), 0.0);
    impulse[0] = 1.0;
    const std::vector<double> y = Filtered(filter, impulse);
    for (size_t i = 0; i < y.size(); ++i) {
      EXPECT_NEAR(y[i], c.response[i], 1e-9) << "factor " << c.factor << " sample " << i;
    }
  }
}

TEST(FilterCascade, SilenceDecaysWithoutDenormals) {
  LegendreLowPassFilter<1> filter;
  filter.applyParams(OversamplerParams(2));
  const std::vector<double> y = Filtered(filter, std::vector<double>(2000, 0.0));
  // The anti-denormal offset leaks out as a tiny decaying transient.
  const double start[] = {-6.692e-10, -2.338e-9, -2.648e-9, -3.739e-10};
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(y[i], start[i], 1e-12) << i;
  for (size_t i = 0; i < y.size(); ++i) {
    ASSERT_NE(std::fpclassify(y[i]), FP_SUBNORMAL) << i;
  }
  EXPECT_LT(std::abs(y.back()), 1e-24);
  // The state keeps running without denormals long after.
  for (int block = 0; block < 50; ++block) {
    const std::vector<double> more = Filtered(filter, std::vector<double>(4000, 0.0));
    for (double v : more) ASSERT_NE(std::fpclassify(v), FP_SUBNORMAL);
    for (const DirectForm2& s : filter.channelState(0).stages) {
      ASSERT_NE(std::fpclassify(s.d1), FP_SUBNORMAL);
      ASSERT_NE(std::fpclassify(s.d2), FP_SUBNORMAL);
    }
  }
}

TEST(FilterCascade, ChannelsAreIndependent) {
  // Channel 1 gets an impulse, channel 0 silence: channel 0 must look like a lone silent channel.
  LegendreLowPassFilter<2> stereo;
  LegendreLowPassFilter<1> mono;
  stereo.applyParams(OversamplerParams(2));
  mono.applyParams(OversamplerParams(2));
  std::vector<double> left(64, 0.0), right(64, 0.0);
  right[0] = 1.0;
  double* channels[2] = {left.data(), right.data()};
  stereo.processBlock(64, channels);
  const std::vector<double> alone = Filtered(mono, std::vector<double>(64, 0.0));
  EXPECT_EQ(left, alone);

  // A one-channel filter processes only the first pointer.
  std::vector<double> first(16, 1.0), second(16, 1.0);
  double* two[2] = {first.data(), second.data()};
  mono.processBlock(16, two);
  EXPECT_NE(first, std::vector<double>(16, 1.0));
  EXPECT_EQ(second, std::vector<double>(16, 1.0));
}

TEST(FilterCascade, ReapplyingParamsKeepsTheSequence) {
  std::vector<double> x(512);
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> dist(-1.0, 1.0);
  for (double& v : x) v = dist(rng);

  LegendreLowPassFilter<1> straight;
  straight.applyParams(OversamplerParams(4));
  const std::vector<double> expected = Filtered(straight, x);

  LegendreLowPassFilter<1> interrupted;
  interrupted.applyParams(OversamplerParams(4));
  std::vector<double> y = x;
  double* channels[1] = {y.data()};
  interrupted.processBlock(201, channels);
  interrupted.applyParams(OversamplerParams(4));
  channels[0] = y.data() + 201;
  interrupted.processBlock(311, channels);
  EXPECT_EQ(y, expected);
  EXPECT_EQ(interrupted.params(), OversamplerParams(4));
}

TEST(FilterCascade, ClearStateRestartsFromZero) {
  LegendreLowPassFilter<1> used;
  used.applyParams(OversamplerParams(2));
  Filtered(used, std::vector<double>(100, 0.5));  // an even count keeps the offset's phase
  used.clearState();
  LegendreLowPassFilter<1> fresh;
  fresh.applyParams(OversamplerParams(2));
  std::vector<double> impulse(32, 0.0);
  impulse[0] = 1.0;
  EXPECT_EQ(Filtered(used, impulse), Filtered(fresh, impulse));
}

TEST(FilterCascade, StereoRegisterPathMatchesPerChannelLoopBitForBit) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> dist(-1.0, 1.0);
  for (int factor : {2, 4}) {
    LegendreLowPassFilter<2> fast, plain;
    fast.applyParams(OversamplerParams(factor));
    plain.applyParams(OversamplerParams(factor));
    // Odd block lengths make the two channels' offsets and states carry across calls.
    for (int n : {1, 7, 64, 333, 0, 4096}) {
      std::vector<double> l(n), r(n);
      for (int i = 0; i < n; ++i) {
        l[i] = dist(rng);
        r[i] = (i % 3 == 0) ? 0.0 : dist(rng) * 1e-3;
      }
      std::vector<double> l2 = l, r2 = r;
      double* a[2] = {l.data(), r.data()};
      double* b[2] = {l2.data(), r2.data()};
      fast.processBlock(n, a);
      plain.processEachChannel(n, b);
      ASSERT_EQ(l, l2) << "factor " << factor << " n " << n;
      ASSERT_EQ(r, r2) << "factor " << factor << " n " << n;
    }
  }
}

TEST(FilterCascade, SameBufferTwiceFiltersItTwice) {
  // Aliased channel pointers take the sequential loop: channel 1 filters channel 0's output.
  LegendreLowPassFilter<2> stereo;
  LegendreLowPassFilter<1> first, second;
  for (Filter* f : {static_cast<Filter*>(&stereo), static_cast<Filter*>(&first),
                    static_cast<Filter*>(&second)}) {
    f->applyParams(OversamplerParams(2));
  }
  std::vector<double> buffer(40, 0.0);
  buffer[0] = 1.0;
  const std::vector<double> expected = Filtered(second, Filtered(first, buffer));
  double* channels[2] = {buffer.data(), buffer.data()};
  stereo.processBlock(40, channels);
  EXPECT_EQ(buffer, expected);
}

TEST(FilterCascade, FloatBuffersAreFilteredInDoublePrecision) {
  LegendreLowPassFilter<2> f32, f64;
  f32.applyParams(OversamplerParams(2));
  f64.applyParams(OversamplerParams(2));
  std::vector<float> xf(64, 0.0f), silent(64, 0.0f);
  std::vector<double> xd(64, 0.0), silentD(64, 0.0);
  xf[0] = 1.0f;
  xd[0] = 1.0;
  float* cf[2] = {xf.data(), silent.data()};
  double* cd[2] = {xd.data(), silentD.data()};
  f32.processBlock(64, cf);
  f64.processBlock(64, cd);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(xf[i], static_cast<float>(xd[i])) << i;

  // The overshoot of a full-range float step exceeds the float range: it saturates to
  // infinity instead of relying on an out-of-range conversion.
  LegendreLowPassFilter<1> overshoot;
  overshoot.applyParams(OversamplerParams(2));
  std::vector<float> step(32, std::numeric_limits<float>::max());
  float* one[1] = {step.data()};
  overshoot.processBlock(32, one);
  EXPECT_TRUE(std::any_of(step.begin(), step.end(), [](float v) { return std::isinf(v); }));
}

TEST(FilterCascade, DegenerateCallsProcessNothing) {
  LegendreLowPassFilter<2> filter;
  filter.applyParams(OversamplerParams(2));
  std::vector<double> x(8, 1.0);
  double* channels[2] = {x.data(), nullptr};
  filter.processBlock(0, channels);
  filter.processBlock(-5, channels);
  filter.processBlock(8, static_cast<double* const*>(nullptr));
  EXPECT_EQ(x, std::vector<double>(8, 1.0));
  filter.processBlock(8, channels);  // a null channel is skipped, the other is filtered
  EXPECT_NE(x, std::vector<double>(8, 1.0));
}

TEST(FilterCascade, ProcessingAndRedesignAllocateNothing) {
  LegendreLowPassFilter<2> filter;
  std::vector<double> l(1024, 0.25), r(1024, -0.25);
  double* channels[2] = {l.data(), r.data()};
  const std::size_t before = test::AllocationCount();
  filter.applyParams(OversamplerParams(2));
  filter.processBlock(1024, channels);
  filter.processEachChannel(1024, channels);
  filter.applyParams(OversamplerParams(4));
  filter.processBlock(1024, channels);
  EXPECT_EQ(test::AllocationCount(), before);
}

TEST(FilterInterface, FactoryAndIdentity) {
  for (int channels = 1; channels <= 6; ++channels) {
    std::unique_ptr<Filter> f = createLegendreLowPass(channels);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->channelCount(), channels);
    EXPECT_EQ(f->kind(), 0);
    EXPECT_STREQ(f->displayName(), "Legendre Low Pass");
    EXPECT_EQ(f->paramCount(), 3);
    f->applyParams(OversamplerParams(2));
    EXPECT_EQ(f->poleZeroSections().size(), 2u);
    EXPECT_NEAR(std::abs(f->responseAt(0.0)), 1.0, 1e-12);
    EXPECT_NEAR(20 * std::log10(std::abs(f->responseAt(0.25))), -3.0103, 1e-4);
  }
  EXPECT_EQ(createLegendreLowPass(0), nullptr);
  EXPECT_EQ(createLegendreLowPass(7), nullptr);
}

TEST(FilterInterface, ParameterDescriptions) {
  LegendreLowPassFilter<1> f;
  struct Row {
    int id;
    const char* label;
    const char* name;
    double min, max, def;
  } rows[] = {{0, "Fs", "Sample Rate", 11025, 192000, 44100},
              {7, "Order", "Order", 1, 4, 2},
              {1, "Fc", "Cutoff Frequency", 10, 22040, 2000}};
  for (int i = 0; i < 3; ++i) {
    const ParamDescription d = f.describeParam(i);
    EXPECT_EQ(d.id, rows[i].id);
    EXPECT_STREQ(d.label, rows[i].label);
    EXPECT_STREQ(d.name, rows[i].name);
    EXPECT_EQ(d.minValue, rows[i].min);
    EXPECT_EQ(d.maxValue, rows[i].max);
    EXPECT_EQ(d.defaultValue, rows[i].def);
    // Each mapping is its own inverse at the ends and at the default.
    for (double v : {rows[i].min, rows[i].def, rows[i].max}) {
      EXPECT_NEAR(d.toNativeValue(d.toControlValue(v)), v, 1e-9 * v) << d.name;
    }
  }
  const ParamDescription rate = f.describeParam(0), order = f.describeParam(1),
                         cutoff = f.describeParam(2);
  EXPECT_DOUBLE_EQ(rate.toControlValue(101512.5), 0.5);
  EXPECT_EQ(order.toNativeValue(0.5), 3.0);  // floor(2.5 + 0.5)
  EXPECT_EQ(order.toNativeValue(0.49), 2.0);
  EXPECT_NEAR(cutoff.toNativeValue(0.5), std::sqrt(10.0 * 22040.0), 1e-9);
  EXPECT_EQ(rate.toString(44100.7), "44100 Hz");
  EXPECT_EQ(order.toString(3.9), "3");
  EXPECT_EQ(order.toString(-0.5), "0");
  EXPECT_EQ(cutoff.toString(1e300).substr(0, 4), "1000");  // no overflow into int

  for (int bad : {3, -1, 1000}) {
    try {
      f.describeParam(bad);
      FAIL() << bad;
    } catch (const std::logic_error& e) {
      EXPECT_STREQ(e.what(), "no such filter parameter");
    }
  }
}

}  // namespace
}  // namespace Iir
