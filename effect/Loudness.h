// Owned two-channel loudness measurement states (left = channel 0, right = channel 1).
// Create and release outside the audio path (ResetProcessing, "Reset Meters"); feeding and
// reading allocate nothing for the modes used here.
#pragma once

#include <cstdint>
#include <memory>

#include "effect/RMSBuffer.h"

namespace qd {

// Library mode flags.
constexpr int kLoudnessMomentary = 1;
constexpr int kLoudnessIntegrated = 5;
constexpr int kLoudnessRange = 11;
constexpr int kLoudnessHistogram = 64;

class LoudnessState {
 public:
  // Returns null when the library refuses the rate.
  static std::unique_ptr<LoudnessState> Create(int mode, unsigned sampleRate);
  ~LoudnessState();
  LoudnessState(const LoudnessState&) = delete;
  LoudnessState& operator=(const LoudnessState&) = delete;

  // Hands the frames to the library at once (the reference form).
  void AddFrames(const double* interleaved, int frames);
  // The same frames, handed to the library only in whole 100 ms gating steps: the frames of
  // an unfinished step wait in a buffer. Integrated and Range depend only on whole steps, so
  // after every call they read exactly what they read after AddFrames of the same frames,
  // at a fraction of the library's per-call cost for short blocks; Momentary reads only the
  // steps handed over. Use one form or the other on a state, not both.
  void AddFramesInSteps(const double* interleaved, int frames);
  // Frames fed since creation (with AddFramesInSteps, those still waiting included).
  int64_t FramesFed() const { return framesFed_; }
  // The library's gating step: frames in 100 ms.
  int64_t FramesPer100ms() const { return framesPer100ms_; }
  double Momentary() const;   // LUFS; -inf for silence
  double Integrated() const;  // LUFS; -inf before any block passes the gates
  double Range() const;       // LU

 private:
  LoudnessState(void* state, unsigned sampleRate);
  void* state_;  // the library's state (an unnamed struct type, so held untyped here)
  int64_t framesFed_ = 0;
  int64_t framesPer100ms_;
  std::unique_ptr<double[]> pending_;  // one step of interleaved frames
  int64_t pendingFrames_ = 0;
};

// Momentary loudness (the mean K-weighted power of the last 400 ms) of two channels, kept up
// to date frame by frame, so a reading costs O(1) however often it is taken. It measures what
// the loudness library's momentary reading measures (checked against it in the tests).
// Prepare allocates (setup path); AddFrames and Momentary allocate nothing (audio thread).
class MomentaryLoudness {
 public:
  // Designs the weighting at the rate (> 0) and clears the window and filter state.
  void Prepare(int sampleRate);
  void AddFrames(const double* interleaved, int frames);
  // LUFS of the last 400 ms, the frames before the first counting as silence; -inf for a
  // window of silence.
  double Momentary() const;
  int64_t FramesFed() const { return framesFed_; }
  int WindowFrames() const { return windowFrames_; }

 private:
  struct Stage {
    double b0, b1, b2, a1, a2;
  };
  Stage shelf_{}, highPass_{};
  // Direct-form-II delays: [stage][delay][channel].
  double z_[2][2][2] = {};
  RMSBuffer window_;  // the filtered samples, interleaved
  int windowFrames_ = 0;
  int64_t framesFed_ = 0;
};

}  // namespace qd
