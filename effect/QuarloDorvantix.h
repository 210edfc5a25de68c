// The plug-in: twelve parameters, the audio engine (clipper -> limiter -> automatic output ->
// output gain -> meters) and the editor, over the plug-in base. A format binding creates one
// per host instance and forwards the host's calls to it.
//
// Threads: every entry holds the base's recursive mutex (see PluginBase). ProcessAudio runs on
// the host's audio thread and allocates nothing; so does ParamChanged, which may run there
// ("Reset Meters" restarts the loudness measurement in place). ResetProcessing allocates (RMS
// windows) and never runs inside a block. The meters
// are published once per processing call and taken whole by TakeMeters on another thread.
#pragma once

#include <array>
#include <limits>
#include <memory>

#include "effect/AutoOutput.h"
#include "effect/Clipper.h"
#include "effect/EnginePasses.h"
#include "effect/EnvelopeFollower.h"
#include "effect/Limiter.h"
#include "effect/Loudness.h"
#include "effect/Meters.h"
#include "effect/Parameters.h"
#include "effect/RMSBuffer.h"
#include "framework/PluginBase.h"
#include "framework/SnapshotExchange.h"

namespace qd {

// How the plug-in names its inputs and outputs to the host.
enum class PortLabels {
  kPerChannel,  // "main input L", "main input R", "output L", "output R" (VST2)
  kPerBus,      // "main input", "output" (AAX, LV2, VST3)
};

class QuarloDorvantix : public PluginBase, public MeterReader {
 public:
  // Builds the engine and its editor; `withEditor` false leaves the editor out (a format
  // whose editor lives in a separate object builds it there with BuildEditor).
  explicit QuarloDorvantix(PortLabels labels, bool withEditor = true);
  ~QuarloDorvantix() override;

  void ResetProcessing() override;
  void ParamChanged(int index, int source) override;
  // Blocks of any length: longer blocks than the engine's buffers hold run as consecutive
  // slices, each exactly as if the host had sent it as a block of its own.
  void ProcessAudio(double** inputs, double** outputs, int nFrames) override;

  // The meters as they stand (mutex held by the caller or no block running), and formatted.
  MeterSnapshot CurrentMeters() const;
  MeterReadings ReadMeters() const { return FormatMeterReadings(CurrentMeters()); }
  // MeterReader: the snapshot published at the end of the latest processing call.
  bool TakeMeters(MeterSnapshot* out) override;

  // Read-only views of the engine, for tests and tools.
  const Clipper& GetClipper() const { return *clipper_; }
  const Limiter& GetLimiter() const { return *limiter_; }
  const AutoOutput& GetAutoOutput() const { return autoOutput_; }
  double AutoReleaseMs() const { return limiter_->autoReleaseMs; }
  const EnvelopeFollower& ClipperMeterFollower() const { return clipperMeter_; }
  const EnvelopeFollower& LimiterMeterFollower() const { return limiterMeter_; }
  int HoldBlocksLeft() const { return holdBlocksLeft_; }
  const RMSBuffer& OutputRms(int channel) const { return channel == 0 ? rmsLeft_ : rmsRight_; }
  double PeakAttack() const { return peaks_.attack[0]; }
  double PeakRelease() const { return peaks_.release[0]; }
  bool HasLoudnessState() const { return loudness_.Prepared(); }
  double IntegratedLoudness() const { return lastIntegrated_; }
  double LoudnessRange() const { return lastRange_; }
  int64_t LongTermCount() const { return longTermCount_; }
  // Largest number of frames one slice of a block may hold at the current factors.
  int SliceCapacity() const;

  // For tests of very long sessions: start the long-term RMS accumulator at a given state.
  void SetLongTermAccumulator(double sumOfSquares, int64_t count);

  static constexpr int kWorkFrames = 8174;  // the interleaved work buffer holds 8174 frames

 private:
  void ProcessSlice(double** inputs, double** outputs, int offset, int nFrames);
  void UpdateTempo();
  void ApplyAutomaticOutput(int nFrames);
  void FeedLoudness(int nFrames);
  void UpdateGainReductionMeters(double clipperDb, double limiterDb, int nFrames);
  // Writes every field of the snapshot the audio thread publishes into `m`: all but the
  // values FinishMeterSnapshot computes from the published sums (TakeMeters finishes it).
  void FillPublishedMeters(MeterSnapshot& m) const;
  // The integrated loudness and range readings from the measurement (0 without one).
  void ReadLoudness();
  // Prepares the loudness measurement for the current rate and starts it afresh.
  void RecreateLoudnessState();
  // "Reset Meters": restarts the long-term meters, allocating nothing.
  void ResetMeters();
  void RestartAutomaticOutput() { autoOutput_.Restart(); }
  int SampleRateInt() const { return static_cast<int>(SampleRate()); }

  EnvelopeFollower clipperMeter_, limiterMeter_;
  SnapshotExchange<MeterSnapshot> published_;
  uint64_t blocksPublished_ = 0;
  uint64_t outputLevelSets_ = 0;  // blocks that set the output level automatically
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
  // Integrated loudness and loudness range in one measurement; read only when its 100 ms
  // gating grid advances.
  GatedLoudness loudness_;
  double lastIntegrated_ = 0.0, lastRange_ = 0.0;
  // The output level the output gain was last computed for (NaN: none yet), and that gain.
  double lastOutputDb_ = std::numeric_limits<double>::quiet_NaN();
  double lastOutputGain_ = 1.0;
  RMSBuffer rmsLeft_, rmsRight_;
  OutputPeaks peaks_;
  std::array<double, 2 * kWorkFrames> work_{};
  // The chain runs on copies of the input: the host's input buffers are never written.
  std::array<std::array<double, kWorkFrames>, 2> channels_{};
};

}  // namespace qd
