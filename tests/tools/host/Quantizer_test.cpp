// The last step before an integer file: with TPDF dither the error is white, of power a
// quarter of a step squared, whatever the signal; without it the error follows the signal.
#include "tools/host/Quantizer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

namespace qd::host {
namespace {

struct ErrorFigures {
  double mean = 0, power = 0;    // in steps and steps squared
  double signalCorrelation = 0;  // of the error with the signal
  double lagCorrelation = 0;     // of the error with the previous error: 0 when white
  double worstBinPower = 0, bestBinPower = 1e9;  // error power by the signal's place between steps
};

ErrorFigures Measure(int bits, bool dither, const std::function<double(int)>& signal, int n) {
  Quantizer q(bits, dither);
  const double step = q.StepSize();
  constexpr int kBins = 8;
  std::vector<double> binPower(kBins), binCount(kBins);
  double sum = 0, sumSq = 0, sumX = 0, sumXx = 0, sumXe = 0, sumLag = 0, previous = 0;
  for (int i = 0; i < n; ++i) {
    const double x = signal(i);
    const double e = (q.Quantize(x) - x) / step;
    sum += e;
    sumSq += e * e;
    sumLag += e * previous;
    previous = e;
    const double xs = x / step;
    sumX += xs;
    sumXx += xs * xs;
    sumXe += xs * e;
    const int bin = static_cast<int>((xs - std::floor(xs)) * kBins) % kBins;
    binPower[bin] += e * e;
    binCount[bin] += 1;
  }
  ErrorFigures f;
  f.mean = sum / n;
  f.power = sumSq / n;
  const double covariance = sumXe / n - (sumX / n) * f.mean;
  const double varX = sumXx / n - (sumX / n) * (sumX / n);
  const double varE = f.power - f.mean * f.mean;
  f.signalCorrelation = covariance / std::sqrt(varX * varE + 1e-300);
  f.lagCorrelation = (sumLag / n - f.mean * f.mean) / (varE + 1e-300);
  for (int b = 0; b < kBins; ++b) {
    if (binCount[b] < 1000) continue;
    f.worstBinPower = std::max(f.worstBinPower, binPower[b] / binCount[b]);
    f.bestBinPower = std::min(f.bestBinPower, binPower[b] / binCount[b]);
  }
  return f;
}

TEST(Quantizer, DitherMakesTheErrorWhiteOfAQuarterStepSquaredAndIndependentOfTheSignal) {
  struct Signal {
    const char* name;
    std::function<double(int, double)> at;  // sample i in -1..1 for a given step size
  };
  const std::vector<Signal> signals = {
      {"a sine of 3.7 steps", [](int i, double step) { return 3.7 * step * std::sin(0.001 * i); }},
      {"a slow ramp", [](int i, double step) { return step * (i % 100000) * 0.00031; }},
      {"a loud sine", [](int i, double) { return 0.7 * std::sin(0.0123 * i); }},
  };
  constexpr int n = 400000;
  for (const Signal& s : signals) {
    for (int bits : {16, 24}) {
      const double step = std::ldexp(1.0, 1 - bits);
      const ErrorFigures f = Measure(
          bits, true, [&](int i) { return s.at(i, step); }, n);
      const std::string what = std::string(s.name) + " at " + std::to_string(bits) + " bits";
      EXPECT_NEAR(f.mean, 0.0, 0.005) << what;
      EXPECT_NEAR(f.power, 0.25, 0.25 * 0.02) << what;
      EXPECT_NEAR(f.signalCorrelation, 0.0, 0.01) << what;
      EXPECT_NEAR(f.lagCorrelation, 0.0, 0.01) << what;
      // The error's power does not depend on where the signal lies between two steps.
      EXPECT_NEAR(f.worstBinPower, 0.25, 0.25 * 0.05) << what;
      EXPECT_NEAR(f.bestBinPower, 0.25, 0.25 * 0.05) << what;
    }
  }
}

TEST(Quantizer, WithoutDitherTheErrorFollowsTheSignal) {
  const double step = 1.0 / 32768.0;
  // A sine of less than half a step rounds to silence: the error is the signal, negated.
  const ErrorFigures quiet = Measure(
      16, false, [=](int i) { return 0.4 * step * std::sin(0.001 * i); }, 100000);
  EXPECT_NEAR(quiet.signalCorrelation, -1.0, 1e-6);
  // A ramp's error power swings with its place between the steps: 0 on a step, 1/4 between.
  const ErrorFigures ramp = Measure(
      16, false, [=](int i) { return step * (i % 100000) * 0.00031; }, 400000);
  EXPECT_LT(ramp.bestBinPower, 0.01);
  EXPECT_GT(ramp.worstBinPower, 0.15);
  EXPECT_NEAR(ramp.power, 1.0 / 12.0, 0.01) << "plain rounding";
}

TEST(Quantizer, FullScaleClipsToTheLargestCodes) {
  Quantizer q(16, true);
  for (double x : {1.0, 1.5, 1e9}) EXPECT_EQ(q.Code(x), 32767) << x;
  for (double x : {-1.0, -1.5, -1e9, std::nan("")}) EXPECT_EQ(q.Code(x), -32768) << x;
  Quantizer q24(24, false);
  EXPECT_EQ(q24.Code(0.5), 1 << 22);
  EXPECT_EQ(q24.Code(-1.0), -(1 << 23));
}

}  // namespace
}  // namespace qd::host
