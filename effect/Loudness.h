// Loudness measurement of two channels (left = channel 0, right = channel 1): the loudness
// library's own states, and the running measurements the engine uses, which read what the
// library reads (the tests and benchmarks hold them against it) at a fraction of its cost.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "effect/RMSBuffer.h"

namespace qd {

// Library mode flags.
constexpr int kLoudnessMomentary = 1;
constexpr int kLoudnessIntegrated = 5;
constexpr int kLoudnessRange = 11;
constexpr int kLoudnessHistogram = 64;

// The library's state. Create and release outside the audio path; feeding and reading
// allocate nothing for the modes used here.
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

// The K-weighting filter of two interleaved channels: a high shelf of about +4 dB above
// 1.5 kHz, then a high pass at 38 Hz. Design is the setup path; Process and Energy allocate
// nothing and are called on the audio thread.
class KWeighting {
 public:
  // Designs both stages at the rate (> 0; anything else designs 48 kHz) and clears the state.
  void Design(double sampleRate);
  void Clear();
  // Filters `frames` interleaved frames from `in` into `out` (which may be `in`).
  void Process(const double* in, double* out, int frames);
  // Filters the frames and returns the sum of the squared filtered samples of both channels.
  double Energy(const double* in, int frames);

 private:
  struct Stage {
    double b0, b1, b2, a1, a2;
  };
  template <bool kStore>
  double Run(const double* in, double* out, int frames);
  void FlushTinyState();
  Stage shelf_{}, highPass_{};
  // Direct-form-II delays: [stage][delay][channel].
  double z_[2][2][2] = {};
};

// Integrated loudness and loudness range of two channels, measured as the loudness library
// measures them in its constant-memory histogram mode (with integrated and range modes
// combined; checked against it in the tests), without the library's per-sample cost: 100 ms
// gating steps of K-weighted energy, 400 ms blocks every step into a histogram of 0.1 LU bins
// from -70 LUFS (the absolute gate) up, 3 s short-term blocks every second into a second one.
// Everything lives in the object: Prepare, Reset, AddFrames and the readings allocate
// nothing, so all of them may run on the audio thread.
class GatedLoudness {
 public:
  // The rates the measurement accepts (those the library accepts).
  static constexpr int kMinRate = 16;
  static constexpr int kMaxRate = 2822400;
  static bool RateSupported(int sampleRate) {
    return sampleRate >= kMinRate && sampleRate <= kMaxRate;
  }

  GatedLoudness();
  // Prepares for the rate and starts afresh; false (and nothing measured) for a rate outside
  // the supported range.
  bool Prepare(int sampleRate);
  bool Prepared() const { return framesPer100ms_ > 0; }
  // Starts the measurement afresh at the prepared rate.
  void Reset();
  void AddFrames(const double* interleaved, int frames);
  int64_t FramesFed() const { return framesFed_; }
  // The gating step: frames in 100 ms (0 before a successful Prepare).
  int64_t FramesPer100ms() const { return framesPer100ms_; }
  double Integrated() const;  // LUFS; -inf before any block passes the gates
  double Range() const;       // LU; 0 before two short-term blocks pass the gates

 private:
  static constexpr int kBins = 1000;
  static constexpr int kShortTermSteps = 30;  // 3 s
  void CompleteStep(double energy);
  static void AddToHistogram(std::array<int64_t, kBins>& histogram, double meanEnergy);
  // The first bin whose centre energy reaches the relative gate (mean energy x factor) of
  // the histogram's blocks; kBins when there are none.
  int FirstGatedBin(const std::array<int64_t, kBins>& histogram, double factor) const;

  KWeighting weighting_;
  int64_t framesPer100ms_ = 0;
  int64_t framesFed_ = 0;
  int64_t stepFramesLeft_ = 0;  // frames still missing from the step being summed
  double stepEnergy_ = 0.0;
  int64_t steps_ = 0;                                  // whole steps completed
  std::array<double, kShortTermSteps> recentSteps_{};  // energies of the last steps, a ring
  std::array<int64_t, kBins> blocks_{}, shortTerm_{};  // block counts per 0.1 LU bin
  std::array<double, kBins> centreEnergy_{};           // energy of each bin's centre
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
  KWeighting weighting_;
  RMSBuffer window_;  // the filtered samples, interleaved
  int windowFrames_ = 0;
  int64_t framesFed_ = 0;
};

}  // namespace qd
