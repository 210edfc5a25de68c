#include "effect/Limiter.h"

#include <algorithm>
#include <cmath>

#include "dsp/math/Cpu.h"
#include "effect/LimiterKernels.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace qd {

namespace detail {

void FollowPeaksScalar(const FollowerCoefficients& c, double env[3], double* peaks, int n) {
  // Per follower both candidate updates are formed and the comparison picks one: the same
  // arithmetic as EnvelopeFollower::Update with a shorter dependency chain.
  for (int i = 0; i < n; ++i) {
    const double d = peaks[i];
    for (int f = 0; f < 3; ++f) {
      const double rising = c.up[f] * d + c.upKeep[f] * env[f];
      const double falling = c.down[f] * d + c.downKeep[f] * env[f];
      env[f] = d > env[f] ? rising : falling;
    }
    // std::max({0.3 x slow, 0.3 x medium, fast}): the first of the largest.
    double e = 0.3 * env[0];
    const double m = 0.3 * env[1];
    if (e < m) e = m;
    if (e < env[2]) e = env[2];
    peaks[i] = e;
  }
}

bool HaveAvx2LimiterKernels() {
#if defined(QD_HAVE_AVX2_LIMITER)
  return CpuHasAvx2();
#else
  return false;
#endif
}

}  // namespace detail

namespace {
// Chosen once, when the library loads.
const bool kUseAvx2 = detail::HaveAvx2LimiterKernels();
}  // namespace

Limiter::Limiter() {
  for (EnvelopeFollower* f : {&fast, &medium, &slow, &ceiling}) {
    f->envelope = 0.0;
    f->rate = 44100;
  }
}

void Limiter::UpdateReleaseCoefficients() {
  const double t = ReleaseMs();
  fast.release = FortyDbFallCoefficient(fast.rate, t * 0.25);
  medium.release = FortyDbFallCoefficient(medium.rate, t * 0.5);
  slow.release = FortyDbFallCoefficient(slow.rate, t);
  ceiling.release = FortyDbFallCoefficient(ceiling.rate, t * 0.25);
}

void Limiter::OnRateChange() {
  const int rate = SampleRate() * Oversampling();
  for (EnvelopeFollower* f : {&fast, &medium, &slow}) {
    f->rate = rate;
    f->attack = 0.0;
  }
  ceiling.rate = SampleRate();
  ceiling.attack = 0.0;
  UpdateReleaseCoefficients();
}

void Limiter::SetSampleRate(int rate) {
  const bool changed = rate != SampleRate();
  AudioProcessor::SetSampleRate(rate);
  if (changed) OnRateChange();
}

