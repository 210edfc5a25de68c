#include "tools/host/Meter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "tools/host/HostError.h"

namespace qd::host {

namespace {

double ToDb(double linear) {
  return linear > 0.0 ? 20.0 * std::log10(linear) : -HUGE_VAL;
}

}  // namespace

Meter::Meter(int channels, int sampleRate)
    : channels_(channels),
      sampleRate_(sampleRate),
      stepFrames_(std::max(1, static_cast<int>(std::lround(sampleRate * kStepSeconds)))) {
  state_ = ebur128_init(static_cast<unsigned>(channels), static_cast<unsigned long>(sampleRate),
                        EBUR128_MODE_I | EBUR128_MODE_LRA | EBUR128_MODE_TRUE_PEAK);
  if (!state_) {
    throw HostError("cannot measure loudness of " + std::to_string(channels) + " channels at " +
                    std::to_string(sampleRate) + " Hz");
  }
}

Meter::~Meter() {
  ebur128_destroy(&state_);
}

void Meter::Add(const double* interleaved, int frames) {
  if (frames <= 0) return;
  const int64_t n = static_cast<int64_t>(frames) * channels_;
  for (int64_t i = 0; i < n; ++i) {
    const double v = interleaved[i];
    peak_ = std::max(peak_, std::fabs(v));
    sumSquares_ += v * v;
  }
  frames_ += frames;
  // Fed in pieces that end on the 100 ms steps, so each step's figures are its own.
  while (frames > 0) {
    const int take = std::min(frames, stepFrames_ - inStep_);
    ebur128_add_frames_double(state_, interleaved, static_cast<size_t>(take));
    for (int c = 0; c < channels_; ++c) {
      double tp = 0.0;
      if (ebur128_prev_true_peak(state_, static_cast<unsigned>(c), &tp) == EBUR128_SUCCESS) {
        stepTruePeak_ = std::max(stepTruePeak_, tp);
      }
    }
    interleaved += static_cast<size_t>(take) * channels_;
    frames -= take;
    inStep_ += take;
    if (inStep_ == stepFrames_) EndStep();
  }
}

void Meter::EndStep() {
  double momentary = -HUGE_VAL, shortTerm = -HUGE_VAL;
  if (ebur128_loudness_momentary(state_, &momentary) != EBUR128_SUCCESS) momentary = -HUGE_VAL;
  if (ebur128_loudness_shortterm(state_, &shortTerm) != EBUR128_SUCCESS) shortTerm = -HUGE_VAL;
  // The windows are only complete once 400 ms and 3 s have been added.
  const int64_t steps = static_cast<int64_t>(shortTerm_.size()) + 1;
  if (steps >= 4) maxMomentary_ = std::max(maxMomentary_, momentary);
  if (steps >= 30) maxShortTerm_ = std::max(maxShortTerm_, shortTerm);
  shortTerm_.push_back(shortTerm);
  stepTruePeakDb_.push_back(ToDb(stepTruePeak_));
  stepTruePeak_ = 0.0;
  inStep_ = 0;
}

Measurement Meter::Result() const {
  Measurement m;
  double value = 0.0;
  m.integratedLufs = ebur128_loudness_global(state_, &value) == EBUR128_SUCCESS ? value : -HUGE_VAL;
  m.rangeLu = ebur128_loudness_range(state_, &value) == EBUR128_SUCCESS ? value : 0.0;
  double truePeak = 0.0;
  for (int c = 0; c < channels_; ++c) {
    if (ebur128_true_peak(state_, static_cast<unsigned>(c), &value) == EBUR128_SUCCESS) {
      truePeak = std::max(truePeak, value);
    }
  }
  // The reconstruction never reads below the samples themselves.
  m.truePeakDb = ToDb(std::max(truePeak, peak_));
  m.samplePeakDb = ToDb(peak_);
  m.maxMomentaryLufs = maxMomentary_;
  m.maxShortTermLufs = maxShortTerm_;
  // A signal shorter than a whole window has its only (partial) window as its largest.
  if (std::isinf(m.maxMomentaryLufs) &&
      ebur128_loudness_momentary(state_, &value) == EBUR128_SUCCESS) {
    m.maxMomentaryLufs = value;
  }
  if (std::isinf(m.maxShortTermLufs)) {
    for (double s : shortTerm_) m.maxShortTermLufs = std::max(m.maxShortTermLufs, s);
  }
  const double samples = static_cast<double>(frames_) * channels_;
  m.rmsDb =
      (samples > 0 && sumSquares_ > 0.0) ? 10.0 * std::log10(sumSquares_ / samples) : -HUGE_VAL;
  m.frames = frames_;
  m.sampleRate = sampleRate_;
  m.shortTermLufs = shortTerm_;
  m.stepTruePeakDb = stepTruePeakDb_;
  if (inStep_ > 0) {  // the last, partial step
    if (ebur128_loudness_shortterm(state_, &value) != EBUR128_SUCCESS) value = -HUGE_VAL;
    m.shortTermLufs.push_back(value);
    m.stepTruePeakDb.push_back(ToDb(stepTruePeak_));
  }
  return m;
}

Measurement MeasureFrames(const std::vector<double>& interleaved, int channels, int sampleRate) {
  Meter meter(channels, sampleRate);
  const int64_t frames = static_cast<int64_t>(interleaved.size()) / channels;
  for (int64_t pos = 0; pos < frames; pos += 65536) {
    const int n = static_cast<int>(std::min<int64_t>(65536, frames - pos));
    meter.Add(interleaved.data() + pos * channels, n);
  }
  return meter.Result();
}

std::string FormatDb(double db) {
  if (!std::isfinite(db)) return db < 0 ? "-inf" : "inf";
  char text[64];
  // A value that rounds to zero shows as 0.00, never -0.00.
  std::snprintf(text, sizeof(text), "%.2f", std::fabs(db) < 0.005 ? 0.0 : db);
  return text;
}

}  // namespace qd::host
