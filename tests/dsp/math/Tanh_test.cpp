#include "dsp/math/Tanh.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "dsp/math/TanhKernels.h"

namespace qd {
namespace {

// Inputs over the whole range the clipper sees and beyond: a fine grid, random values of
// every magnitude, and the points where the range reduction changes step.
std::vector<double> Inputs() {
  std::vector<double> x;
  for (double v = -25.0; v <= 25.0; v += 1.0 / 1024) x.push_back(v);
  std::mt19937_64 rng(11);
  std::uniform_real_distribution<double> exponent(-40.0, 6.0);
  for (int i = 0; i < 200000; ++i) {
    const double v = std::exp2(exponent(rng));
    x.push_back(i % 2 ? v : -v);
  }
  for (int k = -3; k <= 60; ++k) {
    const double edge = (k + 0.5) * std::log(2.0) / 2;
    for (double e : {edge, std::nextafter(edge, 0.0), std::nextafter(edge, 100.0)}) {
      x.push_back(e);
      x.push_back(-e);
    }
  }
  for (double v : {0.0, -0.0, 1e-300, 5e-324, 19.9, 20.0, 20.1, 1e300}) {
    x.push_back(v);
    x.push_back(-v);
  }
  return x;
}

TEST(Tanh, WithinOneEMinus15OfTheExactValueAndArrayMatchesScalarBitForBit) {
  const std::vector<double> x = Inputs();
  std::vector<double> y(x.size());
  TanhArray(x.data(), y.data(), static_cast<int>(x.size()));
  double largest = 0.0;
  for (size_t i = 0; i < x.size(); ++i) {
    const double exact = static_cast<double>(std::tanh(static_cast<long double>(x[i])));
    largest = std::max(largest, std::fabs(y[i] - exact));
    ASSERT_EQ(y[i], Tanh(x[i])) << "x = " << x[i];
    ASSERT_EQ(std::signbit(y[i]), std::signbit(x[i])) << "x = " << x[i];
  }
  EXPECT_LE(largest, 1e-15);
  // Odd lengths and in-place use: the tail goes through the scalar form.
  std::vector<double> z(x.begin(), x.begin() + 7);
  TanhArray(z.data(), z.data(), 7);
  for (int i = 0; i < 7; ++i) EXPECT_EQ(z[i], y[i]);
}

// Each instruction-set form of the array loop, called directly (the AVX2 one where this
// processor and build have it), gives the scalar form's results bit for bit.
TEST(Tanh, EveryLoopFormMatchesTheScalarFormBitForBit) {
  const std::vector<double> x = Inputs();
  const int count = static_cast<int>(x.size());
  std::vector<double> y(x.size());
  const int pairs = detail::TanhPairsSse2(x.data(), y.data(), count);
  EXPECT_EQ(pairs, count - count % 2);
  for (int i = 0; i < pairs; ++i) ASSERT_EQ(y[i], Tanh(x[i])) << "SSE2, x = " << x[i];
  if (!detail::HaveAvx2TanhKernels()) GTEST_SKIP() << "no AVX2 form here";
  std::fill(y.begin(), y.end(), 7.0);
  const int quads = detail::TanhQuadsAvx2(x.data(), y.data(), count);
  EXPECT_EQ(quads, count - count % 4);
  for (int i = 0; i < quads; ++i) ASSERT_EQ(y[i], Tanh(x[i])) << "AVX2, x = " << x[i];
}

TEST(Tanh, SpecialValues) {
  const double inf = std::numeric_limits<double>::infinity();
  const double in[4] = {inf, -inf, std::nan(""), 0.0};
  double out[4];
  TanhArray(in, out, 4);
  EXPECT_EQ(out[0], 1.0);
  EXPECT_EQ(out[1], -1.0);
  EXPECT_TRUE(std::isnan(out[2]));
  EXPECT_EQ(out[3], 0.0);
  EXPECT_TRUE(std::isnan(Tanh(std::nan(""))));
  EXPECT_EQ(Tanh(-inf), -1.0);
}

}  // namespace
}  // namespace qd
