// Editor drawing costs: the blits a redraw is made of, text from the glyph cache, and one
// full redraw of a 640 x 480 editor with a background, meters, a knob and readouts.
#include <benchmark/benchmark.h>

#include <memory>

#include "graphics/Controls.h"
#include "graphics/HeadlessGraphics.h"
#include "graphics/bitmap/Blit.h"
#include "graphics/bitmap/PixFont.h"

namespace {

using namespace qd;

void FillPattern(PixBitmap* b) {
  for (int32_t y = 0; y < b->Height(); ++y)
    for (int32_t x = 0; x < b->Width(); ++x)
      b->Row(y)[x] = 0x80000000u | static_cast<PixelWord>(x * 2654435761u + y) >> 8;
}

// A 640 x 480 blit per iteration in the given mode and weight.
void BM_Blit640x480(benchmark::State& state, int32_t mode, float weight) {
  PixMemBitmap dst(640, 480), src(640, 480);
  FillPattern(&dst);
  FillPattern(&src);
  for (auto _ : state) {
    BlitBitmap(&dst, &src, 0, 0, nullptr, weight, mode);
    benchmark::DoNotOptimize(dst.Pixels());
  }
  state.SetItemsProcessed(state.iterations() * 640 * 480);
}
BENCHMARK_CAPTURE(BM_Blit640x480, copy_full, kBlitCopy, 1.0f);
BENCHMARK_CAPTURE(BM_Blit640x480, copy_half, kBlitCopy, 0.5f);
BENCHMARK_CAPTURE(BM_Blit640x480, copy_quarter, kBlitCopy, 0.25f);
BENCHMARK_CAPTURE(BM_Blit640x480, alpha_full, kBlitAlphaCopy, 1.0f);
BENCHMARK_CAPTURE(BM_Blit640x480, alpha_quarter, kBlitAlphaCopy, 0.25f);

void BM_CachedText(benchmark::State& state) {
  PixCachedFont font;
  font.SetFromPlatformFont(PlatformFont::Create("Arial", 12, false, false, 0).release(),
                           kFontPreferNative | kFontOwnsHandle);
  font.SetTextColour(0xFF808080);
  PixMemBitmap bitmap(80, 24);
  for (auto _ : state) {
    Bounds r{0, 0, 80, 24};
    benchmark::DoNotOptimize(font.DrawText(&bitmap, "-14.23 LUFS", -1, &r,
                                           kTextSingleLine | kTextCentre | kTextVCentre));
  }
}
BENCHMARK(BM_CachedText);

// Synthetic strips instead of resources: the cost is the same per pixel.
class BenchGraphics : public HeadlessGraphics {
 public:
  using HeadlessGraphics::HeadlessGraphics;

 protected:
  std::unique_ptr<PixBitmap> LoadBitmapResource(int32_t id, const char*) override {
    int32_t w = id == 1 ? 640 : id == 2 ? 180 : 12;
    int32_t h = id == 1 ? 480 : id == 2 ? 18000 : 5000;
    auto b = std::make_unique<PixMemBitmap>(w, h);
    FillPattern(b.get());
    return b;
  }
};

void BM_FullRedraw(benchmark::State& state) {
  BenchGraphics g(nullptr, 640, 480);
  g.SetBackground(1, "bg.png");
  FrameStrip knob = g.LoadStrip(2, "knob.png", 100);
  FrameStrip bar = g.LoadStrip(3, "vu.png", 25);
  g.AddControl(std::make_unique<StripKnobControl>(nullptr, 69, 65, -1, knob));
  for (int i = 0; i < 4; ++i)
    g.AddControl(std::make_unique<BitmapControl>(nullptr, 544 + 20 * i, 256, -1, bar));
  TextStyle grey;
  grey.colour = {255, 128, 128, 128};
  for (int i = 0; i < 3; ++i) {
    g.AddControl(std::make_unique<TextControl>(nullptr, Bounds{525, 68 + 50 * i, 605, 92 + 50 * i},
                                               grey, "-14.23 LUFS"));
  }
  g.PrepareDraw();
  for (auto _ : state) {
    g.MarkAllControlsDirty();
    benchmark::DoNotOptimize(g.Tick());
  }
}
BENCHMARK(BM_FullRedraw)->Unit(benchmark::kMicrosecond);

}  // namespace
