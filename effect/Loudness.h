// Owned two-channel loudness measurement states (left = channel 0, right = channel 1).
// Create and release outside the audio path (ResetProcessing, "Reset Meters"); feeding and
// reading allocate nothing for the modes used here.
#pragma once

#include <cstdint>
#include <memory>

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

  void AddFrames(const double* interleaved, int frames);
  // Frames fed since creation.
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
};

}  // namespace qd
