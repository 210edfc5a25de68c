// Conversion of the engine's double samples to the host's float samples. Any value whose
// magnitude is below the smallest normal float becomes 0: subnormal floats left in a host's
// buffers (the tail of a release after loud audio, say) slow down every processor after ours
// on many CPUs. Audio thread; pure arithmetic.
#pragma once

#include <cmath>
#include <limits>

namespace qd {

inline float EngineToHostFloat(double sample) {
  return std::fabs(sample) < static_cast<double>(std::numeric_limits<float>::min())
             ? 0.0f
             : static_cast<float>(sample);
}

}  // namespace qd
