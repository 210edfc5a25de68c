#include "effect/Clipper.h"

#include <algorithm>
#include <cmath>

namespace qd {

void Clipper::ProcessOversampled(double** channels, int nSamples) {
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
