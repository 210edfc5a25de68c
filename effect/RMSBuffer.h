// Ring buffers of doubles for windowed RMS measurement.
// Audio thread: Push and the RMS read allocate nothing; Resize allocates and is called from
// ResetProcessing only.
#pragma once

#include <cstdint>
#include <memory>

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
  // Called for every item replaced, before it is overwritten.
  virtual void OnReplace(double oldValue, double newValue) { (void)oldValue, (void)newValue; }
  void Allocate(int size);

  std::unique_ptr<double[]> items_;
  int32_t size_ = 0;
  int32_t position_ = 0;
};

// A window of the last `ms` milliseconds of samples at the given rate. The sum of squares is
// kept up to date per pushed sample (compensated, so rounding does not accumulate) and
// re-summed exactly each time the window wraps, so reading the RMS costs O(1) and agrees with
// a full re-sum of the window to within about 1e-15 (relative); a window of zeros reads 0.
class RMSBuffer : public CircularBuffer {
 public:
  void SetSampleRate(int rate) { sampleRate_ = rate; }
  int SampleRate() const { return sampleRate_; }
  // size = trunc(rate x ms / 1000); all items 0, position 0, last value 0.
  void Resize(double ms);
  // sqrt(sum of squares of the whole window / size); 0 for an empty window.
  double Rms() const;
  // Rms(), also stored as the last value.
  double UpdateRms() { return lastRms_ = Rms(); }
  double LastRms() const { return lastRms_; }
  // A full re-sum of the window, for tests and the wrap.
  double ExactSumOfSquares() const;

 protected:
  void OnWrap(const double* items, int lastIndex) override;
  void OnReplace(double oldValue, double newValue) override;

 private:
  void AddToSum(double term);

  int32_t sampleRate_ = 44100;
  double lastRms_ = 0.0;
  double sum_ = 0.0;           // running sum of squares
  double compensation_ = 0.0;  // rounding error of sum_, carried separately
  int32_t nonZero_ = 0;        // items in the window that are not zero
};

}  // namespace qd
