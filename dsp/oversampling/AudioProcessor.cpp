#include "dsp/oversampling/AudioProcessor.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "dsp/filters/LowPass.h"
#include "dsp/oversampling/Gain.h"

namespace qd {

namespace {

// Whether two arrays of n samples share no sample.
bool Disjoint(const double* a, const double* b, int n) {
  const auto x = reinterpret_cast<std::uintptr_t>(a);
  const auto y = reinterpret_cast<std::uintptr_t>(b);
  const std::uintptr_t bytes = static_cast<std::uintptr_t>(n) * sizeof(double);
  return x + bytes <= y || y + bytes <= x;
}

}  // namespace

AudioProcessor::AudioProcessor() {
  for (int c = 0; c < kMaxChannels; ++c) {
    dry_[c] = std::make_unique<double[]>(kBufferSamples);
    work_[c] = std::make_unique<double[]>(kBufferSamples);
    workChannels_[c] = work_[c].get();
  }
  CreateFilters();
}

AudioProcessor::~AudioProcessor() = default;

void AudioProcessor::SetOversampling(int factor) {
  factor_ = std::clamp(factor, 1, kMaxOversampling);
  const int channels = std::clamp(static_cast<int>(channelCount_), 1, kMaxChannels);
  if (upFilter_ && downFilter_ && upFilter_->channelCount() == channels) {
    RedesignFilters();
  } else {
    CreateFilters();
  }
  OnRateChange();
}

void AudioProcessor::SetInputGain(double dB) {
  inputGain_ = DbToGain(dB);
}

void AudioProcessor::SetOutputGain(double dB) {
  outputGain_ = DbToGain(dB);
}

void AudioProcessor::SetMix(double mix) {
  mix_ = mix;
}

void AudioProcessor::SetSampleRate(int rate) {
  sampleRate_ = rate;
}

void AudioProcessor::ProcessDecimated(double* const*, int, int) {}

void AudioProcessor::SetBlockSize(int size) {
  blockSize_ = size;
}

void AudioProcessor::SetChannelCount(int channels) {
  channelCount_ = std::clamp(channels, 1, kMaxChannels);
  if (!upFilter_ || upFilter_->channelCount() != channelCount_) CreateFilters();
}

void AudioProcessor::CreateFilters() {
  upFilter_.reset();
  downFilter_.reset();
  const int channels = std::clamp(static_cast<int>(channelCount_), 1, kMaxChannels);
  upFilter_ = Iir::createLegendreLowPass(channels);
  downFilter_ = Iir::createLegendreLowPass(channels);
  using Stereo = Iir::BlockForm::StereoFilter;
  stereoUp_ = channels == 2 ? dynamic_cast<Stereo*>(upFilter_.get()) : nullptr;
  stereoDown_ = channels == 2 ? dynamic_cast<Stereo*>(downFilter_.get()) : nullptr;
  RedesignFilters();
}

void AudioProcessor::RedesignFilters() {
  // Interpolation and decimation both cut at the base-rate Nyquist frequency, designed at
  // the processing rate: cutoff / processing rate = 0.5 / factor. Only that ratio matters,
  // so a rate that is not positive (a host that has not set one yet) designs the same
  // filters at the default rate instead of dividing zero by zero.
  const double rate = sampleRate_ > 0 ? static_cast<double>(sampleRate_) : kDefaultSampleRate;
  Iir::FilterParams params;
  params[0] = rate * factor_;
  params[1] = kFilterOrder;
  params[2] = rate * 0.5;
  upFilter_->applyParams(params);
  downFilter_->applyParams(params);
  upFilter_->resetState();
  downFilter_->resetState();

  upForm_ = Iir::BlockForm{};
  downForm_ = Iir::BlockForm{};
  if (stereoUp_ && stereoDown_ && factor_ >= 2) {
    upForm_.Design(*stereoUp_, factor_);
    downForm_.Design(*stereoDown_, factor_);
    UseIsa(isa_);  // a kernel chosen for tests stays chosen across redesigns
  }
}

void AudioProcessor::Process(double** io, int nFrames) {
  if (io == nullptr || nFrames <= 0 || !upFilter_ || !downFilter_) return;
  const int channels = std::min(std::clamp(static_cast<int>(channelCount_), 1, kMaxChannels),
                                upFilter_->channelCount());
  for (int c = 0; c < channels; ++c) {
    if (io[c] == nullptr) return;
  }
  // Blocks beyond one pass of the buffers run as consecutive passes; the filters and the
  // stage carry their state across, so the result equals the caller slicing the block.
  const int passFrames = MaxFramesPerPass();
  double* pass[kMaxChannels] = {};
  for (int start = 0; start < nFrames; start += passFrames) {
    for (int c = 0; c < channels; ++c) pass[c] = io[c] + start;
    ProcessPass(pass, channels, std::min(passFrames, nFrames - start));
  }
}

void AudioProcessor::ProcessPass(double* const* io, int channels, int nFrames) {
  const int f = factor_;
  if (!referenceForm_ && channels == 2 && f == 1 && Disjoint(io[0], io[1], nFrames)) {
    // At the base rate the stage runs on the caller's arrays: the same operations as the
    // reference loop without its two copies.
    double* ch[2] = {io[0], io[1]};
    if (inputGain_ != 1.0) {
      for (int c = 0; c < 2; ++c) {
        for (int k = 0; k < nFrames; ++k) ch[c][k] *= inputGain_;
      }
    }
    KeepDry(ch, channels, nFrames);
    ProcessOversampled(ch, nFrames);
    ApplyMix(ch, channels, nFrames);
    if (outputGain_ != 1.0) {
      for (int c = 0; c < 2; ++c) {
        for (int k = 0; k < nFrames; ++k) ch[c][k] *= outputGain_;
      }
    }
    ProcessDecimated(io, channels, nFrames);
    return;
  }
  const bool blockForm = !referenceForm_ && channels == 2 && f >= 2 && upForm_.Ready() &&
                         downForm_.Ready() && upForm_.Factor() == f;
  if (!blockForm) {
    ProcessPassReference(io, channels, nFrames);
    return;
  }
  const int n = nFrames * f;
  double* work[2] = {work_[0].get(), work_[1].get()};
  // (gain x input) x factor, zero-stuffed and filtered, in one step.
  upForm_.Interpolate(*stereoUp_, io[0], io[1], inputGain_, static_cast<double>(f), work[0],
                      work[1], nFrames);
  KeepDry(workChannels_, channels, n);
  ProcessOversampled(workChannels_, n);
  ApplyMix(workChannels_, channels, n);
  // The output gain, the low-pass and the picking in one step.
  downForm_.Decimate(*stereoDown_, work[0], work[1], outputGain_, io[0], io[1], nFrames);
  ProcessDecimated(io, channels, nFrames);
}

void AudioProcessor::KeepDry(double* const* signal, int channels, int n) {
  if (mix_ == 1.0) return;
  for (int c = 0; c < channels; ++c) std::copy(signal[c], signal[c] + n, dry_[c].get());
}

void AudioProcessor::ApplyMix(double* const* signal, int channels, int n) {
  if (mix_ == 1.0) return;
  const double wet = mix_;
  const double dryShare = 1.0 - mix_;
  for (int c = 0; c < channels; ++c) {
    double* work = signal[c];
    double* dry = dry_[c].get();
    for (int i = 0; i < n; ++i) {
      work[i] *= wet;
      dry[i] *= dryShare;
      work[i] += dry[i];
    }
  }
}

void AudioProcessor::ProcessPassReference(double* const* io, int channels, int nFrames) {
  const int f = factor_;
  const int n = nFrames * f;

  if (inputGain_ != 1.0) {
    for (int c = 0; c < channels; ++c) {
      for (int k = 0; k < nFrames; ++k) io[c][k] *= inputGain_;
    }
  }

  // Upsample: zero-stuffing scaled by the factor keeps unity gain through the interpolator.
  if (f < 2) {
    for (int c = 0; c < channels; ++c) std::copy(io[c], io[c] + nFrames, work_[c].get());
  } else {
    const double scale = static_cast<double>(f);
    for (int c = 0; c < channels; ++c) {
      double* work = work_[c].get();
      for (int k = 0; k < nFrames; ++k) {
        work[k * f] = scale * io[c][k];
        for (int j = 1; j < f; ++j) work[k * f + j] = 0.0;
      }
    }
    upFilter_->processBlock(n, workChannels_);
  }

  KeepDry(workChannels_, channels, n);
  ProcessOversampled(workChannels_, n);
  ApplyMix(workChannels_, channels, n);

  if (outputGain_ != 1.0) {
    for (int c = 0; c < channels; ++c) {
      double* work = work_[c].get();
      for (int i = 0; i < n; ++i) work[i] *= outputGain_;
    }
  }

  // Downsample: low-pass, then keep the first of every f samples.
  if (f < 2) {
    for (int c = 0; c < channels; ++c) std::copy(work_[c].get(), work_[c].get() + n, io[c]);
  } else {
    downFilter_->processBlock(n, workChannels_);
    for (int c = 0; c < channels; ++c) {
      const double* work = work_[c].get();
      for (int k = 0; k < nFrames; ++k) io[c][k] = work[k * f];
    }
  }
  ProcessDecimated(io, channels, nFrames);
}

}  // namespace qd
