// Ring buffers of doubles for windowed RMS measurement.
// Audio thread: Push and the RMS read allocate nothing; Resize allocates and is called from
// ResetProcessing only.
#pragma once

#include <cstdint>
#include <memory>

#include "effect/RMSKernels.h"

namespace qd {

class CircularBuffer {
 public:
  virtual ~CircularBuffer() = default;
  void Push(const double* samples, int count);
  int Size() const { return size_; }
  int WritePosition() const { return position_; }
  const double* Items() const { return items_.get(); }

 protected:
  // Called when the write position wraps, with the index just written (size - 1).
  virtual void OnWrap(const double* items, int lastIndex) { (void)items, (void)lastIndex; }
  void Allocate(int size);

  std::unique_ptr<double[]> items_;
  int32_t size_ = 0;
  int32_t position_ = 0;
};

// A window of the last `ms` milliseconds of samples at the given rate. The sum of squares is
// kept up to date per pushed sample and re-summed each time the window wraps, so reading the
// RMS costs O(1) and agrees with a full re-sum of the window to within about 1e-15
// (relative), also when quiet audio follows loud audio; a window of zeros reads exactly 0.
//
// Since the last wrap, the squares added and the squares removed are summed separately, each
// in kLanes independent compensated accumulators (exact two-sum error terms), so the work per
// sample has no long dependency chain and vectorises.
class RMSBuffer : public CircularBuffer {
 public:
  // Pushes samples, keeping the sum of squares of the window up to date.
  void Push(const double* samples, int count);
  void SetSampleRate(int rate) { sampleRate_ = rate; }
  int SampleRate() const { return sampleRate_; }
  // size = trunc(rate x ms / 1000); all items 0, position 0, last value 0.
  void Resize(double ms);
  // sqrt(sum of squares of the whole window / size); 0 for an empty window.
  double Rms() const;
  // The sum of squares of the whole window (compensated); exactly 0 for a window of zeros.
  double SumOfSquares() const;
  // Rms(), also stored as the last value.
  double UpdateRms() { return lastRms_ = Rms(); }
  double LastRms() const { return lastRms_; }
  // A plain full re-sum of the window, for tests.
  double ExactSumOfSquares() const;

  // The window's running sums as they stand: a plain copy the audio thread can hand to
  // another thread, which computes the window's RMS from it (RmsOf(CaptureTotals()) is
  // Rms(), to the bit).
  struct Totals {
    double addedSum[4], addedCompensation[4], removedSum[4], removedCompensation[4];
    int32_t size, nonZero;
  };
  Totals CaptureTotals() const;
  static double RmsOf(const Totals& totals);

 protected:
  void OnWrap(const double* items, int lastIndex) override;

 private:
  static constexpr int kLanes = 4;
  struct Accumulator {
    double sum[kLanes] = {};
    double compensation[kLanes] = {};
  };
  void ClearSums();
  // The running sums, for the inner loops (effect/RMSKernels.h).
  detail::LaneSums Lanes();
  void PushSegment(const double* samples, double* items, int count);

  int32_t sampleRate_ = 44100;
  double lastRms_ = 0.0;
  Accumulator added_, removed_;
  int32_t lane_ = 0;     // lane of the next sample
  int32_t nonZero_ = 0;  // items in the window that are not zero
};

}  // namespace qd
