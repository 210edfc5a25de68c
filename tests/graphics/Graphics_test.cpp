#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "graphics/Caches.h"
#include "graphics/bitmap/Blit.h"
#include "graphics/bitmap/CairoBridge.h"
#include "resources/ResourceTable.h"
#include "tests/graphics/GraphicsTestSupport.h"

namespace qd {
const ResourceTable& BitmapTestResources();
namespace {

using testing::Editor;
using testing::GraphicsPlugin;
using testing::StripPixel;
using testing::TestGraphics;

TEST(DrawStripFrame, FrameOffsetsOfVerticalAndHorizontalStrips) {
  int vertical = -1, horizontal = -1;
  Editor e([&](TestGraphics& g) {
    vertical = g.AddControl(std::make_unique<BitmapControl>(
        g.Plugin(), 0, 0, -1, g.LoadStrip(901, "gr.png", 13), kBlendClobber));
    horizontal = g.AddControl(std::make_unique<BitmapControl>(
        g.Plugin(), 300, 0, -1, g.LoadStrip(905, "h.png", 4, true), kBlendClobber));
  });
  ASSERT_EQ(e.g->GetControl(vertical)->Rect(), (Bounds{0, 0, 256, 256}));
  ASSERT_EQ(e.g->GetControl(horizontal)->Rect(), (Bounds{300, 0, 325, 10}));
  struct Case {
    double value;
    int32_t sourceY;
  };
  // Frame k of 13 starts at int(3328 x (k - 1) / 13 + 0.5): frame 7 at 1536.
  for (Case c : {Case{0.0, 0}, Case{1.0 / 12, 256}, Case{0.5, 1536}, Case{1.0, 3072}}) {
    e.g->UpdateControlValue(vertical, c.value);
    e.g->UpdateControlValue(horizontal, c.value);
    e.DrawAll();
    EXPECT_EQ(e.Pixel(0, 0), StripPixel(0, c.sourceY)) << c.value;
    EXPECT_EQ(e.Pixel(255, 255), StripPixel(255, c.sourceY + 255)) << c.value;
  }
  // Horizontal frame 4 of 4 is taken from x = 75.
  EXPECT_EQ(e.Pixel(300, 3), StripPixel(75, 3));
  // Drawing is clipped to the update rectangle.
  e.g->UpdateControlValue(vertical, 0.0);
  e.g->Draw({10, 10, 20, 20});
  EXPECT_EQ(e.Pixel(15, 15), StripPixel(15, 15));
  EXPECT_EQ(e.Pixel(30, 30), StripPixel(30, 3072 + 30));
}

TEST(StripFrameForValue, RoundsToTheNearestFrameWithinTheStrip) {
  FrameStrip knob{nullptr, 42, 4200, 100, false};
  FrameStrip single{nullptr, 42, 42, 1, false};
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    const FrameStrip& strip;
    double value;
    int32_t frame;
  };
  for (Case c :
       {Case{knob, 0.5, 51}, Case{knob, 0.0, 1}, Case{knob, 1.0, 100}, Case{knob, 2.0, 100},
        Case{knob, -1.0, 1}, Case{knob, nan, 1}, Case{single, 0.7, 1}}) {
    EXPECT_EQ(StripFrameForValue(c.strip, c.value), c.frame) << c.value;
  }
}

TEST(LoadStrip, DecodesEachIdOncePerProcessAndKeepsEachRequestsFrameCount) {
  std::map<int32_t, int> loads;
  int before = FrameStripList::Instance().Count();
  Editor e([&](TestGraphics& g) {
    FrameStrip a = g.LoadStrip(903, "button.png", 2);
    FrameStrip b = g.LoadStrip(903, "button.png", 3);
    EXPECT_EQ(a.bitmap, b.bitmap);
    EXPECT_EQ(a.frames, 2);
    EXPECT_EQ(b.frames, 3);
    EXPECT_LE(g.loads[903], 1);  // 0 when an earlier test in this process loaded it
    // A bitmap that cannot be loaded gives an empty strip and an empty, inert control.
    FrameStrip missing = g.LoadStrip(999, "missing.png", 2);
    EXPECT_EQ(missing.bitmap, nullptr);
    int c =
        g.AddControl(std::make_unique<SwitchControl>(g.Plugin(), 5, 5, testing::kToggle, missing));
    EXPECT_TRUE(g.GetControl(c)->Rect().IsEmpty() || g.GetControl(c)->Rect().Width() == 0);
  });
  EXPECT_EQ(FrameStripList::Instance().Count(), before + 3);
  EXPECT_EQ(e.g->HitSearch(5, 5), -1);
  e.DrawAll();  // draws nothing for it, and does not fail
}

TEST(LoadStrip, PngResourcesComeFromTheModuleByIdWhenTheNameEndsInPng) {
  Editor e([&](TestGraphics& g) {
    g.SetModule(&BitmapTestResources());
    FrameStrip png = g.LoadStrip(200, "strip.PNG", 2);
    EXPECT_NE(png.bitmap, nullptr);
    EXPECT_EQ(png.FrameHeight(), 2);
    EXPECT_EQ(g.LoadStrip(201, "short.png", 1).bitmap, nullptr);     // 7 bytes
    EXPECT_EQ(g.LoadStrip(200, "strip.bmp", 1).bitmap, png.bitmap);  // cached by id
    EXPECT_EQ(g.LoadStrip(210, "strip.bmp", 1).bitmap, nullptr);     // not a PNG name
  });
}

TEST(Graphics, BackgroundIsInsertedFirstAndControlsAreRenumbered) {
  Editor e([&](TestGraphics& g) {
    EXPECT_EQ(g.AddControl(std::make_unique<BitmapControl>(g.Plugin(), 0, 0, -1,
                                                           g.LoadStrip(906, "vu.png", 25))),
              0);
    EXPECT_EQ(g.AddControl(std::make_unique<BitmapControl>(g.Plugin(), 20, 0, -1,
                                                           g.LoadStrip(906, "vu.png", 25))),
              1);
    g.SetBackground(900, "bg.png");
    EXPECT_EQ(g.AddControl(nullptr), -1);
  });
  ASSERT_EQ(e.g->ControlCount(), 3);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(e.g->GetControl(i)->Index(), i);
  EXPECT_EQ(e.g->GetControl(0)->Rect(), (Bounds{0, 0, 640, 480}));
  EXPECT_EQ(e.g->GetControl(0)->GetBlend().method, kBlendClobber);
  // The background is a plain copy, alpha included, repainted under every redraw.
  ClearBitmap(e.g->DrawBitmap(), 0x12345678);
  e.g->Draw({100, 100, 110, 110});
  EXPECT_EQ(e.Pixel(105, 105), StripPixel(105, 105));
  EXPECT_EQ(e.Pixel(200, 200), 0x12345678u);
  EXPECT_EQ(e.g->lastCopied, (Bounds{100, 100, 110, 110}));
}

TEST(Graphics, DirtyControlsAreRedrawnOnTwoTicksAndIdleHooksRunEverySecondQuietTick) {
  int meter = -1, other = -1;
  Editor e([&](TestGraphics& g) {
    g.SetBackground(900, "bg.png");
    meter = g.AddControl(
        std::make_unique<BitmapControl>(g.Plugin(), 10, 20, -1, g.LoadStrip(906, "vu.png", 25)));
    other = g.AddControl(
        std::make_unique<BitmapControl>(g.Plugin(), 100, 50, -1, g.LoadStrip(906, "vu.png", 25)));
  });
  // Controls start dirty: the first ticks redraw all of them.
  while (e.g->Tick()) {
  }
  Bounds r;
  EXPECT_FALSE(e.g->NeedsRedraw(&r));
  EXPECT_TRUE(r.IsEmpty());

  e.g->UpdateControlValue(meter, 0.2);  // the first value only becomes the default
  e.g->UpdateControlValue(meter, 0.5);
  e.g->UpdateControlValue(other, 0.1);
  e.g->UpdateControlValue(other, 0.3);
  e.g->UpdateControlValue(99, 0.3);  // out of range: ignored
  e.g->UpdateControlValue(-1, 0.3);
  int copiesBefore = e.g->copyCount;
  ASSERT_TRUE(e.g->NeedsRedraw(&r));
  EXPECT_EQ(r, (Bounds{10, 20, 112, 250}));
  for (int tick = 0; tick < 2; ++tick) {
    r = {};
    ASSERT_TRUE(e.g->NeedsRedraw(&r)) << tick;
    e.g->Draw(r);
    EXPECT_EQ(e.g->lastCopied, (Bounds{10, 20, 112, 250}));
  }
  EXPECT_FALSE(e.g->Tick());
  EXPECT_EQ(e.g->copyCount, copiesBefore + 2);
  // Quiet ticks: the idle hooks run on every second one (the tick above was the first).
  int idles = e.plugin.editorIdles;
  std::vector<int> hooks;
  for (int tick = 0; tick < 4; ++tick) {
    e.g->Tick();
    hooks.push_back(e.plugin.editorIdles - idles);
  }
  EXPECT_EQ(hooks, (std::vector<int>{1, 1, 2, 2}));
  // Opening the window marks everything dirty for a full first paint.
  ASSERT_NE(e.g->OpenWindow(nullptr), nullptr);
  EXPECT_TRUE(e.g->WindowIsOpen());
  r = {};
  ASSERT_TRUE(e.g->NeedsRedraw(&r));
  EXPECT_EQ(r, (Bounds{0, 0, 640, 480}));
  e.g->CloseWindow();
  EXPECT_FALSE(e.g->WindowIsOpen());
}

TEST(Graphics, HiddenAndEmptyControlsAreNeitherDrawnNorHit) {
  int hidden = -1;
  Editor e([&](TestGraphics& g) {
    hidden = g.AddControl(std::make_unique<BitmapControl>(
        g.Plugin(), 0, 0, -1, g.LoadStrip(903, "b.png", 2), kBlendClobber));
    g.AddControl(std::make_unique<TextControl>(g.Plugin(), Bounds{}, TextStyle{}, "x"));
  });
  e.g->GetControl(hidden)->SetHidden(true);
  ClearBitmap(e.g->DrawBitmap(), 0);
  e.DrawAll();
  EXPECT_EQ(e.Pixel(5, 5), 0u);
  EXPECT_EQ(e.g->HitSearch(5, 5), -1);
  EXPECT_EQ(e.g->HitSearch(0, 0), -1);  // the empty rectangle is never hit
  e.g->GetControl(hidden)->SetHidden(false);
  e.DrawAll();
  EXPECT_EQ(e.Pixel(5, 5), StripPixel(5, 5));
}

TEST(CairoBridge, CoversTheDrawBitmapOfTheAttachedEditor) {
  GraphicsPlugin plugin;
  plugin.SetSurfaceBridge(std::make_unique<CairoBridge>(&plugin));
  auto graphics = std::make_unique<TestGraphics>(&plugin, 640, 480);
  PluginEditor* editor = graphics.get();
  plugin.AttachEditor(std::move(graphics));
  auto* bridge = static_cast<CairoBridge*>(plugin.SurfaceBridge());
  ASSERT_NE(bridge->Surface(), nullptr);
  EXPECT_EQ(bridge->Width(), 640);
  EXPECT_EQ(bridge->Height(), 480);
  auto* owner = dynamic_cast<DrawBitmapOwner*>(editor);
  EXPECT_EQ(cairo_image_surface_get_data(bridge->Surface()),
            reinterpret_cast<unsigned char*>(owner->DrawBitmap()->Pixels()));
  // Drawing through the context lands in the draw bitmap.
  cairo_set_source_rgb(bridge->Context(), 1.0, 0.0, 0.0);
  cairo_rectangle(bridge->Context(), 0, 0, 2, 2);
  cairo_fill(bridge->Context());
  cairo_surface_flush(bridge->Surface());
  EXPECT_EQ(owner->DrawBitmap()->Row(1)[1] & 0x00FFFFFFu, 0x00FF0000u);
  bridge->SetEditor(nullptr);
  EXPECT_EQ(bridge->Surface(), nullptr);
}

}  // namespace
}  // namespace qd
