// Base of the nonlinear stages (clipper, limiter): raises a block of base-rate audio by the
// oversampling factor (zero-stuffing and an order-4 Legendre low-pass), runs the stage's
// ProcessOversampled at the raised rate, mixes and applies gains, then low-pass filters and
// takes every factor-th sample to return to the base rate, in place.
//
// Threads: every operation is called with the plug-in mutex held; nothing here locks.
// Process runs on the audio thread: it allocates nothing, does no I/O and never throws.
// SetChannelCount and CreateFilters allocate (two filters) and belong to setup paths,
// never overlapping Process. SetOversampling redesigns the filters in place and allocates
// nothing (a host may change the factor from its audio thread); it must not overlap
// Process either.
//
// Two channels at factor 1 run the stage on the caller's arrays; at a factor of 2 or more they
// run the filters in their block form (BlockForm: the
// zero-stuffing, the gains and the picking fused into the filters, both channels in one
// register, AVX2 + FMA where the processor has them); other cases, and every case after
// UseReferenceForm(true), run the plain loop: gain, zero-stuffing, processBlock, picking.
// The two agree to rounding (about 1e-15 of full scale; the tests hold them to 1e-12).
//
// Capacity: each oversampling buffer holds kBufferSamples samples per channel, so one pass
// takes MaxFramesPerPass() = kBufferSamples / factor frames (16384, 8192, 4096 at factors 1,
// 2, 4). Process takes any frame count: a larger block is worked through in consecutive
// passes with the same result as if the caller had sliced it; nFrames <= 0 does nothing.
#pragma once

#include <cstdint>
#include <memory>

#include "dsp/filters/BlockForm.h"
#include "dsp/filters/Filter.h"

namespace qd {

class AudioProcessor {
 public:
  static constexpr int kMaxChannels = 2;        // channels the buffers hold
  static constexpr int kBufferSamples = 16384;  // oversampled samples per channel and pass
  static constexpr int kMaxOversampling = 16;   // larger factors are treated as this
  static constexpr int kFilterOrder = 4;
  static constexpr double kDefaultSampleRate = 44100.0;

  AudioProcessor();
  virtual ~AudioProcessor();
  AudioProcessor(const AudioProcessor&) = delete;
  AudioProcessor& operator=(const AudioProcessor&) = delete;

  // factor = clamp(factor, 1, kMaxOversampling); redesigns both filters for it and returns
  // them to the state of new filters (also when the factor is unchanged), then
  // OnRateChange(). Allocates nothing once the filters exist.
  virtual void SetOversampling(int factor);
  virtual void SetInputGain(double dB);   // applied before upsampling
  virtual void SetOutputGain(double dB);  // applied after the stage and the mix
  virtual void SetMix(double mix);        // share of the processed signal, 1 = fully processed
  // Stores the base rate. Does not touch the filters: their design depends only on the
  // factor. A stage whose constants depend on the processing rate updates them here.
  virtual void SetSampleRate(int rate);
  virtual void SetBlockSize(int size);  // stored only
  // The stage's work: nSamples (1 .. kBufferSamples) samples of each of the kMaxChannels
  // arrays, in place, at ProcessingRate(). Both channel pointers are always valid. Audio
  // thread: must not allocate, lock or throw.
  virtual void ProcessOversampled(double** channels, int nSamples) = 0;
  // Called after the factor changes (and so the processing rate).
  virtual void OnRateChange() = 0;
  // The stage's work at the base rate on the decimated pass: nFrames frames of `channels`
  // arrays, in place, after the downsampling. Does nothing unless a stage overrides it.
  // Audio thread: must not allocate, lock or throw.
  virtual void ProcessDecimated(double* const* io, int channels, int nFrames);

  // io holds ChannelCount() arrays of nFrames samples; on return they hold the stage's
  // output at the base rate. Null io or channel pointers, and nFrames <= 0, do nothing.
  void Process(double** io, int nFrames);

  // Replaces both filters by new ones with zero state for the channel count, designed at
  // the processing rate with the cutoff at the base-rate Nyquist frequency.
  void CreateFilters();
  // The same design and state for the filters already there, allocating nothing.
  void RedesignFilters();

  // Channels processed, clamped to 1 .. kMaxChannels; recreates the filters if their channel
  // count changes. Set before SetOversampling.
  void SetChannelCount(int channels);

  int SampleRate() const { return sampleRate_; }
  int Oversampling() const { return factor_; }
  int BlockSize() const { return blockSize_; }
  int ChannelCount() const { return channelCount_; }
  double InputGain() const { return inputGain_; }
  double OutputGain() const { return outputGain_; }
  double Mix() const { return mix_; }
  // sample rate x factor, computed without integer overflow.
  double ProcessingRate() const { return static_cast<double>(sampleRate_) * factor_; }
  int MaxFramesPerPass() const { return kBufferSamples / factor_; }
  const Iir::Filter* UpFilter() const { return upFilter_.get(); }
  const Iir::Filter* DownFilter() const { return downFilter_.get(); }

  // Tests and benchmarks: run the plain reference loop instead of the block form (or, with
  // UseIsa, the block form with a chosen instruction set). Setup path only.
  void UseReferenceForm(bool reference) { referenceForm_ = reference; }
  bool UsesReferenceForm() const { return referenceForm_; }
  void UseIsa(Iir::Isa isa) {
    isa_ = isa;
    upForm_.UseIsa(isa);
    downForm_.UseIsa(isa);
  }
  Iir::Isa ActiveIsa() const { return upForm_.Ready() ? upForm_.ActiveIsa() : isa_; }

 protected:
  int32_t sampleRate_ = 44100;
  int32_t factor_ = 1;
  int32_t blockSize_ = 512;
  int32_t channelCount_ = 2;
  double outputGain_ = 1.0;
  double inputGain_ = 1.0;
  double mix_ = 1.0;
  std::unique_ptr<Iir::Filter> upFilter_;
  std::unique_ptr<Iir::Filter> downFilter_;
  std::unique_ptr<double[]> dry_[kMaxChannels];   // the upsampled input, for a mix below 1
  std::unique_ptr<double[]> work_[kMaxChannels];  // the oversampled signal the stage processes

 private:
  void ProcessPass(double* const* io, int channels, int nFrames);
  void ProcessPassReference(double* const* io, int channels, int nFrames);
  // Blends the stage's output with the dry signal kept before it, when the mix is below 1.
  void KeepDry(double* const* signal, int channels, int n);
  void ApplyMix(double* const* signal, int channels, int n);
  double* workChannels_[kMaxChannels] = {};
  // The stereo filters and their block forms (null and unusable for one channel).
  Iir::BlockForm::StereoFilter* stereoUp_ = nullptr;
  Iir::BlockForm::StereoFilter* stereoDown_ = nullptr;
  Iir::BlockForm upForm_, downForm_;
  Iir::Isa isa_ = Iir::BestIsa();
  bool referenceForm_ = false;
};

}  // namespace qd
