#include "effect/AutoOutput.h"

#include <algorithm>
#include <cmath>

namespace qd {

AutoOutput::AutoOutput() {
  follower_.rate = 44100;
  rmsWindow_.SetSampleRate(44100);
}

void AutoOutput::Restart() {
  runningMaximum_ = -100.0;
  targetGain_ = 1.0;
  follower_.envelope = 0.0;
}

void AutoOutput::SetTarget(double db) {
  target_ = db;
  runningMaximum_ = -60.0;
}

void AutoOutput::SetMode(int mode) {
  mode_ = mode;
  runningMaximum_ = -60.0;
}

void AutoOutput::Prepare(int sampleRate, int channels) {
  channels_ = channels;
  if (sampleRate != sampleRate_) {
    sampleRate_ = sampleRate;
    follower_.rate = sampleRate;
    follower_.attack = std::exp(-1.0 / sampleRate);
    follower_.release = std::exp(-1.0 / (sampleRate * 0.01));
    rmsWindow_.SetSampleRate(sampleRate);
    momentary_.Prepare(sampleRate);
  }
  rmsWindow_.Resize(channels_ * 600.0);
  gate_ = -60.0;
}

double AutoOutput::Measure(const double* x, int nFrames) {
  if (nFrames <= 0) return follower_.envelope;
  const int samples = 2 * nFrames;
  double level = -HUGE_VAL;
  bool haveLevel = true;
  if (mode_ == static_cast<double>(kRms)) {
    rmsWindow_.Push(x, samples);
    level = GainToDb(rmsWindow_.UpdateRms());
  } else if (mode_ == static_cast<double>(kLufs)) {
    haveLevel = false;
    if (momentary_.WindowFrames() > 0) {
      momentary_.AddFrames(x, nFrames);
      // Until 400 ms have been fed the window is partly the silence before the first frame.
      if (momentary_.FramesFed() * 10 >= static_cast<int64_t>(sampleRate_) * 4) {
        level = momentary_.Momentary();  // O(1): read at the end of every block
        haveLevel = true;
      }
    }
  } else {
    double peak = 0.0;
    for (int i = 0; i < samples; ++i) peak = std::max(peak, std::fabs(x[i]));
    level = GainToDb(peak);
  }
  if (haveLevel && level > runningMaximum_ && level >= gate_) {
    runningMaximum_ = level;
    const double g = std::min(15.0, std::fabs(level) + target_);
    targetGain_ = DbToGain(g);
  }
  // The follower steps once per frame towards a constant input, so once a step leaves the
  // envelope as it was every later step of the block would too: the loop stops there (in the
  // steady state, at once), with exactly the envelope all the steps would leave.
  const double a = std::fabs(targetGain_);
  for (int i = 0; i < nFrames; ++i) {
    const double before = follower_.envelope;
    if (follower_.Update(a) == before) break;
  }
  return follower_.envelope;
}

}  // namespace qd
