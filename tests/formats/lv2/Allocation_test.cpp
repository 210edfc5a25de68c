// Counts heap allocations made inside run calls of the LV2 binary: with the heaviest
// settings, control changes, tempo changes, hostile values and block sizes from none to
// several times the announced maximum, run allocates nothing. The program exports its
// allocation functions, so the loaded binary's allocations are counted too (shown by
// deactivation, which prepares fresh loudness states).
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <thread>

#include "LilvHost.h"
#include "tests/support/AllocationCounter.h"

namespace {

using qd::testing::CountAllocations;
using qd::testing::HostOptions;
using qd::testing::Lv2Instance;

TEST(Lv2Allocation, RunAllocatesNothing) {
  Lv2Instance p(HostOptions{48000.0, 1024, true});
  ASSERT_TRUE(p.Ok());
  CountAllocations(true);
  lilv_instance_deactivate(p.Instance());
  EXPECT_GT(CountAllocations(false), 0) << "the binary's allocations are not seen";
  lilv_instance_activate(p.Instance());
  // Both stages oversampled 4x, the automatic output level by momentary loudness.
  p.controls[2] = 2.0f;
  p.controls[6] = 2.0f;
  p.controls[8] = 1.0f;
  p.controls[10] = 2.0f;
  for (int k = 0; k < Lv2Instance::kCapacity; ++k) {
    p.In(0)[k] = 1.5f * std::sin(0.031f * static_cast<float>(k));
    p.In(1)[k] = 1.2f * std::sin(0.017f * static_cast<float>(k));
  }
  p.Run(1024);

  constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
  constexpr float kInf = std::numeric_limits<float>::infinity();
  const uint32_t sizes[] = {0, 1, 64, 512, 1024, 1025, 5000};
  long made = 0;
  for (int block = 0; block < 120; ++block) {
    // Changes the engine applies in place: levels, release, switches, target, hostile values.
    p.controls[0] = static_cast<float>(block % 25) - 5.0f;
    p.controls[3] = block % 7 == 0 ? kInf : static_cast<float>(block % 13);
    p.controls[1] = static_cast<float>(block % 2);
    p.controls[4] = static_cast<float>((block / 3) % 2);
    p.controls[5] = block % 11 == 0 ? kNaN : static_cast<float>(10 + block);
    p.controls[7] = -static_cast<float>(block % 30);
    p.controls[9] = block % 5 == 0 ? -1e30f : -static_cast<float>(block % 40);
    if (block % 4 == 0) p.SetTempo(80.0f + static_cast<float>(block));
    // The oversampling factors move through 1x, 2x and 4x, each stage on its own beat.
    if (block % 9 == 0) p.controls[2] = static_cast<float>((block / 9) % 3);
    if (block % 6 == 0) p.controls[6] = static_cast<float>((block / 6 + 1) % 3);
    CountAllocations(true);
    p.Run(sizes[block % std::size(sizes)]);
    made += CountAllocations(false);
  }
  EXPECT_EQ(made, 0);
}

TEST(Lv2Allocation, ResetMetersFromTheHostAllocatesNothingInRunGivenAWorker) {
  Lv2Instance p(HostOptions{48000.0, 1024, true, true});
  ASSERT_TRUE(p.Ok());
  for (int k = 0; k < 1024; ++k) p.In(0)[k] = p.In(1)[k] = 0.5f * std::sin(0.02f * k);
  for (int b = 0; b < 50; ++b) p.Run(1024);  // a second of audio: a loudness reading
  ASSERT_GT(p.meters[qd::lv2::kMeterIntegrated], -70.0f);
  long made = 0;
  int jobs = 0;
  for (int press = 0; press < 6; ++press) {
    p.controls[11] = static_cast<float>(press % 2);  // "Reset Meters" pressed, released
    CountAllocations(true);
    p.Run(1024);
    made += CountAllocations(false);
    jobs += p.RunWork();  // the fresh loudness state is prepared in the worker
  }
  EXPECT_EQ(made, 0);
  EXPECT_EQ(jobs, 5);  // one per change of the port (the first press starts from "off")
  // The last reset left a fresh measurement: no integrated loudness within 400 ms.
  p.Run(1024);
  EXPECT_EQ(p.meters[qd::lv2::kMeterIntegrated], -70.0f);
}

// A host without a worker: the binding's own thread prepares the fresh states, so every
// press still resets the measurement and run still allocates nothing.
TEST(Lv2Allocation, ResetMetersWithoutAWorkerAllocatesNothingInRun) {
  Lv2Instance p(HostOptions{48000.0, 1024, true, false});
  ASSERT_TRUE(p.Ok());
  for (int k = 0; k < 1024; ++k) p.In(0)[k] = p.In(1)[k] = 0.5f * std::sin(0.02f * k);
  long made = 0;
  for (int press = 1; press <= 4; ++press) {
    for (int b = 0; b < 50; ++b) p.Run(1024);  // a second of audio: a loudness reading
    ASSERT_GT(p.meters[qd::lv2::kMeterIntegrated], -70.0f) << "press " << press;
    p.controls[11] = static_cast<float>(press % 2);
    CountAllocations(true);
    p.Run(1024);
    made += CountAllocations(false);
    p.Run(1024);
    EXPECT_EQ(p.meters[qd::lv2::kMeterIntegrated], -70.0f) << "press " << press;
    // Time for the binding's thread to prepare the next spare.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  EXPECT_EQ(made, 0);
}

}  // namespace
