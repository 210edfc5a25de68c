// Measures a stereo (or any-channel) signal the way the report shows it: integrated
// loudness and loudness range through libebur128, sample peak and RMS over all channels.
// Fed interleaved frames block by block; independent of any plug-in's own meters.
#pragma once

#include <ebur128.h>

#include <cstdint>
#include <string>

namespace qd::host {

struct Measurement {
  double integratedLufs = 0.0;  // -inf for silence or a signal shorter than 400 ms
  double rangeLu = 0.0;
  double samplePeakDb = 0.0;  // dBFS of the largest absolute sample
  double rmsDb = 0.0;         // dBFS of the RMS over all samples of all channels
  int64_t frames = 0;
};

class Meter {
 public:
  Meter(int channels, int sampleRate);
  ~Meter();
  Meter(const Meter&) = delete;
  Meter& operator=(const Meter&) = delete;

  void Add(const double* interleaved, int frames);
  Measurement Result() const;

 private:
  ebur128_state* state_ = nullptr;
  int channels_;
  double peak_ = 0.0;
  double sumSquares_ = 0.0;
  int64_t frames_ = 0;
};

// "-14.02" or "-inf".
std::string FormatDb(double db);

}  // namespace qd::host
