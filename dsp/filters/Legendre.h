// Legendre (optimum-L) low-pass design: the steepest monotonic magnitude response of a given
// order, turned into a cascade of second-order stages for a sample rate and cutoff.
//
// Setup path only (never per sample). A design object is used by one thread at a time and
// must not be redesigned while a filter processes with it. Designing allocates nothing: the
// workspace is a local fixed-size object. The only exception is std::logic_error("root
// finding did not converge"), which orders 1..MaxOrder never raise.
#pragma once

#include <cmath>
#include <limits>

#include "dsp/filters/Layout.h"
#include "dsp/filters/Params.h"

namespace Iir {

// ---- the steps of the design, over caller-provided fixed storage ----

// Coefficients w[0..n] of L(x) = sum w[i] x^i, x = omega^2, with |H(j omega)|^2 = 1/(1 + L).
// Scratch: a[(n-1)/2 + 1], p[n+1], s[n+2], v[2n+4] (zeroed by the caller), aa[n+1], bb[n+1].
void optimumLPolynomial(int n, double* w, double* a, double* p, double* s, double* v, double* aa,
                        double* bb);

// Legendre polynomial P_m into p[0..m] (ascending powers), with scratch aa[m+1], bb[m+1].
void legendrePolynomial(int m, double* p, double* aa, double* bb);

// Refines x towards a root of the degree-m polynomial q[0..m] by Laguerre's method.
// Throws std::logic_error("root finding did not converge") after 80 iterations.
complex_t laguerreRefine(const complex_t* q, int m, complex_t x);

// All roots of c[0..degree] into r[0..degree-1]: found one by one with deflation (scratch
// d[degree+1]), polished on the undeflated polynomial, sorted by imaginary part, largest first.
void findPolynomialRoots(const complex_t* c, int degree, complex_t* d, complex_t* r);

// Stable insertion sort by imaginary part, largest first.
void sortByImaginaryDescending(complex_t* r, int count);

// Scratch for one design call, sized for MaxOrder; value-initialised (all zero).
template <int MaxOrder>
struct DesignWorkspace {
  static constexpr int N = MaxOrder;
  double w[2 * N + 1];
  double a[N + 1];
  double p[2 * N + 1];
  double s[2 * N + 1];
  double v[2 * N + 4];
  double aa[N + 1];
  double bb[N + 1];
  complex_t c[2 * N + 1];
  complex_t d[2 * N + 1];
  complex_t r[2 * N];
};

// Analog prototype (cutoff 1 rad/s): left-half-plane poles, zeros at infinity. Recomputed
// only when the order changes.
template <int MaxOrder>
class LegendreAnalogPrototype {
 public:
  PoleZeroLayout<MaxOrder> layout;
  int cachedOrder = -1;

  // Requires 1 <= order <= MaxOrder.
  void design(int order, DesignWorkspace<MaxOrder>& ws);
};

// Maps an analog low-pass layout to a digital one at fc = cutoff / sample rate with the
// prewarped bilinear transform.
struct BilinearLowPass {
  template <int MaxPoles>
  static void transform(double normalisedCutoff, const PoleZeroLayout<MaxPoles>& analog,
                        PoleZeroLayout<MaxPoles>& digital);
  static complex_t mapPoint(complex_t c, double prewarp);
};

template <int MaxOrder>
class LegendreLowPassDesign {
 public:
  static constexpr int maxOrder = MaxOrder;
  static constexpr int maxStages = (MaxOrder + 1) / 2;
  static constexpr int kKind = 0;  // low pass

  // Designs order (clamped to 1..MaxOrder so storage is never exceeded), sample rate (Hz)
  // and cutoff (Hz, at most half the sample rate). Leaves (order + 1) / 2 stages.
  void designLowPass(int order, double sampleRate, double cutoffFrequency);

  // The parameter block's reading: [0] sample rate, [1] order, [2] cutoff.
  void designFromParams(const FilterParams& params);

  static const char* displayName() { return "Legendre Low Pass"; }
  static int paramCount() { return 3; }
  // Rows 0..2: sample rate, order, cutoff; any other index throws
  // std::logic_error("no such filter parameter").
  static ParamDescription describeParam(int index);

