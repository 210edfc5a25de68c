// The Windows platform pieces: PNG resources in the built DLL found through its module
// handle, the critical section, the device-independent draw bitmap, and the choice between
// GDI text and the glyph cache (with the Wine registry check, which sees Wine here).
#include <gtest/gtest.h>
#include <windows.h>
// PixFont::DrawText, not the Win32 macro of that name.
#undef DrawText

#include <atomic>
#include <memory>
#include <thread>

#include "framework/PluginMutex.h"
#include "graphics/bitmap/Blit.h"
#include "graphics/bitmap/PixBitmap.h"
#include "graphics/bitmap/PixFont.h"
#include "graphics/bitmap/Png.h"
#include "resources/ResourceTable.h"

namespace qd {
namespace {

TEST(WindowsResources, TheDllCarriesElevenPngResourcesFoundThroughItsModuleHandle) {
  HMODULE module = LoadLibraryExA(QD_VST2_MODULE_PATH, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(module, nullptr) << GetLastError();
  // LOAD_LIBRARY_AS_DATAFILE handles carry flag bits; the resource functions accept them.
  for (int id = 100; id <= 110; ++id) {
    const unsigned char* bytes = nullptr;
    int32_t size = 0;
    ASSERT_TRUE(FindModuleResource(module, id, "PNG", &bytes, &size)) << id;
    std::unique_ptr<PixBitmap> image(DecodePngMemory(bytes, static_cast<size_t>(size)));
    ASSERT_NE(image, nullptr) << id;
    if (id == 100) {
      EXPECT_EQ(image->Width(), 640);
      EXPECT_EQ(image->Height(), 480);
    }
  }
  const unsigned char* bytes = nullptr;
  int32_t size = 0;
  EXPECT_FALSE(FindModuleResource(module, 111, "PNG", &bytes, &size));
  EXPECT_FALSE(FindModuleResource(module, 100, "BMP", &bytes, &size));
  EXPECT_EQ(LoadPngResource(module, 111), nullptr);
  EXPECT_FALSE(FindModuleResource(nullptr, 100, "PNG", &bytes, &size));
  FreeLibrary(module);
}

TEST(WindowsPluginMutex, IsRecursiveAndExcludesOtherThreads) {
  PluginMutex mutex;
  mutex.lock();
  mutex.lock();  // the holder may enter again
  std::atomic<int> otherGot{-1};
  std::thread([&] { otherGot = mutex.try_lock() ? 1 : 0; }).join();
  EXPECT_EQ(otherGot, 0);
  mutex.unlock();
  mutex.unlock();
  std::thread([&] {
    otherGot = mutex.try_lock() ? 1 : 0;
    if (otherGot) mutex.unlock();
  }).join();
  EXPECT_EQ(otherGot, 1);
}

TEST(WindowsDrawBitmap, IsATopDownSectionWithItsDeviceContext) {
  PixSysBitmap bitmap(13, 7);
  ASSERT_TRUE(bitmap.HasPixels());
  EXPECT_EQ(bitmap.RowSpan(), 16);
  EXPECT_NE(bitmap.DrawingContext(), nullptr);
  EXPECT_FALSE(bitmap.Resize(13, 7));
  PixelWord* pixels = bitmap.Pixels();
  EXPECT_TRUE(bitmap.Resize(10, 5));  // fits: the section is kept
  EXPECT_EQ(bitmap.Pixels(), pixels);
  // GDI writes through the device context into the same pixels, first row at the top.
  HDC dc = static_cast<HDC>(bitmap.DrawingContext());
  RECT top{0, 0, 10, 1};
  HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
  FillRect(dc, &top, red);
  DeleteObject(red);
  GdiFlush();
  EXPECT_EQ(bitmap.Row(0)[0] & 0xFFFFFF, 0xFF0000u);
  EXPECT_EQ(bitmap.Row(1)[0] & 0xFFFFFF, 0u);
  EXPECT_TRUE(bitmap.Resize(0, 0));
  EXPECT_FALSE(bitmap.HasPixels());
}

TEST(WindowsText, ChoiceBetweenGdiAndTheGlyphCache) {
  struct Case {
    const char* what;
    int32_t fontFlags;
    bool hasFont;
    int32_t drawFlags;
    bool wine;
    int32_t spacing;
    int32_t lineHeight;
    bool native;
  };
  const Case cases[] = {
      {"editor font on Windows", 0x600, true, 0x25, false, 0, 14, true},
      {"under Wine", 0x600, true, 0x25, true, 0, 14, false},
      {"font does not prefer native", 0x200, true, 0x25, false, 0, 14, false},
      {"no platform font", 0x600, false, 0x25, false, 0, 14, false},
      {"negative draw flags", 0x600, true, static_cast<int32_t>(0x80000025), false, 0, 14, false},
      {"text colour alpha", 0x600, true, 0x40000025, false, 0, 14, false},
      {"pre-render flag", 0x604, true, 0x25, false, 0, 14, false},
      {"another low font flag", 0x601, true, 0x25, false, 0, 14, false},
      {"line spacing, several lines", 0x600, true, 0x5, false, 3, 14, false},
      {"line spacing, single line", 0x600, true, 0x25, false, 3, 14, true},
      {"very tall font, even under Wine", 0x200, true, 0x25, true, 0, 256, true},
      {"line height 255 follows the rule", 0x200, true, 0x25, true, 0, 255, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(
        ChooseNativeTextPath(c.fontFlags, c.hasFont, c.drawFlags, c.wine, c.spacing, c.lineHeight),
        c.native)
        << c.what;
  }
}

TEST(WindowsText, UnderWineTheEditorFontDrawsFromTheGlyphCache) {
  ASSERT_TRUE(RunningUnderWine()) << "these checks run under Wine";
  auto platform = PlatformFont::Create("Arial", 12, false, false, PlatformFont::kDefault);
  ASSERT_NE(platform, nullptr);
  EXPECT_EQ(platform->LineHeight(), 12);
  PixCachedFont font;
  font.SetFromPlatformFont(platform.release(), kFontPreferNative | kFontOwnsHandle);
  font.SetTextColour(0xFF000000);
  PixMemBitmap bitmap(60, 20);
  ClearBitmap(&bitmap, 0xFFFFFFFF);
  Bounds rect{0, 0, 60, 20};
  EXPECT_GT(font.DrawText(&bitmap, "Hi 5", -1, &rect, kTextSingleLine | kTextNoPrefix), 0);
  EXPECT_EQ(font.NativeDrawCount(), 0);
  EXPECT_GT(font.RenderedGlyphCount(), 0);
  int dark = 0;
  for (int y = 0; y < 20; ++y) {
    for (int x = 0; x < 60; ++x) dark += (bitmap.Row(y)[x] & 0xFF) < 128;
  }
  EXPECT_GT(dark, 10) << "the glyphs left ink";
}

TEST(WindowsText, GdiPathDrawsIntoSectionsAndBitmapsWithoutAContext) {
  auto platform = PlatformFont::Create("Arial", 16, true, false, PlatformFont::kDefault);
  ASSERT_NE(platform, nullptr);
  const NativeTextColours colours{0xFF000000, 0xFFFFFFFF, 1, 1.0f};
  auto ink = [](PixBitmap& b) {
    int n = 0;
    for (int y = 0; y < b.Height(); ++y) {
      for (int x = 0; x < b.Width(); ++x) n += (b.Row(y)[x] & 0xFF) < 128;
    }
    return n;
  };
  PixSysBitmap section(80, 24);
  ClearBitmap(&section, 0xFFFFFFFF);
  Bounds rect{0, 0, 80, 24};
  EXPECT_GT(DrawNativeText(*platform, &section, "W\xC3\xA9", 3, &rect, 0x25, colours), 0);
  EXPECT_GT(ink(section), 10);

  PixMemBitmap memory(80, 24);
  ClearBitmap(&memory, 0xFFFFFFFF);
  rect = {0, 0, 80, 24};
  EXPECT_GT(DrawNativeText(*platform, &memory, "W", 1, &rect, 0x25, colours), 0);
  EXPECT_GT(ink(memory), 10);
  // Centred text leaves the corners alone.
  EXPECT_EQ(memory.Row(0)[0] & 0xFFFFFF, 0xFFFFFFu);

  Bounds measured{10, 10, 10, 10};
  DrawNativeText(*platform, nullptr, "WWW", 3, &measured, kTextMeasure | kTextSingleLine, colours);
  EXPECT_EQ(measured.left, 10);
  EXPECT_GT(measured.right - measured.left, 20);
  EXPECT_EQ(measured.bottom - measured.top, 16);
}

}  // namespace
}  // namespace qd
