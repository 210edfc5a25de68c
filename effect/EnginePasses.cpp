#include "effect/EnginePasses.h"

#include <algorithm>
#include <cmath>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace qd {

void CopyInputSafelyReference(const double* in, int frames, double limit, double* out) {
  for (int k = 0; k < frames; ++k) {
    const double v = in ? in[k] : 0.0;
    out[k] = std::isfinite(v) ? std::clamp(v, -limit, limit) : 0.0;
  }
}

void CopyInputSafely(const double* in, int frames, double limit, double* out) {
#if defined(__SSE2__)
  if (!in) {
    std::fill(out, out + frames, 0.0);
    return;
  }
  // |v| <= the largest finite double is false exactly for infinities and NaNs; for finite v
  // min(max(v, -limit), limit) is the clamp (a signed zero passes through as it is).
  const __m128d largest = _mm_set1_pd(std::numeric_limits<double>::max());
  const __m128d sign = _mm_set1_pd(-0.0);
  const __m128d lo = _mm_set1_pd(-limit), hi = _mm_set1_pd(limit);
  int k = 0;
  for (; k + 2 <= frames; k += 2) {
    const __m128d v = _mm_loadu_pd(in + k);
    const __m128d finite = _mm_cmple_pd(_mm_andnot_pd(sign, v), largest);
    const __m128d clamped = _mm_min_pd(_mm_max_pd(v, lo), hi);
    _mm_storeu_pd(out + k, _mm_and_pd(finite, clamped));
  }
  CopyInputSafelyReference(in + k, frames - k, limit, out + k);
#else
  CopyInputSafelyReference(in, frames, limit, out);
#endif
}

double SplitAndMeasureOutputReference(const double* x, int frames, double* outL, double* outR,
                                      OutputPeaks& peaks) {
  double sum = 0.0;
  for (int i = 0; i < 2 * frames; ++i) sum += x[i] * x[i];
  for (int k = 0; k < frames; ++k) {
    outL[k] = x[2 * k];
    outR[k] = x[2 * k + 1];
  }
  const double* outs[2] = {outL, outR};
  for (int c = 0; c < 2; ++c) {
    double env = peaks.envelope[c];
    for (int k = 0; k < frames; ++k) {
      const double a = std::fabs(outs[c][k]);
      const double coefficient = a > env ? peaks.attack[c] : peaks.release[c];
      env = a + (env - a) * coefficient;
    }
    peaks.envelope[c] = env;
  }
  return sum;
}

double SplitAndMeasureOutput(const double* x, int frames, double* outL, double* outR,
                             OutputPeaks& peaks) {
#if defined(__SSE2__)
  // Both followers in one register, the choice of coefficient by mask rather than by branch
  // (the comparison goes either way from sample to sample); the sum's chain runs beside them.
  // Each lane does exactly the reference's operations, so the results are the same bits.
  __m128d env = _mm_loadu_pd(peaks.envelope);
  const __m128d attack = _mm_loadu_pd(peaks.attack);
  const __m128d release = _mm_loadu_pd(peaks.release);
  const __m128d sign = _mm_set1_pd(-0.0);
  double sum = 0.0;
  for (int k = 0; k < frames; ++k) {
    const double l = x[2 * k], r = x[2 * k + 1];
    sum += l * l;
    sum += r * r;
    outL[k] = l;
    outR[k] = r;
    const __m128d a = _mm_andnot_pd(sign, _mm_loadu_pd(x + 2 * k));
    const __m128d louder = _mm_cmpgt_pd(a, env);
    const __m128d coefficient =
        _mm_or_pd(_mm_and_pd(louder, attack), _mm_andnot_pd(louder, release));
    env = _mm_add_pd(a, _mm_mul_pd(_mm_sub_pd(env, a), coefficient));
  }
  _mm_storeu_pd(peaks.envelope, env);
  return sum;
#else
  return SplitAndMeasureOutputReference(x, frames, outL, outR, peaks);
#endif
}

}  // namespace qd
