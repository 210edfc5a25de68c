#include "graphics/bitmap/Png.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

#include <sys/resource.h>
#include <zlib.h>

#include "graphics/bitmap/Blit.h"
#include "resources/ResourceTable.h"
#include "tests/graphics/bitmap/PngEncode.h"

namespace qd {
const ResourceTable& BitmapTestResources();

namespace {

using testing::EncodePng;
using testing::PngImage;

std::unique_ptr<PixBitmap> Decode(const std::vector<uint8_t>& bytes) {
  return std::unique_ptr<PixBitmap>(DecodePngMemory(bytes.data(), bytes.size()));
}

TEST(DecodePngMemory, RejectsShortDataAndMissingSignature) {
  PngImage image;
  image.rows = {{1, 2, 3, 4}};
  std::vector<uint8_t> good = EncodePng(image);
  ASSERT_NE(Decode(good), nullptr);
  EXPECT_EQ(DecodePngMemory(good.data(), 7), nullptr);
  EXPECT_EQ(DecodePngMemory(nullptr, 100), nullptr);
  std::vector<uint8_t> unsigned_ = good;
  unsigned_[1] = 'Q';
  EXPECT_EQ(Decode(unsigned_), nullptr);
  // Cut anywhere after the signature, or with a corrupted image chunk: no bitmap.
  for (size_t n : {size_t{8}, size_t{20}, good.size() / 2, good.size() - 13}) {
    EXPECT_EQ(DecodePngMemory(good.data(), n), nullptr) << n;
  }
  std::vector<uint8_t> corrupt = good;
  corrupt[good.size() - 20] ^= 0xFF;
  EXPECT_EQ(Decode(corrupt), nullptr);
}

TEST(DecodePngMemory, ColourTypesDepthsAndInterlaceEndAsStraightArgbWords) {
  struct Case {
    const char* what;
    PngImage image;
    std::vector<PixelWord> expected;  // row-major
  };
  std::vector<Case> cases;
  {
    PngImage s;
    s.width = 2;
    s.rows = {{0x10, 0x20, 0x30, 0x40, 0xFF, 0xEE, 0xDD, 0x00}};
    cases.push_back(
        {"RGBA: alpha moves to the top byte, not premultiplied", s, {0x40102030, 0x00FFEEDD}});
  }
  {
    PngImage s;
    s.width = 2;
    s.colourType = PNG_COLOR_TYPE_RGB;
    s.rows = {{1, 2, 3, 4, 5, 6}};
    cases.push_back({"RGB gets an opaque filler", s, {0xFF010203, 0xFF040506}});
  }
  {
    PngImage s;
    s.width = 3;
    s.colourType = PNG_COLOR_TYPE_PALETTE;
    s.depth = 2;
    s.palette = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
    s.transparency = {0, 128};  // entry 2 stays opaque
    s.rows = {{0b00011000}};    // indices 0, 1, 2 packed two bits each
    cases.push_back(
        {"paletted with a transparency chunk", s, {0x00FF0000, 0x8000FF00, 0xFF0000FF}});
  }
  {
    PngImage s;
    s.width = 4;
    s.colourType = PNG_COLOR_TYPE_GRAY;
    s.depth = 2;
    s.rows = {{0b00011011}};
    cases.push_back({"2-bit grey expands to 8 bits and to RGB",
                     s,
                     {0xFF000000, 0xFF555555, 0xFFAAAAAA, 0xFFFFFFFF}});
  }
  {
    PngImage s;
    s.colourType = PNG_COLOR_TYPE_GRAY_ALPHA;
    s.rows = {{0x70, 0x30}};
    cases.push_back({"grey + alpha", s, {0x30707070}});
  }
  {
    PngImage s;
    s.colourType = PNG_COLOR_TYPE_GRAY;
    s.depth = 16;
    s.rows = {{0xAB, 0xFF}};
    cases.push_back({"16-bit grey is stripped to 8", s, {0xFFABABAB}});
  }
  {
    PngImage s;
    s.depth = 16;
    s.rows = {{0x12, 0x00, 0x34, 0x00, 0x56, 0x00, 0x78, 0x00}};
    cases.push_back({"16-bit RGBA", s, {0x78123456}});
  }
  {
    // 9 x 9 with a distinct value per pixel exercises all seven interlace passes.
    PngImage s;
    s.width = s.height = 9;
    s.interlace = PNG_INTERLACE_ADAM7;
    std::vector<PixelWord> expected;
    for (int y = 0; y < 9; ++y) {
      std::vector<uint8_t> row;
      for (int x = 0; x < 9; ++x) {
        uint8_t v = static_cast<uint8_t>(y * 9 + x);
        row.insert(row.end(), {v, static_cast<uint8_t>(255 - v), 7, 200});
        expected.push_back(0xC8000007u | (PixelWord{v} << 16) | (PixelWord(255 - v) << 8));
      }
      s.rows.push_back(row);
    }
    cases.push_back({"interlaced", s, expected});
  }
  for (const Case& c : cases) {
    auto bitmap = Decode(EncodePng(c.image));
    ASSERT_NE(bitmap, nullptr) << c.what;
    ASSERT_EQ(bitmap->Width(), c.image.width) << c.what;
    ASSERT_EQ(bitmap->Height(), c.image.height) << c.what;
    for (int y = 0; y < c.image.height; ++y) {
      for (int x = 0; x < c.image.width; ++x) {
        EXPECT_EQ(bitmap->Row(y)[x], c.expected[y * c.image.width + x])
            << c.what << " at " << x << "," << y << std::hex << ": 0x" << bitmap->Row(y)[x];
      }
    }
  }
}

TEST(DecodePngMemory, DecodesIntoAGivenBitmapResizedToTheImage) {
  PngImage s;
  s.width = 5;
  s.height = 2;
  s.rows.assign(2, std::vector<uint8_t>(20, 0x7F));
  std::vector<uint8_t> bytes = EncodePng(s);
  PixSysBitmap target(1, 1);
  EXPECT_EQ(DecodePngMemory(bytes.data(), bytes.size(), &target), &target);
  EXPECT_EQ(target.Width(), 5);
  EXPECT_EQ(target.Row(1)[4], 0x7F7F7F7Fu);
}

// Regression: a header declaring a huge image made the decoder allocate and clear the
// whole bitmap (up to 2 GB) before finding the image data missing.
TEST(DecodePngMemory, HugeDeclaredImageIsRefusedBeforeAnyPixelMemory) {
  PngImage s;
  s.rows = {{1, 2, 3, 4}};
  std::vector<uint8_t> bytes = EncodePng(s);
  // Width and height live at bytes 16..23 of the header chunk, its CRC at 29..32.
  const uint8_t huge[8] = {0, 0, 0x4E, 0x20, 0, 0, 0x4E, 0x20};  // 20000 x 20000
  std::copy(huge, huge + 8, bytes.begin() + 16);
  const uLong crc = crc32(0L, bytes.data() + 12, 17);
  for (int k = 0; k < 4; ++k) bytes[29 + k] = static_cast<uint8_t>(crc >> (24 - 8 * k));
  PixMemBitmap target(3, 2);
  EXPECT_EQ(DecodePngMemory(bytes.data(), bytes.size(), &target), nullptr);
  EXPECT_EQ(target.Width(), 3);
  EXPECT_EQ(target.Height(), 2);
}

// Regression: a text chunk with a damaged length of nearly 2 GB made libpng allocate and
// fill a buffer of that size while reading the header.
TEST(DecodePngMemory, DamagedChunkLengthDoesNotAllocateGigabytes) {
  PngImage s;
  s.rows = {{1, 2, 3, 4}};
  const std::vector<uint8_t> good = EncodePng(s);
  // Signature and header chunk (33 bytes), then a text chunk claiming 0x74000000 bytes.
  std::vector<uint8_t> bytes(good.begin(), good.begin() + 33);
  const uint8_t text[] = {0x74, 0, 0, 0, 'i', 'T', 'X', 't', 'k', 0, 0, 0, 0};
  bytes.insert(bytes.end(), text, text + sizeof(text));
  rusage before{};
  getrusage(RUSAGE_SELF, &before);
  EXPECT_EQ(Decode(bytes), nullptr);
  rusage after{};
  getrusage(RUSAGE_SELF, &after);
  EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 256 * 1024) << "kilobytes of peak memory added";
}

TEST(PngFiles, WrittenBitmapDecodesToTheSamePixels) {
  PixMemBitmap b(3, 2);
  ClearBitmap(&b, 0x80102030);
  b.Row(1)[2] = 0xFFFFFFFF;
  auto path = (std::filesystem::temp_directory_path() / "qd_png_roundtrip.png").string();
  ASSERT_TRUE(WritePngFile(b, path.c_str()));
  std::FILE* f = std::fopen(path.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  std::vector<uint8_t> bytes(4096);
  bytes.resize(std::fread(bytes.data(), 1, bytes.size(), f));
  std::fclose(f);
  std::filesystem::remove(path);
  auto back = Decode(bytes);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->Row(0)[0], 0x80102030u);
  EXPECT_EQ(back->Row(1)[2], 0xFFFFFFFFu);
  EXPECT_FALSE(WritePngFile(PixMemBitmap(), path.c_str()));
  EXPECT_FALSE(WritePngFile(b, "/nonexistent-folder/x.png"));
}

TEST(LoadPngResource, FindsCompiledResourcesByIdAndType) {
  const ResourceTable* module = &BitmapTestResources();
  EXPECT_EQ(module->count, 3);  // the list's fourth file is not committed and is left out
  std::unique_ptr<PixBitmap> strip(LoadPngResource(module, 200));
  ASSERT_NE(strip, nullptr);
  EXPECT_EQ(strip->Width(), 3);
  EXPECT_EQ(strip->Height(), 4);
  EXPECT_EQ(strip->Row(0)[0], 0xFFFF0000u);
  EXPECT_EQ(strip->Row(3)[2], 0x800000FFu);
  EXPECT_EQ(LoadPngResource(module, 201), nullptr);  // 7 bytes
  EXPECT_EQ(LoadPngResource(module, 202), nullptr);  // not of type "PNG"
  EXPECT_EQ(LoadPngResource(module, 203), nullptr);  // absent
  EXPECT_EQ(LoadPngResource(nullptr, 200), nullptr);
}

}  // namespace
}  // namespace qd
