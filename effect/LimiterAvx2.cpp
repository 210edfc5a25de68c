// Built with AVX2 enabled (where the build has it, see CMakeLists.txt; without FMA, so every
// product is rounded as in the scalar form) and called only where the processor runs it.
#include "effect/LimiterKernels.h"

#if defined(QD_HAVE_AVX2_LIMITER)
#include <immintrin.h>

namespace qd::detail {

void FollowPeaksAvx2(const FollowerCoefficients& c, double envelope[3], double* peaks, int n) {
  // Lanes: slow, medium, fast and a spare whose coefficients keep it at 0.
  const __m256d up = _mm256_setr_pd(c.up[0], c.up[1], c.up[2], 0.0);
  const __m256d upKeep = _mm256_setr_pd(c.upKeep[0], c.upKeep[1], c.upKeep[2], 0.0);
  const __m256d down = _mm256_setr_pd(c.down[0], c.down[1], c.down[2], 0.0);
  const __m256d downKeep = _mm256_setr_pd(c.downKeep[0], c.downKeep[1], c.downKeep[2], 0.0);
  const __m256d weight = _mm256_setr_pd(0.3, 0.3, 1.0, 0.0);
  __m256d env = _mm256_setr_pd(envelope[0], envelope[1], envelope[2], 0.0);
  for (int i = 0; i < n; ++i) {
    const __m256d d = _mm256_broadcast_sd(peaks + i);
    const __m256d rising = _mm256_add_pd(_mm256_mul_pd(up, d), _mm256_mul_pd(upKeep, env));
    const __m256d falling = _mm256_add_pd(_mm256_mul_pd(down, d), _mm256_mul_pd(downKeep, env));
    // d > envelope (false for NaN, as the scalar comparison).
    env = _mm256_blendv_pd(falling, rising, _mm256_cmp_pd(d, env, _CMP_GT_OQ));
    // The largest of 0.3 x slow, 0.3 x medium and fast: the envelopes are never NaN, so the
    // largest value is the one the scalar form's comparisons pick.
    const __m256d weighted = _mm256_mul_pd(env, weight);
    const __m128d low = _mm256_castpd256_pd128(weighted);
    const __m128d largest =
        _mm_max_sd(_mm_max_sd(low, _mm_unpackhi_pd(low, low)), _mm256_extractf128_pd(weighted, 1));
    _mm_store_sd(peaks + i, largest);
  }
  alignas(32) double lanes[4];
  _mm256_store_pd(lanes, env);
  for (int f = 0; f < 3; ++f) envelope[f] = lanes[f];
}

}  // namespace qd::detail
#else
namespace qd::detail {

void FollowPeaksAvx2(const FollowerCoefficients& c, double envelope[3], double* peaks, int n) {
  FollowPeaksScalar(c, envelope, peaks, n);
}

}  // namespace qd::detail
#endif
