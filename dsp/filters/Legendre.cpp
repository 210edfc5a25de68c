#include "dsp/filters/Legendre.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace Iir {

namespace {

constexpr double kSqrt2 = 1.4142135623730951;
constexpr int kMaxLaguerreIterations = 80;
// Fractional steps taken every 10th iteration to break limit cycles.
constexpr double kLaguerreFractions[] = {0.0, 0.5, 0.25, 0.75, 0.13, 0.38, 0.62, 0.88, 1.0};
constexpr double kMachineEpsilon = 2.220446049250313e-16;  // 2^-52
constexpr double kRealRootTolerance = 1e-30;

}  // namespace

void legendrePolynomial(int m, double* p, double* aa, double* bb) {
  if (m == 0) {
    p[0] = 1.0;
    return;
  }
  if (m == 1) {
    p[0] = 0.0;
    p[1] = 1.0;
    return;
  }
  p[0] = -0.5;
  p[1] = 0.0;
  p[2] = 1.5;
  if (m == 2) return;
  for (int i = 0; i <= m; ++i) aa[i] = bb[i] = 0.0;
  bb[1] = 1.0;
  // Bonnet's recursion: i P_i = (2i - 1) x P_{i-1} - (i - 1) P_{i-2}.
  for (int i = 3; i <= m; ++i) {
    for (int j = 0; j <= i; ++j) {
      aa[j] = bb[j];
      bb[j] = p[j];
      p[j] = 0.0;
    }
    for (int j = i - 2; j >= 0; j -= 2) p[j] -= (i - 1) * aa[j] / i;
    for (int j = i - 1; j >= 0; j -= 2) p[j + 1] += (2 * i - 1) * bb[j] / i;
  }
}

void optimumLPolynomial(int n, double* w, double* a, double* p, double* s, double* v, double* aa,
                        double* bb) {
  const int k = (n - 1) / 2;

  // Weights of the Legendre series whose square, integrated, is the optimum-L function.
  if (n % 2 == 1) {
    for (int i = 0; i <= k; ++i) a[i] = (2 * i + 1) / (kSqrt2 * (k + 1));
  } else {
    for (int i = 0; i <= k; ++i) a[i] = 0.0;
    const double r = std::sqrt(static_cast<double>((k + 1) * (k + 2)));
    for (int i = (k % 2 == 1) ? 1 : 0; i <= k; i += 2) a[i] = (2 * i + 1) / r;
  }

  for (int i = 0; i <= n; ++i) s[i] = w[i] = 0.0;
  s[0] = a[0];
  if (k >= 1) s[1] = a[1];
  for (int i = 2; i <= k; ++i) {
    legendrePolynomial(i, p, aa, bb);
    for (int j = 0; j <= i; ++j) s[j] += a[i] * p[j];
  }

  // Square of the series.
  for (int i = 0; i <= 2 * k + 2; ++i) v[i] = 0.0;
  for (int i = 0; i <= k; ++i) {
    for (int j = 0; j <= k; ++j) v[i + j] += s[i] * s[j];
  }
  v[2 * k + 1] = 0.0;

  // Even orders: multiply the integrand by (x + 1).
  if (n % 2 == 0) {
    for (int i = n; i >= 0; --i) v[i + 1] += v[i];
  }

  // Indefinite integral.
  for (int i = n + 1; i >= 0; --i) v[i + 1] = v[i] / (i + 1);
  v[0] = 0.0;

  // Evaluate the integral from -1 to 2x - 1: accumulate v[i] (2x - 1)^i.
  for (int i = 0; i <= n + 1; ++i) s[i] = 0.0;
  s[0] = -1.0;
  s[1] = 2.0;
  for (int i = 1; i <= n; ++i) {
    if (i > 1) {
      double c0 = -s[0];
      double c1;
      for (int j = 1; j <= i; ++j) {
        c1 = 2.0 * s[j - 1] - s[j];
        s[j - 1] = c0;
        c0 = c1;
      }
      c1 = 2.0 * s[i];
      s[i] = c0;
      s[i + 1] = c1;
    }
    for (int j = i; j >= 1; --j) w[j] += v[i] * s[j];
  }
  if (n % 2 == 0) w[1] = 0.0;
}

