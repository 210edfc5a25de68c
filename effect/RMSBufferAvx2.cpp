// Built with AVX2 enabled (where the build has it, see CMakeLists.txt) and called only where
// the processor runs it.
#include "effect/RMSKernels.h"

#if defined(QD_HAVE_AVX2_RMS)
#include <immintrin.h>

#include <cstdint>

namespace qd::detail {

namespace {

// Knuth's two-sum on four lanes, the operations of the scalar and SSE2 forms.
inline void TwoSumAdd4(__m256d& sum, __m256d& compensation, __m256d term) {
  const __m256d t = _mm256_add_pd(sum, term);
  const __m256d b = _mm256_sub_pd(t, sum);
  compensation = _mm256_add_pd(
      compensation, _mm256_add_pd(_mm256_sub_pd(sum, _mm256_sub_pd(t, b)), _mm256_sub_pd(term, b)));
  sum = t;
}

}  // namespace

int PushRoundsAvx2(const LaneSums& s, const double* samples, double* items, int rounds) {
  __m256d addSum = _mm256_loadu_pd(s.addedSum), addComp = _mm256_loadu_pd(s.addedCompensation);
  __m256d remSum = _mm256_loadu_pd(s.removedSum), remComp = _mm256_loadu_pd(s.removedCompensation);
  const __m256d zero = _mm256_setzero_pd();
  __m256i counted = _mm256_setzero_si256();  // per lane: nonzero new minus nonzero old
  for (int r = 0; r < rounds; ++r) {
    const __m256d n = _mm256_loadu_pd(samples + 4 * r);
    const __m256d o = _mm256_loadu_pd(items + 4 * r);
    counted = _mm256_sub_epi64(counted, _mm256_castpd_si256(_mm256_cmp_pd(n, zero, _CMP_NEQ_UQ)));
    counted = _mm256_add_epi64(counted, _mm256_castpd_si256(_mm256_cmp_pd(o, zero, _CMP_NEQ_UQ)));
    TwoSumAdd4(addSum, addComp, _mm256_mul_pd(n, n));
    TwoSumAdd4(remSum, remComp, _mm256_mul_pd(o, o));
    _mm256_storeu_pd(items + 4 * r, n);
  }
  _mm256_storeu_pd(s.addedSum, addSum);
  _mm256_storeu_pd(s.addedCompensation, addComp);
  _mm256_storeu_pd(s.removedSum, remSum);
  _mm256_storeu_pd(s.removedCompensation, remComp);
  alignas(32) int64_t lanes[4];
  _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), counted);
  return static_cast<int>(lanes[0] + lanes[1] + lanes[2] + lanes[3]);
}

void SumRoundsAvx2(const LaneSums& s, const double* items, int rounds) {
  __m256d sum = _mm256_setzero_pd(), compensation = _mm256_setzero_pd();
  for (int r = 0; r < rounds; ++r) {
    const __m256d x = _mm256_loadu_pd(items + 4 * r);
    TwoSumAdd4(sum, compensation, _mm256_mul_pd(x, x));
  }
  _mm256_storeu_pd(s.addedSum, sum);
  _mm256_storeu_pd(s.addedCompensation, compensation);
}

}  // namespace qd::detail
#else
namespace qd::detail {

int PushRoundsAvx2(const LaneSums& s, const double* samples, double* items, int rounds) {
  return PushRoundsSse2(s, samples, items, rounds);
}
void SumRoundsAvx2(const LaneSums& s, const double* items, int rounds) {
  SumRoundsSse2(s, items, rounds);
}

}  // namespace qd::detail
#endif
