#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <vector>

#include "graphics/bitmap/Blit.h"
#include "graphics/bitmap/PixBitmap.h"

namespace qd {
namespace {

TEST(PixMemBitmap, RowSpanRoundsWidthUpToFourPixelsAndPixelsAre64ByteAligned) {
  PixMemBitmap b(13, 7, 4);
  EXPECT_EQ(b.Width(), 13);
  EXPECT_EQ(b.Height(), 7);
  EXPECT_EQ(b.RowSpan(), 16);
  EXPECT_EQ(b.AllocatedBytes(), 448);
  ASSERT_NE(b.Pixels(), nullptr);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(b.Pixels()) % 64, 0u);
  // No alignment means the width is the row span.
  PixMemBitmap unaligned(13, 7, 1);
  EXPECT_EQ(unaligned.RowSpan(), 13);
}

TEST(PixMemBitmap, ResizeToTheSameSizeReturnsFalseAndKeepsThePixels) {
  PixMemBitmap b(13, 7, 4);
  ClearBitmap(&b, 0x12345678);
  PixelWord* before = b.Pixels();
  EXPECT_FALSE(b.Resize(13, 7));
  EXPECT_EQ(b.Pixels(), before);
  EXPECT_EQ(b.Row(6)[12], 0x12345678u);
  // Shrinking keeps the buffer; growing past it grows by a quarter more than needed.
  EXPECT_TRUE(b.Resize(4, 4));
  EXPECT_EQ(b.AllocatedBytes(), 448);
  EXPECT_TRUE(b.Resize(40, 10));
  EXPECT_EQ(b.AllocatedBytes(), 40 * 10 * 4 / 4 * 5);
}

TEST(PixMemBitmap, SizesThatCannotBeAllocatedLeaveAnEmptyBitmap) {
  for (auto [w, h] : std::vector<std::pair<int, int>>{
           {0, 5}, {5, 0}, {-3, 4}, {4, -3}, {INT_MAX, INT_MAX}, {INT_MIN, 2}, {100000, 100000}}) {
    PixMemBitmap b(8, 8, 4);
    EXPECT_TRUE(b.Resize(w, h));
    EXPECT_EQ(b.Width(), 0) << w << "x" << h;
    EXPECT_EQ(b.Height(), 0) << w << "x" << h;
    EXPECT_EQ(b.Pixels(), nullptr) << w << "x" << h;
    ClearBitmap(&b, 1);  // drawing on a bitmap without pixels does nothing
  }
}

TEST(PixSysBitmap, ZeroedTopDownPixelsKeptWhenAResizeFits) {
  PixSysBitmap b(13, 7);
  EXPECT_EQ(b.RowSpan(), 16);
  EXPECT_FALSE(b.IsFlipped());
  EXPECT_EQ(b.DrawingContext(), nullptr);
  EXPECT_EQ(b.Row(6)[12], 0u);
  PixelWord* before = b.Pixels();
  EXPECT_FALSE(b.Resize(13, 7));
  EXPECT_TRUE(b.Resize(10, 5));
  EXPECT_EQ(b.Pixels(), before);
  EXPECT_EQ(b.RowSpan(), 16);
  EXPECT_TRUE(b.Resize(-1, 5));
  EXPECT_EQ(b.Pixels(), nullptr);
  EXPECT_EQ(b.Width(), 0);
}

// One destination pixel and one source pixel through BlitBitmap.
PixelWord BlitOne(PixelWord dst, PixelWord src, float weight, int32_t mode) {
  PixMemBitmap d(1, 1), s(1, 1);
  d.Pixels()[0] = dst;
  s.Pixels()[0] = src;
  BlitBitmap(&d, &s, 0, 0, nullptr, weight, mode);
  return d.Pixels()[0];
}

TEST(BlitBitmap, ModeAndWeightArithmetic) {
  struct Case {
    const char* what;
    PixelWord dst, src;
    float weight;
    int32_t mode;
    PixelWord expected;
  };
  const Case cases[] = {
      {"copy, weight 0 draws nothing", 0x10203040, 0xFFFFFFFF, 0.0f, kBlitCopy, 0x10203040},
      {"copy, weight 1 copies all four bytes", 0x10203040, 0x80A0C0E0, 1.0f, kBlitCopy, 0x80A0C0E0},
      // (d >> 1 & 0x7F7F7F7F) + (s >> 1 & 0x7F7F7F7F)
      {"copy, weight 0.5 averages by shifts", 0x10203041, 0x80A0C0E1, 0.5f, kBlitCopy, 0x48607890},
      // s + (d - s) x 192 / 256 per byte: a quarter of the way toward the source.
      {"copy, weight 0.25", 0x00000000, 0x404040FF, 0.25f, kBlitCopy, 0x10101040},
      {"copy, weight below 1/256 draws nothing", 0x11111111, 0xFFFFFFFF, 0.003f, kBlitCopy,
       0x11111111},
      {"alpha copy, alpha 0 leaves the pixel", 0x11223344, 0x00FFFFFF, 1.0f, kBlitAlphaCopy,
       0x11223344},
      {"alpha copy, alpha 255 replaces it, alpha too", 0x11223344, 0xFFAABBCC, 1.0f, kBlitAlphaCopy,
       0xFFAABBCC},
      // alpha 128: dA = min(128 + 0x10, 255); colour s + trunc((d - s) x 127 / 256)
      {"alpha copy, alpha 128", 0x10000000, 0x80FF0000, 1.0f, kBlitAlphaCopy, 0x90810000},
      // weight 0.25, alpha 255: r = 64 * 256 / 256 = 64, a quarter toward the source
      {"alpha copy, weight 0.25, alpha 255", 0x00000000, 0xFF4080FF, 0.25f, kBlitAlphaCopy,
       0x40102040},
      {"alpha copy, weight 0.25, alpha 0", 0x01020304, 0x004080FF, 0.25f, kBlitAlphaCopy,
       0x01020304},
      // p = 256 * 256 / 256 = 256: d + s, clamped; alpha d + 255
      {"alpha add, full", 0x10F01010, 0xFF208040, 1.0f, kBlitAlphaAdd, 0xFFFF9050},
      // p = 128 * 129 / 256 = 64: d + s / 4; alpha d + 128 * 64 / 256
      {"alpha add, weight 0.5, alpha 128", 0x00000000, 0x80404040, 0.5f, kBlitAlphaAdd, 0x20101010},
      {"channel copy red into alpha ignores the weight", 0x00112233, 0xAB7F0000, 0.3f,
       ChannelCopyMode(2, 3), 0x7F112233},
      {"the filtering flag is masked off", 0x10203040, 0x80A0C0E0, 1.0f, kBlitCopy | kBlitFilter,
       0x80A0C0E0},
      {"an unknown mode draws nothing", 0x10203040, 0x80A0C0E0, 1.0f, 0x17, 0x10203040},
      {"a NaN weight draws nothing", 0x10203040, 0x80A0C0E0,
       std::numeric_limits<float>::quiet_NaN(), kBlitCopy | 0x20, 0x10203040},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(BlitOne(c.dst, c.src, c.weight, c.mode), c.expected)
        << c.what << std::hex << ": got 0x" << BlitOne(c.dst, c.src, c.weight, c.mode);
  }
}

TEST(BlitBitmap, NegativeDestinationOriginDrawsTheMatchingPartOfTheSource) {
  PixMemBitmap src(4, 4), dst(3, 3);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) src.Row(y)[x] = 0xFF000000u | (y * 16 + x);
  ClearBitmap(&dst, 0);
  BlitBitmap(&dst, &src, -1, -2, nullptr, 1.0f, kBlitCopy);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 3; ++x) {
      PixelWord expected = (y < 2 && x < 3) ? 0xFF000000u | ((y + 2) * 16 + (x + 1)) : 0u;
      EXPECT_EQ(dst.Row(y)[x], expected) << x << "," << y;
    }
  }
  // The source rectangle variant, clipped at the destination's right edge.
  ClearBitmap(&dst, 0);
  BlitBitmap(&dst, &src, 1, 0, 2, 1, 4, 1, 1.0f, kBlitCopy);
  EXPECT_EQ(dst.Row(0)[0], 0u);
  EXPECT_EQ(dst.Row(0)[1], 0xFF000012u);
  EXPECT_EQ(dst.Row(0)[2], 0xFF000013u);
  EXPECT_EQ(dst.Row(1)[1], 0u);
}

