// First stage of the chain: drives the signal into a fixed ceiling of +-1.0 with a hard or a
// hyperbolic-tangent curve, at the oversampled rate, and reports its deepest gain reduction.
// Audio thread, under the plug-in mutex; allocates nothing.
#pragma once

#include "dsp/oversampling/AudioProcessor.h"

namespace qd {

class Clipper : public AudioProcessor {
 public:
  double drive = 1.0;    // linear input gain
  bool soft = false;     // tanh curve instead of the hard clip
  double readout = 1.0;  // deepest linear gain of the last block, <= 1

  void ProcessOversampled(double** channels, int nSamples) override;
  // The same stage as a plain per-sample loop with the C library's tanh: the reference the
  // faster ProcessOversampled is checked against (equal for the hard curve, within 1e-15
  // for the soft one).
  void ProcessReference(double** channels, int nSamples);
  void OnRateChange() override {}
};

}  // namespace qd
