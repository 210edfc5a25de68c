// The format-neutral driver the validator suites run through: each format supplies a driver
// (Vst2Driver.h, aax/AaxDriver.h) that makes instances of the built module and drives them as
// that format's host does, and a suite written once in suites/ runs over any driver. A new
// binding reuses the suites by writing its driver.
//
// A driver type D provides:
//   using Sample = ...;                  // the host's sample type
//   struct Instance {                    // one plug-in instance, started at (rate, block)
//     int Channels() const;              // channels the instance reads and writes
//     void SetParam(int index, double normalized);  // host automation
//     void Process(std::vector<Sample> (&in)[2], std::vector<Sample> (&out)[2], int n);
//     void AfterBlock();                 // what the host does between blocks
//     double Ceiling();                  // the output bound at the running settings
//     void ExpectParamsValid();          // every parameter reads back as 0..1 (gtest asserts)
//   };
//   // Two instances alike in every setting the driver chooses (channels, precision).
//   std::pair<std::unique_ptr<Instance>, std::unique_ptr<Instance>> CreatePair(Seeded&, double
//       rate, int block);
#pragma once

#include <vector>

#include "tests/validator/Random.h"

namespace qd::validator {

// Host-owned stereo buffers of a driver's sample type; never empty, so data() is valid.
template <typename Sample>
struct DriverBuffers {
  std::vector<Sample> in[2], out[2];
  void Resize(int n) {
    for (int c = 0; c < 2; ++c) {
      in[c].assign(static_cast<size_t>(n) + 1, Sample{});
      out[c].assign(static_cast<size_t>(n) + 1, Sample{});
    }
  }
};

template <typename Sample>
void FillFrom(Program& program, DriverBuffers<Sample>& b, int n, double rate) {
  for (int k = 0; k < n; ++k) {
    double l = 0.0, r = 0.0;
    program.Next(rate, l, r);
    b.in[0][k] = static_cast<Sample>(l);
    b.in[1][k] = static_cast<Sample>(r);
  }
}

}  // namespace qd::validator
