// Second stage: a stereo-linked peak limiter with a fixed ceiling of 1.0, instantaneous
// attack and a three-speed release (T/4, T/2 and T, the slower two weighted by 0.3). T is the
// manual release time or, with the auto flag, a sixteenth note at the host tempo.
// The followers run at the oversampled rate, and the decimation filter can ring above the
// ceiling they hold; so after decimation a base-rate ceiling stage (instantaneous attack,
// one follower releasing in T/4) scales any frame above 1.0 back to it, at every factor.
// Audio thread and parameter handler, under the plug-in mutex; allocates nothing.
#pragma once

#include "effect/AudioProcessor.h"
#include "effect/EnvelopeFollower.h"

namespace qd {

class Limiter : public AudioProcessor {
 public:
  Limiter();

  double drive = 1.0;              // linear input gain
  double manualReleaseMs = 100.0;  // "Release Time"
  double autoFlag = 1.0;           // 1.0: release from the tempo
  double lastTempo = 0.0;          // BPM; hasTempo tells whether one was seen
  bool hasTempo = false;
  double readout = 1.0;          // deepest linear gain of the last block
  double autoReleaseMs = 120.0;  // a sixteenth note once a tempo is known
  EnvelopeFollower fast, medium, slow;
  EnvelopeFollower ceiling;  // base rate; releases in T / 4 like the fast follower

  // The release time that applies now, in ms.
  double ReleaseMs() const { return autoFlag == 1.0 ? autoReleaseMs : manualReleaseMs; }
  // Release coefficients of the three followers and the ceiling follower from ReleaseMs()
  // at their own rates.
  void UpdateReleaseCoefficients();

  void SetSampleRate(int rate) override;
  void ProcessOversampled(double** channels, int nSamples) override;
  void OnRateChange() override;
  // The base-rate ceiling stage; folds its deepest gain into the readout.
  void ProcessDecimated(double* const* io, int channels, int nFrames) override;
};

}  // namespace qd
