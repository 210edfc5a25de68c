#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "graphics/bitmap/Blit.h"
#include "graphics/bitmap/PixFont.h"
#include "tests/graphics/GraphicsTestSupport.h"

namespace qd {
namespace {

using testing::Editor;
using testing::TestGraphics;

TEST(PlatformFont, ArialResolvesToAMetricCompatibleFaceAndUnknownNamesToAnySansFace) {
  auto arial = PlatformFont::Create("Arial", 12, false, false, PlatformFont::kDefault);
  ASSERT_NE(arial, nullptr);
  EXPECT_EQ(arial->FamilyName(), "Liberation Sans");
  EXPECT_EQ(arial->LineHeight(), 12);
  auto unknown = PlatformFont::Create("No Such Family 123", 12, true, true, PlatformFont::kDefault);
  ASSERT_NE(unknown, nullptr);
  EXPECT_FALSE(unknown->FilePath().empty());
  for (int size : {0, -12, 1 << 20}) {
    EXPECT_EQ(PlatformFont::Create("Arial", size, false, false, 0), nullptr) << size;
  }
}

struct FontFixture : ::testing::Test {
  PixCachedFont font;
  PixMemBitmap bitmap{120, 40, 4};
  void SetUp() override {
    font.SetFromPlatformFont(
        PlatformFont::Create("Arial", 12, false, false, PlatformFont::kDefault).release(),
        kFontPreferNative | kFontOwnsHandle);
    ASSERT_EQ(font.LineHeight(), 12);
    ClearBitmap(&bitmap, 0xFFFFFFFF);
  }
  Bounds Measure(const char* text) {
    Bounds r;
    font.DrawText(nullptr, text, -1, &r, kTextSingleLine | kTextMeasure);
    return r;
  }
};

TEST_F(FontFixture, GlyphsAreRenderedOnceAndDrawnFromTheCache) {
  Bounds r{0, 0, 120, 40};
  EXPECT_EQ(font.DrawText(&bitmap, "-14.23 LUFS", -1, &r, kTextSingleLine), 12);
  int rendered = font.RenderedGlyphCount();
  EXPECT_EQ(rendered, 11);  // eleven different characters
  font.DrawText(&bitmap, "-14.23 LUFS", -1, &r, kTextSingleLine);
  EXPECT_EQ(font.RenderedGlyphCount(), rendered);
  // Codes above 127 go to the sorted list; a 4-byte sequence reads as a space.
  font.DrawText(&bitmap, "\xC3\xA9", -1, &r, kTextSingleLine);
  EXPECT_EQ(font.RenderedGlyphCount(), rendered + 1);
  EXPECT_EQ(Measure("a\xF0\x9F\x8E\xB5"
                    "b")
                .Width(),
            Measure("a b").Width());
  // A stray continuation byte is one character of its own, not a crash.
  EXPECT_GT(Measure("\x80\xFF").Width(), 0);
  EXPECT_EQ(Measure("").Width(), 0);
}

TEST_F(FontFixture, TextColourCoverageAndAlpha) {
  Bounds r{0, 0, 120, 40};
  font.SetTextColour(0xFF000000);
  font.DrawText(&bitmap, "H", -1, &r, kTextSingleLine);
  PixelWord darkest = 0xFFFFFFFF;
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 12; ++x) darkest = std::min(darkest, bitmap.Row(y)[x]);
  // Fully covered pixels take the text colour; the alpha of an opaque pixel stays 255.
  EXPECT_LE(darkest, 0xFF080808u);
  EXPECT_EQ(darkest >> 24, 0xFFu);
  // A colour with alpha 0 under the use-alpha flag draws nothing.
  ClearBitmap(&bitmap, 0xFFFFFFFF);
  font.SetTextColour(0x00000000);
  EXPECT_EQ(font.DrawText(&bitmap, "H", -1, &r, kTextSingleLine | kTextUseAlpha), 0);
  EXPECT_EQ(bitmap.Row(5)[3], 0xFFFFFFFFu);
  // Without a bitmap only measuring is allowed.
  EXPECT_EQ(font.DrawText(nullptr, "H", -1, &r, kTextSingleLine), 0);
}

// The extent of pixels that differ from the background inside the bitmap.
struct Ink {
  int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
};
Ink FindInk(PixBitmap* b, PixelWord background) {
  Ink ink;
  for (int y = 0; y < b->Height(); ++y) {
    for (int x = 0; x < b->Width(); ++x) {
      if (b->Row(y)[x] == background) continue;
      ink.left = std::min(ink.left, x);
      ink.top = std::min(ink.top, y);
      ink.right = std::max(ink.right, x + 1);
      ink.bottom = std::max(ink.bottom, y + 1);
    }
  }
  return ink;
}

TEST(TextControl, ReadoutIsDrawnLegiblyCentredInItsRectangle) {
  TextStyle grey;
  grey.colour = {255, 128, 128, 128};
  const Bounds rect{525, 68, 605, 92};
  int readout = -1;
  Editor e([&](TestGraphics& g) {
    readout = g.AddControl(std::make_unique<TextControl>(g.Plugin(), rect, grey, ""));
  });
  auto* text = static_cast<TextControl*>(e.g->GetControl(readout));
  text->SetText("-14.23 LUFS");
  const PixelWord background = 0xFF202428;
  ClearBitmap(e.g->DrawBitmap(), background);
  ASSERT_TRUE(e.g->Tick());
  ASSERT_TRUE(e.g->WriteSnapshot("readout_snapshot.png"));  // in the test's working folder

  Ink ink = FindInk(e.g->DrawBitmap(), background);
  ASSERT_GE(ink.right, 0) << "no text drawn";
  EXPECT_GE(ink.left, rect.left);
  EXPECT_LE(ink.right, rect.right);
  EXPECT_GE(ink.top, rect.top);
  EXPECT_LE(ink.bottom, rect.bottom);
  EXPECT_GT(ink.right - ink.left, 40);  // eleven characters of 12-pixel type
  EXPECT_GE(ink.bottom - ink.top, 8);
  EXPECT_NEAR((ink.left + ink.right) / 2.0, (rect.left + rect.right) / 2.0, 1.0);
  EXPECT_NEAR((ink.top + ink.bottom) / 2.0, (rect.top + rect.bottom) / 2.0, 1.0);
  // Grey type: the most covered pixels are the text colour.
  PixelWord brightest = 0;
  for (int y = ink.top; y < ink.bottom; ++y)
    for (int x = ink.left; x < ink.right; ++x)
      brightest = std::max(brightest, e.g->DrawBitmap()->Row(y)[x] & 0x00FFFFFFu);
  EXPECT_EQ(brightest, 0x00808080u);
}

}  // namespace
}  // namespace qd
