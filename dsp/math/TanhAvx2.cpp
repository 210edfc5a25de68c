// Built with AVX2 enabled (where the build has it, see CMakeLists.txt; without FMA, so every
// product is rounded as in the other forms) and called only where the processor runs it.
#include "dsp/math/TanhKernels.h"

#if defined(QD_HAVE_AVX2_TANH)
#include <immintrin.h>

#include <cstdint>

namespace qd::detail {

namespace {

struct Avx2Ops {
  using V = __m256d;
  using I = __m256i;
  static constexpr int kWidth = 4;
  static V Set(double v) { return _mm256_set1_pd(v); }
  static I SetI(int64_t v) { return _mm256_set1_epi64x(v); }
  static V Load(const double* p) { return _mm256_loadu_pd(p); }
  static void Store(double* p, V v) { _mm256_storeu_pd(p, v); }
  static V Add(V a, V b) { return _mm256_add_pd(a, b); }
  static V Sub(V a, V b) { return _mm256_sub_pd(a, b); }
  static V Mul(V a, V b) { return _mm256_mul_pd(a, b); }
  static V Div(V a, V b) { return _mm256_div_pd(a, b); }
  static V Min(V a, V b) { return _mm256_min_pd(a, b); }
  static V And(V a, V b) { return _mm256_and_pd(a, b); }
  static V AndNot(V a, V b) { return _mm256_andnot_pd(a, b); }
  static V Or(V a, V b) { return _mm256_or_pd(a, b); }
  static I Bits(V v) { return _mm256_castpd_si256(v); }
  static V Double(I v) { return _mm256_castsi256_pd(v); }
  static I AddI(I a, I b) { return _mm256_add_epi64(a, b); }
  static I SubI(I a, I b) { return _mm256_sub_epi64(a, b); }
  static I ShiftLeft52(I v) { return _mm256_slli_epi64(v, 52); }
};

}  // namespace

int TanhQuadsAvx2(const double* in, double* out, int count) {
  return TanhVectors<Avx2Ops>(in, out, count);
}

}  // namespace qd::detail
#else
namespace qd::detail {

int TanhQuadsAvx2(const double*, double*, int) {
  return 0;
}

}  // namespace qd::detail
#endif