complex_t laguerreRefine(const complex_t* q, int m, complex_t x) {
  for (int iter = 1; iter <= kMaxLaguerreIterations; ++iter) {
    complex_t b = q[m];
    double err = std::abs(b);
    complex_t d{};
    complex_t f{};
    const double abx = std::abs(x);
    for (int j = m - 1; j >= 0; --j) {
      f = x * f + d;
      d = x * d + b;
      b = x * b + q[j];
      err = std::abs(b) + abx * err;
    }
    err *= kMachineEpsilon;
    if (std::abs(b) <= err) return x;

    const complex_t g = d / b;
    const complex_t g2 = g * g;
    const complex_t h = g2 - 2.0 * f / b;
    const complex_t sq = std::sqrt(static_cast<double>(m - 1) * (static_cast<double>(m) * h - g2));
    complex_t gp = g + sq;
    const complex_t gm = g - sq;
    const double absGp = std::abs(gp);
    const double absGm = std::abs(gm);
    if (absGp < absGm) gp = gm;
    const complex_t dx = std::max(absGp, absGm) > 0.0
                             ? static_cast<double>(m) / gp
                             : (1.0 + abx) * complex_t(std::cos(static_cast<double>(iter)),
                                                       std::sin(static_cast<double>(iter)));
    const complex_t x1 = x - dx;
    if (x1 == x) return x;
    if (iter % 10 != 0) {
      x = x1;
    } else {
      x -= kLaguerreFractions[iter / 10] * dx;
    }
  }
  throw std::logic_error("root finding did not converge");
}

void sortByImaginaryDescending(complex_t* r, int count) {
  for (int i = 1; i < count; ++i) {
    const complex_t value = r[i];
    int j = i;
    while (j > 0 && r[j - 1].imag() < value.imag()) {
      r[j] = r[j - 1];
      --j;
    }
    r[j] = value;
  }
}

void findPolynomialRoots(const complex_t* c, int degree, complex_t* d, complex_t* r) {
  for (int j = 0; j <= degree; ++j) d[j] = c[j];
  for (int j = degree - 1; j >= 0; --j) {
    complex_t x = laguerreRefine(d, j + 1, complex_t{});
    if (std::abs(x.imag()) <= 2.0 * kRealRootTolerance * std::abs(x.real())) {
      x = complex_t(x.real(), 0.0);
    }
    r[j] = x;
    // Deflate: divide the remaining polynomial by (s - x).
    complex_t b = d[j + 1];
    for (int jj = j; jj >= 0; --jj) {
      const complex_t t = d[jj];
      d[jj] = b;
      b = x * b + t;
    }
  }
  for (int j = 0; j < degree; ++j) r[j] = laguerreRefine(c, degree, r[j]);
  sortByImaginaryDescending(r, degree);
}

complex_t BilinearLowPass::mapPoint(complex_t c, double prewarp) {
  if (c == complex_t(std::numeric_limits<double>::infinity(), 0.0)) return complex_t(-1.0, 0.0);
  const complex_t scaled = prewarp * c;
  return (1.0 + scaled) / (1.0 - scaled);
}

int orderFromParam(double value, int maxOrder) {
  if (!(value >= 1.0)) return 1;
  if (value >= static_cast<double>(maxOrder)) return maxOrder;
  return static_cast<int>(value);
}

ParamDescription legendreLowPassParam(int index) {
  using Mapping = ParamDescription::Mapping;
  using Text = ParamDescription::TextFormat;
  switch (index) {
    case 0:
      return {0, "Fs", "Sample Rate", 11025, 192000, 44100, Mapping::Linear, Text::Hertz};
    case 1:
      return {7, "Order", "Order", 1, 4, 2, Mapping::Integer, Text::Integer};
    case 2:
      return {1, "Fc", "Cutoff Frequency", 10, 22040, 2000, Mapping::Logarithmic, Text::Hertz};
    default:
      return ParamDescription();
  }
}

template class LegendreLowPassDesign<4>;

}  // namespace Iir
