#include "dsp/math/Tanh.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "dsp/math/TanhKernels.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace qd {

using namespace detail::tanh_constants;

namespace {

double TanhOne(double x) {
  if (std::isnan(x)) return x;
  const double t = std::fmin(std::fabs(x), kCap);
  const double z = t + t;
  const double k = (z * kInvLn2 + kRound) - kRound;
  const double r = (z - k * kLn2Hi) - k * kLn2Lo;
  // The same operations in the same order as the array form's lanes.
  const double r2 = r * r, r4 = r2 * r2, r8 = r4 * r4;
  auto pair = [&](int a) { return kC[a] + kC[a + 1] * r; };
  const double q01 = pair(0) + pair(2) * r2;
  const double q23 = pair(4) + pair(6) * r2;
  const double q45 = pair(8) + pair(10) * r2;
  const double poly = (q01 + q23 * r4) + q45 * r8;
  const double p = r + r2 * poly;
  const double scale = std::ldexp(1.0, static_cast<int>(k));
  const double em = scale * p + (scale - 1.0);
  const double y = em / (em + 2.0);
  return std::copysign(y, x);
}

}  // namespace

double Tanh(double x) {
  return TanhOne(x);
}

namespace detail {

#if defined(__SSE2__)
int TanhPairsSse2(const double* in, double* out, int count) {
  int i = 0;
  const __m128d sign = _mm_set1_pd(-0.0);
  const __m128d cap = _mm_set1_pd(kCap);
  const __m128d invLn2 = _mm_set1_pd(kInvLn2);
  const __m128d round = _mm_set1_pd(kRound);
  const __m128d ln2Hi = _mm_set1_pd(kLn2Hi), ln2Lo = _mm_set1_pd(kLn2Lo);
  const __m128d one = _mm_set1_pd(1.0), two = _mm_set1_pd(2.0);
  const __m128i roundBits = _mm_castpd_si128(round);
  const __m128i bias = _mm_set1_epi64x(1023);
  for (; i + 2 <= count; i += 2) {
    const __m128d x = _mm_loadu_pd(in + i);
    const __m128d s = _mm_and_pd(x, sign);
    // min(cap, |x|) passes a NaN through (the second operand wins when either is NaN).
    const __m128d t = _mm_min_pd(cap, _mm_andnot_pd(sign, x));
    const __m128d z = _mm_add_pd(t, t);
    const __m128d kr = _mm_add_pd(_mm_mul_pd(z, invLn2), round);
    const __m128d k = _mm_sub_pd(kr, round);
    const __m128d r = _mm_sub_pd(_mm_sub_pd(z, _mm_mul_pd(k, ln2Hi)), _mm_mul_pd(k, ln2Lo));
    // Estrin's scheme over r^2 and r^4 keeps the dependency chain short.
    const __m128d r2 = _mm_mul_pd(r, r);
    const __m128d r4 = _mm_mul_pd(r2, r2);
    const __m128d r8 = _mm_mul_pd(r4, r4);
    auto pair = [&](int a) {
      return _mm_add_pd(_mm_set1_pd(kC[a]), _mm_mul_pd(_mm_set1_pd(kC[a + 1]), r));
    };
    const __m128d q01 = _mm_add_pd(pair(0), _mm_mul_pd(pair(2), r2));
    const __m128d q23 = _mm_add_pd(pair(4), _mm_mul_pd(pair(6), r2));
    const __m128d q45 = _mm_add_pd(pair(8), _mm_mul_pd(pair(10), r2));
    const __m128d poly = _mm_add_pd(_mm_add_pd(q01, _mm_mul_pd(q23, r4)), _mm_mul_pd(q45, r8));
    const __m128d p = _mm_add_pd(r, _mm_mul_pd(r2, poly));
    // 2^k from k's integer bits (0 <= k <= 58 here).
    const __m128i ki = _mm_sub_epi64(_mm_castpd_si128(kr), roundBits);
    const __m128d scale = _mm_castsi128_pd(_mm_slli_epi64(_mm_add_epi64(ki, bias), 52));
    const __m128d em = _mm_add_pd(_mm_mul_pd(scale, p), _mm_sub_pd(scale, one));
    const __m128d y = _mm_div_pd(em, _mm_add_pd(em, two));
    _mm_storeu_pd(out + i, _mm_or_pd(y, s));
  }
  return i;
}
#endif

}  // namespace detail

namespace {
// Chosen once, when the library loads.
const bool kUseAvx2 = detail::HaveAvx2TanhKernels();
}  // namespace

void TanhArray(const double* in, double* out, int count) {
  int i = 0;
#if defined(__SSE2__)
  // The widest form first, then a last pair; every form performs the scalar form's
  // operations, so the results do not depend on which ran.
  if (kUseAvx2) i = detail::TanhQuadsAvx2(in, out, count);
  i += detail::TanhPairsSse2(in + i, out + i, count - i);
#endif
  for (; i < count; ++i) out[i] = TanhOne(in[i]);
}

}  // namespace qd
