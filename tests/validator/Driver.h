// The format-neutral driver the validator suites run through: each format supplies a driver
// (Vst2Driver.h, aax/AaxDriver.h) that makes instances of the built module and drives them as
// that format's host does, and a suite written once in suites/ runs over any driver. A new
// binding reuses the suites by writing its driver. Where the formats legitimately differ
// (how a state is saved and damaged, which calls a host makes between blocks, whether the
// audio thread automates), the driver answers the difference and the suite stays one.
//
// A driver type D provides:
//   using Sample = ...;        // the host's sample type
//   struct State { bool program; std::vector<uint8_t> bytes; };  // a saved state
//   static constexpr bool kAutomatesOnAudioThread;  // the host sets parameters in its
//                                                  // audio callback (else on its main thread)
//   static constexpr bool kRestoreReadsBackAsSaved;  // after a restore the host reads every
//                                                    // value exactly as it read it at the save
//   struct Instance {          // one plug-in instance, started at a rate and maximum block
//     int Channels() const;    // channels the instance reads and writes
//     double Rate() const;
//     void Restart(double rate, int block);  // start again, where the format lets a host
//     void SetParam(int index, double normalized);  // host automation
//     std::vector<double> ReadParams();             // every normalised value the host reads
//     void Process(std::vector<Sample> (&in)[2], std::vector<Sample> (&out)[2], int n);
//     void VaryBetweenBlocks(std::mt19937_64&);     // a host's choice per block (entry used)
//     void AfterBlock();       // what the host does between blocks (delivers what was posted)
//     void MainThreadCycle();  // the part of it the host's main thread does while audio runs
//     double Ceiling();        // the output bound at the running settings
//     bool Bypassed();         // the host's bypass is on: the block is its input
//     void ExpectParamsValid();  // every parameter reads back as 0..1 (gtest asserts)
//     void OpenEditor(void* parent); void EditorIdle(std::mt19937_64&); void CloseEditor();
//     void ExpectEditorSize();   // the size the host is told before opening (gtest asserts)
//     State Save(bool program);  // empty bytes when the plug-in gave none
//     bool Restore(const State&);  // the plug-in accepted the state
//     std::optional<bool> Compare(const State&);  // nullopt where the format has no compare
//     void StateEvents(Seeded&);   // other calls a host makes around saving and restoring
//     void BeforeClose(Seeded&);   // what a host may do before it closes an instance
//   };
//   // One instance, or null (gtest records why); the driver picks its variant (entry point,
//   // channel layout) from the generator. Callable from several threads at once.
//   std::unique_ptr<Instance> Create(std::mt19937_64&, double rate, int block);
//   // Two instances alike in every setting the driver chooses (channels, precision).
//   std::pair<std::unique_ptr<Instance>, std::unique_ptr<Instance>> CreatePair(Seeded&, double
//       rate, int block);
//   void ExpectInstancesAlive();   // the module knows instances are alive (gtest asserts)
//   State Damage(State, Seeded&);  // the state as a damaged project hands it back
//   // The format's host calls between blocks while automating: valid and hostile parameter
//   // calls, and what else its hosts do (suspend, rate changes, transport, a session's rate
//   // changing, which may make the instance anew from its state).
//   void HostileCalls(std::unique_ptr<Instance>&, Seeded&, int& maxBlock);
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <random>
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

// Sets every parameter but the meter reset to a random valid value, as host automation.
template <typename Instance>
void RandomiseParams(Instance& instance, Seeded& s) {
  for (int p = 0; p < kParamCount; ++p) {
    if (p == kResetMeters) continue;
    instance.SetParam(p, s.Real(0.0, 1.0));
  }
}

}  // namespace qd::validator
