#include "effect/Limiter.h"

#include <algorithm>
#include <cmath>

namespace qd {

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