  const StageCascade<maxStages>& cascade() const { return cascade_; }
  const PoleZeroLayout<MaxOrder>& digitalLayout() const { return digital_; }
  const LegendreAnalogPrototype<MaxOrder>& analogPrototype() const { return analog_; }

 private:
  StageCascade<maxStages> cascade_;
  PoleZeroLayout<MaxOrder> digital_;
  LegendreAnalogPrototype<MaxOrder> analog_;
};

// Clamps an order from a parameter block to 1..maxOrder; NaN and values below 1 give 1.
int orderFromParam(double value, int maxOrder);

ParamDescription legendreLowPassParam(int index);

// ---- template definitions ----

template <int MaxOrder>
void LegendreAnalogPrototype<MaxOrder>::design(int order, DesignWorkspace<MaxOrder>& ws) {
  if (order == cachedOrder) return;
  cachedOrder = order;
  layout.reset();

  optimumLPolynomial(order, ws.w, ws.a, ws.p, ws.s, ws.v, ws.aa, ws.bb);

  // 1 + L(-s^2): the characteristic polynomial in s, degree 2n.
  const int degree = 2 * order;
  ws.c[0] = complex_t(1.0 + ws.w[0], 0.0);
  for (int i = 1; i <= order; ++i) {
    ws.c[2 * i - 1] = complex_t{};
    ws.c[2 * i] = complex_t((i % 2 == 1 ? -1.0 : 1.0) * ws.w[i], 0.0);
  }
  findPolynomialRoots(ws.c, degree, ws.d, ws.r);

  // Keep the stable half: roots with real part <= 0 to the front, in their current order.
  int front = 0;
  for (int i = 0; i < degree; ++i) {
    if (ws.r[i].real() <= 0.0) {
      const complex_t root = ws.r[i];
      for (int j = i; j > front; --j) ws.r[j] = ws.r[j - 1];
      ws.r[front++] = root;
    }
  }
  sortByImaginaryDescending(ws.r, order);

  const complex_t infinity(std::numeric_limits<double>::infinity(), 0.0);
  for (int i = 0; i < order / 2; ++i) layout.addConjugatePairs(ws.r[i], infinity);
  if (order % 2 == 1) layout.add(complex_t(ws.r[order / 2].real(), 0.0), infinity);
}

template <int MaxPoles>
void BilinearLowPass::transform(double normalisedCutoff, const PoleZeroLayout<MaxPoles>& analog,
                                PoleZeroLayout<MaxPoles>& digital) {
  constexpr double kPi = 3.141592653589793;
  digital.reset();
  const double prewarp = std::tan(kPi * normalisedCutoff);
  const int pairs = analog.numPoles / 2;
  for (int i = 0; i < pairs; ++i) {
    const PoleZeroSection& s = analog.sections[i];
    digital.addConjugatePairs(mapPoint(s.pole1, prewarp), mapPoint(s.zero1, prewarp));
  }
  if (analog.numPoles % 2 == 1) {
    const PoleZeroSection& s = analog.sections[pairs];
    digital.add(mapPoint(s.pole1, prewarp), mapPoint(s.zero1, prewarp));
  }
  digital.normalW = analog.normalW;
  digital.normalGain = analog.normalGain;
}

template <int MaxOrder>
void LegendreLowPassDesign<MaxOrder>::designLowPass(int order, double sampleRate,
                                                    double cutoffFrequency) {
  if (order < 1) order = 1;
  if (order > MaxOrder) order = MaxOrder;
  DesignWorkspace<MaxOrder> ws{};
  analog_.design(order, ws);
  BilinearLowPass::transform(cutoffFrequency / sampleRate, analog_.layout, digital_);
  cascade_.setLayout(digital_);
}

template <int MaxOrder>
void LegendreLowPassDesign<MaxOrder>::designFromParams(const FilterParams& params) {
  designLowPass(orderFromParam(params[1], MaxOrder), params[0], params[2]);
}

template <int MaxOrder>
ParamDescription LegendreLowPassDesign<MaxOrder>::describeParam(int index) {
  return legendreLowPassParam(index);
}

extern template class LegendreLowPassDesign<4>;

}  // namespace Iir
