// The meter values the engine publishes once per block, and the interface through which the
// editor (or any reader apart from the processor) takes them.
//
// Threads: the engine publishes on the audio thread at the end of each processing call; a
// MeterReader is read from one other thread (the editor's tick), which takes the latest
// snapshot whole without waiting for the audio thread and without a lock. Formatting the
// readout texts happens on the reader's side.
#pragma once

#include <cstdint>

#include "effect/RMSBuffer.h"

namespace qd {

// Raw meter state, in physical units.
struct MeterSnapshot {
  bool hasRms = false;              // false until the first sample was measured
  double rmsDb = 0.0;               // long-term RMS of the output, dBFS
  double integratedLufs = 0.0;      // integrated loudness
  double rangeLu = 0.0;             // loudness range
  double clipperReductionDb = 0.0;  // gain-reduction meter envelopes and their holds, dB
  double clipperHoldDb = 0.0;
  double limiterReductionDb = 0.0;
  double limiterHoldDb = 0.0;
  double peakLeft = 0.0, peakRight = 0.0;  // output peak followers, linear
  double rmsLeft = 0.0, rmsRight = 0.0;    // output RMS windows, linear
  // How many blocks so far set the output level from the automatic output level. The editor
  // shows the parameter's value when this moves, so the audio thread never touches it.
  uint64_t outputLevelSets = 0;
  uint64_t block = 0;  // counts the published blocks

  // What rmsDb, rmsLeft and rmsRight are computed from. The engine publishes these and the
  // reader's side computes the three (FinishMeterSnapshot), so the audio thread's block does
  // not pay for square roots and logarithms nobody may read.
  double longTermSum = 0.0;  // compensated sum of squares: sum + compensation
  double longTermCompensation = 0.0;
  int64_t longTermCount = 0;  // samples summed
  RMSBuffer::Totals rmsLeftTotals{}, rmsRightTotals{};
};

// Computes rmsDb (when hasRms), rmsLeft and rmsRight from the published sums (pure; any
// thread; the same values the engine would compute itself).
void FinishMeterSnapshot(MeterSnapshot& snapshot);

// What the editor shows of the meters.
struct MeterReadings {
  // Readout texts; an empty text means "no reading: keep what is shown".
  char rmsText[32] = {};
  char integratedText[32] = {};
  char rangeText[32] = {};
  // Bar positions, 0..1.
  double clipperReduction = 0, clipperHold = 0, limiterReduction = 0, limiterHold = 0;
  double peakLeft = 0, peakRight = 0, rmsLeft = 0, rmsRight = 0;
};

// The readout texts and bar positions for a snapshot (pure; any thread).
MeterReadings FormatMeterReadings(const MeterSnapshot& snapshot);

// Implemented by the engine (and by whatever carries its meters to a separate user
// interface); read by the editor on its tick.
class MeterReader {
 public:
  // Copies the latest published snapshot into *out; false when nothing new was published
  // since the previous call. One reader thread at a time; never waits.
  virtual bool TakeMeters(MeterSnapshot* out) = 0;

 protected:
  ~MeterReader() = default;
};

}  // namespace qd
