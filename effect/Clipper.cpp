#include "effect/Clipper.h"

#include <algorithm>
#include <cmath>

#include "dsp/math/Tanh.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace qd {

namespace {

constexpr int kChunk = 256;  // samples driven and curved at a time, on the stack

// min(readout, y / x) over the samples with x > 0.
double SoftReadout(const double* x, const double* y, int n, double readout) {
  int i = 0;
#if defined(__SSE2__)
  __m128d lowest = _mm_set1_pd(readout);
  const __m128d one = _mm_set1_pd(1.0), zero = _mm_setzero_pd();
  for (; i + 2 <= n; i += 2) {
    const __m128d xi = _mm_loadu_pd(x + i);
    const __m128d positive = _mm_cmpgt_pd(xi, zero);
    // Lanes that do not count divide 1 by 1.
    const __m128d num =
        _mm_or_pd(_mm_and_pd(positive, _mm_loadu_pd(y + i)), _mm_andnot_pd(positive, one));
    const __m128d den = _mm_or_pd(_mm_and_pd(positive, xi), _mm_andnot_pd(positive, one));
    lowest = _mm_min_pd(lowest, _mm_div_pd(num, den));
  }
  readout = std::min(_mm_cvtsd_f64(lowest), _mm_cvtsd_f64(_mm_unpackhi_pd(lowest, lowest)));
#endif
  for (; i < n; ++i) {
    if (x[i] > 0.0) readout = std::min(readout, y[i] / x[i]);
  }
  return readout;
}

}  // namespace

void Clipper::ProcessOversampled(double** channels, int nSamples) {
  readout = 1.0;
  // The hard curve's gain y / x is 1 up to x = 1 and 1 / x above, so its deepest gain is
  // 1 / (largest driven sample); division rounds monotonically, so this is exactly the
  // smallest of the per-sample gains.
  double largest = 0.0;
  double x[kChunk];
  for (int c = 0; c < ChannelCount(); ++c) {
    double* s = channels[c];
    for (int start = 0; start < nSamples; start += kChunk) {
      const int n = std::min(kChunk, nSamples - start);
      double* io = s + start;
      for (int i = 0; i < n; ++i) x[i] = io[i] * drive;
      if (soft) {
        TanhArray(x, io, n);
        readout = SoftReadout(x, io, n, readout);
      } else {
        int i = 0;
#if defined(__SSE2__)
        const __m128d lo = _mm_set1_pd(-1.0), hi = _mm_set1_pd(1.0);
        __m128d top = _mm_set1_pd(largest);
        for (; i + 2 <= n; i += 2) {
          const __m128d xi = _mm_loadu_pd(x + i);
          // max and min return their second operand when either is NaN: a NaN sample passes
          // through the curve and is left out of the largest sample.
          _mm_storeu_pd(io + i, _mm_min_pd(hi, _mm_max_pd(lo, xi)));
          top = _mm_max_pd(xi, top);
        }
        largest = std::max(_mm_cvtsd_f64(top), _mm_cvtsd_f64(_mm_unpackhi_pd(top, top)));
#endif
        for (; i < n; ++i) {
          // NaN passes through, as std::clamp passes it.
          io[i] = x[i] < -1.0 ? -1.0 : x[i] > 1.0 ? 1.0 : x[i];
          largest = x[i] > largest ? x[i] : largest;
        }
      }
    }
  }
  if (!soft && largest > 1.0) readout = std::min(readout, 1.0 / largest);
}

void Clipper::ProcessReference(double** channels, int nSamples) {
  readout = 1.0;
  for (int c = 0; c < ChannelCount(); ++c) {
    double* s = channels[c];
    for (int i = 0; i < nSamples; ++i) {
      const double x = s[i] * drive;
      const double y = soft ? std::tanh(x) : std::clamp(x, -1.0, 1.0);
      s[i] = y;
      // Only positive driven samples count towards the readout.
      if (x > 0.0) readout = std::min(readout, y / x);
    }
  }
}

}  // namespace qd
