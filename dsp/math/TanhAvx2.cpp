// Built with AVX2 enabled (where the build has it, see CMakeLists.txt; without FMA, so every
// product is rounded as in the other forms) and called only where the processor runs it.
#include "dsp/math/TanhKernels.h"

#if defined(QD_HAVE_AVX2_TANH)
#include <immintrin.h>

namespace qd::detail {

using namespace tanh_constants;

bool HaveAvx2TanhKernels() {
  // The processor's own report (the C runtime also checks that the operating system saves
  // the AVX registers).
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
}

int TanhQuadsAvx2(const double* in, double* out, int count) {
  int i = 0;
  const __m256d sign = _mm256_set1_pd(-0.0);
  const __m256d cap = _mm256_set1_pd(kCap);
  const __m256d invLn2 = _mm256_set1_pd(kInvLn2);
  const __m256d round = _mm256_set1_pd(kRound);
  const __m256d ln2Hi = _mm256_set1_pd(kLn2Hi), ln2Lo = _mm256_set1_pd(kLn2Lo);
  const __m256d one = _mm256_set1_pd(1.0), two = _mm256_set1_pd(2.0);
  const __m256i roundBits = _mm256_castpd_si256(round);
  const __m256i bias = _mm256_set1_epi64x(1023);
  for (; i + 4 <= count; i += 4) {
    const __m256d x = _mm256_loadu_pd(in + i);
    const __m256d s = _mm256_and_pd(x, sign);
    // min(cap, |x|) passes a NaN through (the second operand wins when either is NaN).
    const __m256d t = _mm256_min_pd(cap, _mm256_andnot_pd(sign, x));
    const __m256d z = _mm256_add_pd(t, t);
    const __m256d kr = _mm256_add_pd(_mm256_mul_pd(z, invLn2), round);
    const __m256d k = _mm256_sub_pd(kr, round);
    const __m256d r =
        _mm256_sub_pd(_mm256_sub_pd(z, _mm256_mul_pd(k, ln2Hi)), _mm256_mul_pd(k, ln2Lo));
    const __m256d r2 = _mm256_mul_pd(r, r);
    const __m256d r4 = _mm256_mul_pd(r2, r2);
    const __m256d r8 = _mm256_mul_pd(r4, r4);
    auto pair = [&](int a) {
      return _mm256_add_pd(_mm256_set1_pd(kC[a]), _mm256_mul_pd(_mm256_set1_pd(kC[a + 1]), r));
    };
    const __m256d q01 = _mm256_add_pd(pair(0), _mm256_mul_pd(pair(2), r2));
    const __m256d q23 = _mm256_add_pd(pair(4), _mm256_mul_pd(pair(6), r2));
    const __m256d q45 = _mm256_add_pd(pair(8), _mm256_mul_pd(pair(10), r2));
    const __m256d poly =
        _mm256_add_pd(_mm256_add_pd(q01, _mm256_mul_pd(q23, r4)), _mm256_mul_pd(q45, r8));
    const __m256d p = _mm256_add_pd(r, _mm256_mul_pd(r2, poly));
    // 2^k from k's integer bits (0 <= k <= 58 here).
    const __m256i ki = _mm256_sub_epi64(_mm256_castpd_si256(kr), roundBits);
    const __m256d scale = _mm256_castsi256_pd(_mm256_slli_epi64(_mm256_add_epi64(ki, bias), 52));
    const __m256d em = _mm256_add_pd(_mm256_mul_pd(scale, p), _mm256_sub_pd(scale, one));
    const __m256d y = _mm256_div_pd(em, _mm256_add_pd(em, two));
    _mm256_storeu_pd(out + i, _mm256_or_pd(y, s));
  }
  return i;
}

}  // namespace qd::detail
#else
namespace qd::detail {

bool HaveAvx2TanhKernels() {
  return false;
}
int TanhQuadsAvx2(const double*, double*, int) {
  return 0;
}

}  // namespace qd::detail
#endif
