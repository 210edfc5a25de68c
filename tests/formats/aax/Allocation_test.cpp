// Counts heap allocations made inside render calls: once the block length is settled, the
// render path (bypassed or not, with MIDI and the transport node) makes none.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <new>

#include "AaxTestSupport.h"

#include "tests/support/AllocationCounter.h"

namespace {

TEST(AaxAllocation, RenderAllocatesNothingOnceTheBlockLengthIsSettled) {
  auto* params =
      new qd::AAX_CPluginParameters(std::make_unique<qd::QuarloDorvantix>(qd::PortLabels::kPerBus));
  sim::Instance inst(static_cast<aax::IEffectParameters*>(params), &qd::RenderDispatch, nullptr,
                     aax::kStemStereo, aax::kStemStereo, 48000.0);
  // Oversampled stages, so the heaviest path runs.
  inst.Params()->UpdateParameterNormalizedValue("3", 1.0, 0);
  inst.Params()->UpdateParameterNormalizedValue("7", 1.0, 0);
  constexpr int kFrames = 512;
  std::vector<float> l(kFrames), r(kFrames), ol(kFrames), orr(kFrames);
  for (int k = 0; k < kFrames; ++k) l[k] = r[k] = 1.2f * std::sin(0.05f * k);
  float* in[2] = {l.data(), r.data()};
  float* out[2] = {ol.data(), orr.data()};
  inst.Render(in, out, kFrames);  // settles the block length

  long made = 0;
  for (int block = 0; block < 200; ++block) {
    inst.Params()->UpdateParameterNormalizedValue("MasterBypassID", block % 50 == 49 ? 1.0 : 0.0,
                                                  0);
    std::vector<aax::MidiPacket> midi{
        {static_cast<uint32_t>(block % kFrames), 3, {0x90, 0x3C, 0x64, 0}, false}};
    qd::testing::CountAllocations(true);
    inst.Render(in, out, kFrames, std::move(midi));
    made += qd::testing::CountAllocations(false);
  }
  EXPECT_EQ(made, 0);
}

}  // namespace
