// The plug-in: twelve parameters, the audio engine (clipper -> limiter -> automatic output ->
// output gain -> meters) and the editor, over the plug-in base. A format binding creates one
// per host instance and forwards the host's calls to it.
//
// Threads: every entry holds the base's recursive mutex (see PluginBase). ProcessAudio runs on
// the host's audio thread and allocates nothing; ResetProcessing and the "Reset Meters"
// handler allocate (loudness states, RMS windows) and never run inside a block.
#pragma once

#include <array>
#include <memory>

#include "effect/AutoOutput.h"
#include "effect/Clipper.h"
#include "effect/EnvelopeFollower.h"
#include "effect/Limiter.h"
#include "effect/Loudness.h"
#include "effect/Parameters.h"
#include "effect/RMSBuffer.h"
#include "framework/PluginBase.h"

namespace qd {

class TextControl;

// What the editor shows of the meters, computed on request from the meter state.
struct MeterReadings {
  // Readout texts; an empty text means "no reading: keep what is shown".
  char rmsText[32] = {};
  char integratedText[32] = {};
  char rangeText[32] = {};
  // Bar positions, 0..1.
  double clipperReduction = 0, clipperHold = 0, limiterReduction = 0, limiterHold = 0;
  double peakLeft = 0, peakRight = 0, rmsLeft = 0, rmsRight = 0;
};

class QuarloDorvantix : public PluginBase {
 public:
  // formatCode: kFormatVst2 labels each channel, any other format labels the buses.
  explicit QuarloDorvantix(int formatCode);
  ~QuarloDorvantix() override;

  void ResetProcessing() override;
  void ParamChanged(int index, int source) override;
  // Blocks of any length: longer blocks than the engine's buffers hold run as consecutive
  // slices, each exactly as if the host had sent it as a block of its own.
  void ProcessAudio(double** inputs, double** outputs, int nFrames) override;

  MeterReadings ReadMeters() const;

  // Read-only views of the engine, for tests and tools.
  const Clipper& GetClipper() const { return *clipper_; }
  const Limiter& GetLimiter() const { return *limiter_; }
  const AutoOutput& GetAutoOutput() const { return autoOutput_; }
  double AutoReleaseMs() const { return limiter_->autoReleaseMs; }
  const EnvelopeFollower& ClipperMeterFollower() const { return clipperMeter_; }
  const EnvelopeFollower& LimiterMeterFollower() const { return limiterMeter_; }
  int HoldBlocksLeft() const { return holdBlocksLeft_; }
  const RMSBuffer& OutputRms(int channel) const { return channel == 0 ? rmsLeft_ : rmsRight_; }
  double PeakAttack() const { return peak_[0].attack; }
  double PeakRelease() const { return peak_[0].release; }
  bool HasLoudnessState() const { return loudness_ != nullptr; }
  double IntegratedLoudness() const { return lastIntegrated_; }
  double LoudnessRange() const { return lastRange_; }
  int64_t LongTermCount() const { return longTermCount_; }
  // Largest number of frames one slice of a block may hold at the current factors.
  int SliceCapacity() const;

  // For tests of very long sessions: start the long-term RMS accumulator at a given state.
  void SetLongTermAccumulator(double sumOfSquares, int64_t count);

  static constexpr int kWorkFrames = 8174;  // the interleaved work buffer holds 8174 frames

 private:
  struct PeakFollower {
    double envelope = 0.0, attack = 0.0, release = 0.0;
  };

  // Builds the editor panel and attaches it (constructor only).
  void BuildEditor();
  void ProcessSlice(double** inputs, double** outputs, int offset, int nFrames);
  void UpdateTempo();
  void ApplyAutomaticOutput(int nFrames);
  void FeedLongTermRms(int nFrames);
  void FeedLoudness(int nFrames);
  void UpdateGainReductionMeters(double clipperDb, double limiterDb, int nFrames);
  void RecreateLoudnessState();
  void RestartAutomaticOutput() { autoOutput_.Restart(); }
  void PushMetersToEditor();
  int SampleRateInt() const { return static_cast<int>(SampleRate()); }

  EnvelopeFollower clipperMeter_, limiterMeter_;
  // Editor control indices, recorded when the editor is built; -1 until then.
  int clipperBarControl_ = -1, clipperHoldControl_ = -1, limiterBarControl_ = -1,
      limiterHoldControl_ = -1, limiterKnobControl_ = -1, releaseCaptionControl_ = -1,
      clipperKnobControl_ = -1, outputCaptionControl_ = -1, peakLeftControl_ = -1,
      peakRightControl_ = -1, rmsLeftControl_ = -1, rmsRightControl_ = -1;
  // The three readouts (owned by the editor).
  TextControl* rmsText_ = nullptr;
  TextControl* integratedText_ = nullptr;
  TextControl* rangeText_ = nullptr;
  int lastBlockSize_ = 0;
  int holdBlocksLeft_ = 0;
  double clipperHold_ = 0.0, limiterHold_ = 0.0;
  // Long-term RMS: a compensated sum, and a 64-bit count so the readout stays right however
  // long a session runs.
  double longTermSum_ = 0.0, longTermCompensation_ = 0.0;
  int64_t longTermCount_ = 0;
  std::unique_ptr<Limiter> limiter_;
  std::unique_ptr<Clipper> clipper_;
  AutoOutput autoOutput_;
  // One state measures both integrated loudness and loudness range, in the library's
  // constant-memory histogram mode; it is read only when its 100 ms gating grid advances.
  std::unique_ptr<LoudnessState> loudness_;
  double lastIntegrated_ = 0.0, lastRange_ = 0.0;
  RMSBuffer rmsLeft_, rmsRight_;
  PeakFollower peak_[2];
  std::array<double, 2 * kWorkFrames> work_{};
  // The chain runs on copies of the input: the host's input buffers are never written.
  std::array<std::array<double, kWorkFrames>, 2> channels_{};
};

}  // namespace qd