TEST(BlitBitmap, HostileOriginsAndRectanglesDrawNothing) {
  PixMemBitmap src(4, 4), dst(4, 4);
  ClearBitmap(&src, 0xFFFFFFFF);
  ClearBitmap(&dst, 0);
  const Bounds rects[] = {{INT_MIN, INT_MIN, INT_MAX, INT_MAX}, {3, 3, 1, 1}, {10, 10, 20, 20}};
  for (const Bounds& r : rects) BlitBitmap(&dst, &src, INT_MIN, INT_MIN, &r, 1.0f, kBlitCopy);
  BlitBitmap(&dst, &src, INT_MAX, 0, nullptr, 1.0f, kBlitCopy);
  BlitBitmap(&dst, &src, 0, INT_MIN, nullptr, 1.0f, kBlitCopy);
  BlitBitmap(&dst, &src, 0, 0, 0, 0, INT_MAX, INT_MAX, 1.0f, kBlitAlphaCopy);  // clipped to 4x4
  BlitBitmap(&dst, nullptr, 0, 0, nullptr, 1.0f, kBlitCopy);
  BlitBitmap(nullptr, &src, 0, 0, nullptr, 1.0f, kBlitCopy);
  PixMemBitmap empty;
  BlitBitmap(&dst, &empty, 0, 0, nullptr, 1.0f, kBlitCopy);
  EXPECT_EQ(dst.Row(3)[3], 0xFFFFFFFFu);
}

