#include "tools/host/Meter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "tools/host/HostError.h"

namespace qd::host {

Meter::Meter(int channels, int sampleRate) : channels_(channels) {
  state_ = ebur128_init(static_cast<unsigned>(channels), static_cast<unsigned long>(sampleRate),
                        EBUR128_MODE_I | EBUR128_MODE_LRA);
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
  ebur128_add_frames_double(state_, interleaved, static_cast<size_t>(frames));
  const int64_t n = static_cast<int64_t>(frames) * channels_;
  for (int64_t i = 0; i < n; ++i) {
    const double v = interleaved[i];
    peak_ = std::max(peak_, std::fabs(v));
    sumSquares_ += v * v;
  }
  frames_ += frames;
}

Measurement Meter::Result() const {
  Measurement m;
  double value = 0.0;
  m.integratedLufs = ebur128_loudness_global(state_, &value) == EBUR128_SUCCESS ? value : -HUGE_VAL;
  m.rangeLu = ebur128_loudness_range(state_, &value) == EBUR128_SUCCESS ? value : 0.0;
  m.samplePeakDb = peak_ > 0.0 ? 20.0 * std::log10(peak_) : -HUGE_VAL;
  const double samples = static_cast<double>(frames_) * channels_;
  m.rmsDb =
      (samples > 0 && sumSquares_ > 0.0) ? 10.0 * std::log10(sumSquares_ / samples) : -HUGE_VAL;
  m.frames = frames_;
  return m;
}

std::string FormatDb(double db) {
  if (!std::isfinite(db)) return db < 0 ? "-inf" : "inf";
  char text[64];
  std::snprintf(text, sizeof(text), "%.2f", db);
  return text;
}

}  // namespace qd::host
