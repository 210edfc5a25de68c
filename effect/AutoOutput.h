// Derives the automatic output gain from the limiter output: the loudest level measured since
// the last restart (sample peak, 600 ms RMS or momentary loudness) is brought to the target.
// Audio thread (Measure) and parameter handler, both under the plug-in mutex; Prepare
// allocates and runs from ResetProcessing only.
#pragma once

#include <memory>

#include "effect/EnvelopeFollower.h"
#include "effect/Loudness.h"
#include "effect/RMSBuffer.h"

namespace qd {

class AutoOutput {
 public:
  enum Mode { kPeak = 0, kRms = 1, kLufs = 3 };

  AutoOutput();
  // Interleaved stereo frames of the limiter output -> smoothed linear gain.
  double Measure(const double* interleaved, int nFrames);
  // After a drive change: the measurement starts again from nothing.
  void Restart();
  void SetTarget(double db);
  void SetMode(int mode);
  void Prepare(int sampleRate, int channels);

  double Target() const { return target_; }
  int Mode() const { return static_cast<int>(mode_); }
  double TargetGain() const { return targetGain_; }
  double RunningMaximum() const { return runningMaximum_; }
  double SmoothedGain() const { return follower_.envelope; }
  const EnvelopeFollower& GainFollower() const { return follower_; }
  const RMSBuffer& RmsWindow() const { return rmsWindow_; }
  bool HasMomentaryState() const { return momentary_.WindowFrames() > 0; }
  const MomentaryLoudness& Momentary() const { return momentary_; }

 private:
  double target_ = 0.0;
  double mode_ = kRms;
  double targetGain_ = 0.0;
  double runningMaximum_ = -60.0;
  double gate_ = -60.0;
  int sampleRate_ = 0;  // none before the first Prepare
  int channels_ = 2;
  EnvelopeFollower follower_;
  MomentaryLoudness momentary_;
  RMSBuffer rmsWindow_;
};

}  // namespace qd