TEST(FillBitmapRect, WeightForms) {
  struct Case {
    const char* what;
    PixelWord dst, colour;
    float weight;
    int32_t mode;
    PixelWord expected;
  };
  const Case cases[] = {
      {"full weight fills", 0x00000000, 0x80FF4020, 1.0f, kBlitCopy, 0x80FF4020},
      {"half: shifts and masks", 0x10203041, 0x80A0C0E1, 0.5f, kBlitCopy, 0x48607890},
      // colour / 4 + dst / 2 + dst / 4, each by shift and mask
      {"quarter", 0x40404040, 0x80808080, 0.25f, kBlitCopy, 0x50505050},
      {"three quarters", 0x40404040, 0x80808080, 0.75f, kBlitCopy, 0x70707070},
      // w = 25: colour bytes c + (d - c) x 231 / 256; alpha w + (d - w) x 231 / 256
      {"other weights", 0x00000000, 0xFFFF0000, 0.1f, kBlitCopy, 0x03190000},
      {"alpha bit scales the weight by the colour's alpha", 0x40404040, 0x80808080, 1.0f,
       kBlitUseAlpha, 0x60606060},
      {"weight 0 draws nothing", 0x01020304, 0xFFFFFFFF, 0.0f, kBlitCopy, 0x01020304},
  };
  for (const Case& c : cases) {
    PixMemBitmap b(1, 1);
    b.Pixels()[0] = c.dst;
    FillBitmapRect(&b, 0, 0, 1, 1, c.colour, c.weight, c.mode);
    EXPECT_EQ(b.Pixels()[0], c.expected) << c.what << std::hex << ": got 0x" << b.Pixels()[0];
  }
}

TEST(FillBitmapRect, NegativeOriginShortensTheRectangleAndEverythingIsClipped) {
  PixMemBitmap b(4, 3);
  ClearBitmap(&b, 0);
  FillBitmapRect(&b, -2, -1, 4, 3, 0xFFFFFFFF, 1.0f, kBlitCopy);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x)
      EXPECT_EQ(b.Row(y)[x], (x < 2 && y < 2) ? 0xFFFFFFFFu : 0u) << x << "," << y;
  FillBitmapRect(&b, INT_MAX, INT_MAX, INT_MAX, INT_MAX, 1, 1.0f, kBlitCopy);
  FillBitmapRect(&b, INT_MIN, INT_MIN, INT_MAX, INT_MAX, 1, 1.0f, kBlitCopy);
  FillBitmapRect(nullptr, 0, 0, 1, 1, 1, 1.0f, kBlitCopy);
  EXPECT_EQ(b.Row(2)[3], 0u);
}

}  // namespace
}  // namespace qd