void Limiter::ProcessOversampled(double** channels, int nSamples) {
  readout = 1.0;
  double* left = channels[0];
  double* right = channels[1];
  // The followers run over a chunk of peaks (the widest form the processor runs), then the
  // gains are applied to the whole chunk at once.
  EnvelopeFollower* followers[3] = {&slow, &medium, &fast};
  double env[3];
  detail::FollowerCoefficients c;
  for (int f = 0; f < 3; ++f) {
    env[f] = followers[f]->envelope;
    c.up[f] = 1.0 - followers[f]->attack;
    c.upKeep[f] = followers[f]->attack;
    c.down[f] = 1.0 - followers[f]->release;
    c.downKeep[f] = followers[f]->release;
  }
  constexpr int kChunk = 256;
  double peak[kChunk];
  for (int start = 0; start < nSamples; start += kChunk) {
    const int n = std::min(kChunk, nSamples - start);
    double* l = left + start;
    double* r = right + start;
    int i = 0;
#if defined(__SSE2__)
    const __m128d sign = _mm_set1_pd(-0.0), g = _mm_set1_pd(drive);
    for (; i + 2 <= n; i += 2) {
      const __m128d dl = _mm_mul_pd(g, _mm_loadu_pd(l + i));
      const __m128d dr = _mm_mul_pd(g, _mm_loadu_pd(r + i));
      _mm_storeu_pd(l + i, dl);
      _mm_storeu_pd(r + i, dr);
      // std::max(|l|, |r|): |l| unless |l| < |r|.
      _mm_storeu_pd(peak + i, _mm_max_pd(_mm_andnot_pd(sign, dr), _mm_andnot_pd(sign, dl)));
    }
#endif
    for (; i < n; ++i) {
      l[i] *= drive;
      r[i] *= drive;
      peak[i] = std::max(std::fabs(l[i]), std::fabs(r[i]));
    }
    if (kUseAvx2) {
      detail::FollowPeaksAvx2(c, env, peak, n);
    } else {
      detail::FollowPeaksScalar(c, env, peak, n);
    }
    i = 0;
#if defined(__SSE2__)
    const __m128d one = _mm_set1_pd(1.0);
    __m128d lowest = _mm_set1_pd(readout);
    for (; i + 2 <= n; i += 2) {
      const __m128d e = _mm_loadu_pd(peak + i);
      const __m128d over = _mm_cmpgt_pd(e, one);
      // 1 / envelope above the ceiling, 1 / 1 = 1 elsewhere.
      const __m128d gain =
          _mm_div_pd(one, _mm_or_pd(_mm_and_pd(over, e), _mm_andnot_pd(over, one)));
      _mm_storeu_pd(l + i, _mm_mul_pd(gain, _mm_loadu_pd(l + i)));
      _mm_storeu_pd(r + i, _mm_mul_pd(gain, _mm_loadu_pd(r + i)));
      lowest = _mm_min_pd(gain, lowest);
    }
    readout = std::min(
        readout, std::min(_mm_cvtsd_f64(lowest), _mm_cvtsd_f64(_mm_unpackhi_pd(lowest, lowest))));
#endif
    for (; i < n; ++i) {
      const double gain = peak[i] > 1.0 ? 1.0 / peak[i] : 1.0;
      l[i] *= gain;
      r[i] *= gain;
      readout = std::min(readout, gain);
    }
  }
  for (int f = 0; f < 3; ++f) followers[f]->envelope = env[f];
}

void Limiter::ProcessReference(double** channels, int nSamples) {
  readout = 1.0;
  double* left = channels[0];
  double* right = channels[1];
  for (int i = 0; i < nSamples; ++i) {
    const double l = drive * left[i];
    const double r = drive * right[i];
    const double d = std::max(std::fabs(l), std::fabs(r));
    slow.Update(d);
    medium.Update(d);
    fast.Update(d);
    const double envelope = std::max({0.3 * slow.envelope, 0.3 * medium.envelope, fast.envelope});
    const double gain = envelope > 1.0 ? 1.0 / envelope : 1.0;
    left[i] = gain * l;
    right[i] = gain * r;
    readout = std::min(readout, gain);
  }
}

void Limiter::ProcessDecimated(double* const* io, int channels, int nFrames) {
  if (channels < 2) return;
  double* left = io[0];
  double* right = io[1];
  double envelope = ceiling.envelope;
  const double release = ceiling.release;
  double deepest = 1.0;
  for (int k = 0; k < nFrames; ++k) {
    const double d = std::max(std::fabs(left[k]), std::fabs(right[k]));
    envelope = d > envelope ? d : (1.0 - release) * d + release * envelope;
    if (envelope > 1.0) {
      // Dividing (rather than multiplying by 1 / envelope) brings the frame that set the
      // envelope to exactly 1.0; the max only guards the last bit of the release's rounding.
      const double divisor = std::max(envelope, d);
      left[k] /= divisor;
      right[k] /= divisor;
      deepest = std::min(deepest, 1.0 / envelope);
    }
  }
  ceiling.envelope = envelope;
  readout = std::min(readout, deepest);
}

}  // namespace qd
