// Counts heap allocations made inside render calls: once the block length is settled, the
// render path (bypassed or not, with MIDI and the transport node) makes none.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <new>

#include "AaxTestSupport.h"

namespace {
std::atomic<bool> counting{false};
std::atomic<long> allocations{0};
}  // namespace

// These replace the global allocation functions, so malloc/free pair with them by design.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t size) {
  if (counting.load(std::memory_order_relaxed)) allocations.fetch_add(1);
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
  return operator new(size);
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete[](void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  std::free(p);
}

namespace {

TEST(AaxAllocation, RenderAllocatesNothingOnceTheBlockLengthIsSettled) {
  auto* params =
      new qd::AAX_CPluginParameters(std::make_unique<qd::QuarloDorvantix>(qd::kFormatAax));
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
    counting = true;
    inst.Render(in, out, kFrames, std::move(midi));
    counting = false;
    made += allocations.exchange(0);
  }
  EXPECT_EQ(made, 0);
}

}  // namespace
