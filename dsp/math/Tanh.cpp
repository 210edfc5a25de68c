#include "dsp/math/Tanh.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "dsp/math/Cpu.h"
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
namespace {

struct Sse2Ops {
  using V = __m128d;
  using I = __m128i;
  static constexpr int kWidth = 2;
  static V Set(double v) { return _mm_set1_pd(v); }
  static I SetI(int64_t v) { return _mm_set1_epi64x(v); }
  static V Load(const double* p) { return _mm_loadu_pd(p); }
  static void Store(double* p, V v) { _mm_storeu_pd(p, v); }
  static V Add(V a, V b) { return _mm_add_pd(a, b); }
  static V Sub(V a, V b) { return _mm_sub_pd(a, b); }
  static V Mul(V a, V b) { return _mm_mul_pd(a, b); }
  static V Div(V a, V b) { return _mm_div_pd(a, b); }
  static V Min(V a, V b) { return _mm_min_pd(a, b); }
  static V And(V a, V b) { return _mm_and_pd(a, b); }
  static V AndNot(V a, V b) { return _mm_andnot_pd(a, b); }
  static V Or(V a, V b) { return _mm_or_pd(a, b); }
  static I Bits(V v) { return _mm_castpd_si128(v); }
  static V Double(I v) { return _mm_castsi128_pd(v); }
  static I AddI(I a, I b) { return _mm_add_epi64(a, b); }
  static I SubI(I a, I b) { return _mm_sub_epi64(a, b); }
  static I ShiftLeft52(I v) { return _mm_slli_epi64(v, 52); }
};

}  // namespace

int TanhPairsSse2(const double* in, double* out, int count) {
  return TanhVectors<Sse2Ops>(in, out, count);
}
#endif

bool HaveAvx2TanhKernels() {
#if defined(QD_HAVE_AVX2_TANH)
  return CpuHasAvx2();
#else
  return false;
#endif
}

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
