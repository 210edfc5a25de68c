#include "dsp/filters/Layout.h"

#include <cmath>

namespace Iir {

namespace {

constexpr double kTwoPi = 6.283185307179586;

// Numerator or denominator coefficients (c1, c2) of (1 + c1 z^-1 + c2 z^-2) with roots r1, r2.
void quadraticFromRoots(complex_t r1, complex_t r2, double& c1, double& c2) {
  if (r1.imag() != 0.0) {
    c1 = -2.0 * r1.real();
    c2 = std::norm(r1);
  } else {
    c1 = -(r1.real() + r2.real());
    c2 = r1.real() * r2.real();
  }
}

}  // namespace

complex_t cascadeResponse(const BiquadStage* stages, int count, double normalisedFrequency) {
  const double w = kTwoPi * normalisedFrequency;
  const complex_t z1(std::cos(-w), std::sin(-w));
  const complex_t z2(std::cos(-2.0 * w), std::sin(-2.0 * w));
  complex_t numerator(1.0, 0.0);
  complex_t denominator(1.0, 0.0);
  for (int i = 0; i < count; ++i) {
    const BiquadStage& s = stages[i];
    numerator *= s.b0 + s.b1 * z1 + s.b2 * z2;
    denominator *= 1.0 + s.a1 * z1 + s.a2 * z2;
  }
  return numerator / denominator;
}

int stagesFromSections(const PoleZeroSection* sections, int numPoles, double normalW,
                       double normalGain, BiquadStage* stages, int maxStages) {
  int count = (numPoles + 1) / 2;
  if (count > maxStages) count = maxStages;
  if (count < 0) count = 0;
  for (int i = 0; i < count; ++i) {
    const PoleZeroSection& s = sections[i];
    if (s.isSinglePole()) {
      stages[i].setCoefficients(1.0, -s.pole1.real(), 0.0, -s.zero1.real(), 1.0, 0.0);
    } else {
      double a1, a2, b1, b2;
      quadraticFromRoots(s.pole1, s.pole2, a1, a2);
      quadraticFromRoots(s.zero1, s.zero2, b1, b2);
      stages[i].setCoefficients(1.0, a1, a2, 1.0, b1, b2);
    }
  }
  if (count > 0) {
    // Fix the gain at the normal frequency by scaling the first stage's numerator only.
    const double scale = normalGain / std::abs(cascadeResponse(stages, count, normalW / kTwoPi));
    stages[0].b0 *= scale;
    stages[0].b1 *= scale;
    stages[0].b2 *= scale;
  }
  return count;
}

}  // namespace Iir
