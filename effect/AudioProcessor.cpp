#include "effect/AudioProcessor.h"

#include <algorithm>
#include <cmath>

#include "dsp/filters/LowPass.h"

namespace qd {

namespace {

double DbToLinear(double dB) {
  return std::exp(dB * 0.1151292546497);
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
  CreateFilters();
  OnRateChange();
}

void AudioProcessor::SetInputGain(double dB) {
  inputGain_ = DbToLinear(dB);
}

void AudioProcessor::SetOutputGain(double dB) {
  outputGain_ = DbToLinear(dB);
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

  for (int c = 0; c < channels; ++c) std::copy(work_[c].get(), work_[c].get() + n, dry_[c].get());

  ProcessOversampled(workChannels_, n);

  if (mix_ != 1.0) {
    const double wet = mix_;
    const double dryShare = 1.0 - mix_;
    for (int c = 0; c < channels; ++c) {
      double* work = work_[c].get();
      double* dry = dry_[c].get();
      for (int i = 0; i < n; ++i) {
        work[i] *= wet;
        dry[i] *= dryShare;
        work[i] += dry[i];
      }
    }
  }

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
