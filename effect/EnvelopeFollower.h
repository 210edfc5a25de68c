// A one-pole envelope follower with separate coefficients for rising and falling input.
// Plain data; used on the audio thread only.
#pragma once

#include <cmath>
#include <cstdint>

#include "dsp/oversampling/Gain.h"

namespace qd {

// A fall of 40 dB in t ms at the given rate.
inline double FortyDbFallCoefficient(double rate, double ms) {
  return std::pow(0.01, 1.0 / (rate * ms * 0.001));
}

struct EnvelopeFollower {
  double envelope = 0.0;
  int32_t rate = 44100;
  double attack = 0.0;   // applies while the input is above the envelope
  double release = 0.0;  // applies otherwise

  double Update(double d) {
    const double c = d > envelope ? attack : release;
    envelope = (1.0 - c) * d + c * envelope;
    return envelope;
  }
};

}  // namespace qd
