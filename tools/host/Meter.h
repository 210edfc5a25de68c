// Measures a stereo (or any-channel) signal the way the report shows it, through
// libebur128: integrated loudness, loudness range, true peak (4x oversampled below 96 kHz),
// the largest momentary (400 ms) and short-term (3 s) loudness, and, from the samples
// themselves, sample peak and RMS over all channels. Fed interleaved frames block by block;
// independent of any plug-in's own meters. Every 100 ms of signal it records the
// short-term loudness and the true peak of those 100 ms, for the report picture.
#pragma once

#include <ebur128.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace qd::host {

struct Measurement {
  double integratedLufs = 0.0;  // -inf for silence or a signal shorter than 400 ms
  double rangeLu = 0.0;
  double samplePeakDb = 0.0;  // dBFS of the largest absolute sample
  double truePeakDb = 0.0;    // dBTP, the largest reconstructed peak of any channel
  double maxMomentaryLufs = 0.0;
  double maxShortTermLufs = 0.0;
  double rmsDb = 0.0;  // dBFS of the RMS over all samples of all channels
  int64_t frames = 0;
  int sampleRate = 0;
  // One value per 100 ms step (kStepSeconds): short-term loudness at the end of the step
  // (-inf while silent) and the step's own true peak in dBTP.
  std::vector<double> shortTermLufs;
  std::vector<double> stepTruePeakDb;

  // Peak-to-loudness ratio: true peak over integrated loudness, in dB.
  double PlrDb() const { return truePeakDb - integratedLufs; }
};

constexpr double kStepSeconds = 0.1;

class Meter {
 public:
  Meter(int channels, int sampleRate);
  ~Meter();
  Meter(const Meter&) = delete;
  Meter& operator=(const Meter&) = delete;

  void Add(const double* interleaved, int frames);
  Measurement Result() const;

 private:
  void EndStep();

  ebur128_state* state_ = nullptr;
  int channels_;
  int sampleRate_;
  int stepFrames_;
  int inStep_ = 0;  // frames added since the last step ended
  double peak_ = 0.0;
  double sumSquares_ = 0.0;
  int64_t frames_ = 0;
  double stepTruePeak_ = 0.0;  // linear, largest of the calls within the current step
  double maxMomentary_ = -HUGE_VAL;
  double maxShortTerm_ = -HUGE_VAL;
  std::vector<double> shortTerm_, stepTruePeakDb_;
};

// Measures frames held in memory.
Measurement MeasureFrames(const std::vector<double>& interleaved, int channels, int sampleRate);

// "-14.02" or "-inf".
std::string FormatDb(double db);

}  // namespace qd::host
