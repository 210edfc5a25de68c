#include "graphics/bitmap/Png.h"

#include <png.h>

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "resources/ResourceTable.h"

namespace qd {

namespace {

constexpr uint64_t kMaxPngPixels = uint64_t{1} << 24;

struct MemoryReader {
  const png_byte* data;
  size_t length;
  size_t position;
};

// Each request is zero-filled first, then gets what is left of the data.
void ReadFromMemory(png_structp png, png_bytep out, size_t count) {
  auto* reader = static_cast<MemoryReader*>(png_get_io_ptr(png));
  std::memset(out, 0, count);
  size_t remaining = reader->length - reader->position;
  size_t n = count < remaining ? count : remaining;
  if (n > 0) std::memcpy(out, reader->data + reader->position, n);
  reader->position += n;
}

// True when every chunk's declared data lies inside the bytes (the final chunk's CRC may be
// cut). libpng allocates and reads a chunk's declared length even for chunks it then
// discards, so one damaged length would cost gigabytes of memory.
bool ChunksFitTheData(const png_byte* data, size_t length) {
  size_t pos = 8;
  while (length - pos >= 8) {
    const uint64_t n = (uint64_t{data[pos]} << 24) | (uint64_t{data[pos + 1]} << 16) |
                       (uint64_t{data[pos + 2]} << 8) | uint64_t{data[pos + 3]};
    if (n > length - pos - 8) return false;
    if (std::memcmp(data + pos + 4, "IEND", 4) == 0) return true;
    if (n + 12 > length - pos) return true;  // the last CRC is cut: libpng reports it
    pos += static_cast<size_t>(n) + 12;
  }
  return true;
}

// Decoding errors and warnings are not reported; errors end the decode via longjmp.
void SilentWarning(png_structp, png_const_charp) {}
void ErrorToJump(png_structp png, png_const_charp) {
  png_longjmp(png, 1);
}

}  // namespace

PixBitmap* DecodePngMemory(const void* bytes, size_t length, PixBitmap* dst) {
  if (!bytes || length < 8) return nullptr;
  if (png_sig_cmp(static_cast<png_const_bytep>(bytes), 0, 8) != 0) return nullptr;
  if (!ChunksFitTheData(static_cast<const png_byte*>(bytes), length)) return nullptr;

  png_structp png =
      png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, ErrorToJump, SilentWarning);
  if (!png) return nullptr;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    return nullptr;
  }
  MemoryReader reader{static_cast<const png_byte*>(bytes), length, 0};
  // Objects that must survive a longjmp out of libpng are plain pointers declared volatile.
  PixBitmap* volatile created = nullptr;
  PixBitmap* volatile target = nullptr;
  png_bytep* volatile rows = nullptr;

  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    std::free(rows);
    delete created;
    return nullptr;
  }
  png_set_read_fn(png, &reader, ReadFromMemory);
  png_read_info(png, info);
  png_uint_32 width = 0, height = 0;
  int depth = 0, colourType = 0, interlace = 0;
  png_get_IHDR(png, info, &width, &height, &depth, &colourType, &interlace, nullptr, nullptr);
  // A damaged header must not make the decoder allocate and clear gigabytes before the
  // image data turns out to be missing; the editor's largest image has 3.2 million pixels.
  if (static_cast<uint64_t>(width) * height > kMaxPngPixels) png_error(png, "image too large");

  bool hasAlpha = (colourType & PNG_COLOR_MASK_ALPHA) != 0;
  if (colourType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if (colourType == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
  if (png_get_valid(png, info, PNG_INFO_tRNS)) {
    png_set_tRNS_to_alpha(png);
    hasAlpha = true;
  }
  if (depth == 16) png_set_strip_16(png);
  if (depth < 8) png_set_packing(png);
  if (colourType == PNG_COLOR_TYPE_GRAY || colourType == PNG_COLOR_TYPE_GRAY_ALPHA) {
    png_set_gray_to_rgb(png);
  }
  if (hasAlpha) {
    png_set_swap_alpha(png);
  } else {
    png_set_filler(png, 0xFF, PNG_FILLER_BEFORE);
  }
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  if (png_get_rowbytes(png, info) != static_cast<size_t>(width) * 4 || width > 0x7FFFFFFF ||
      height > 0x7FFFFFFF) {
    png_error(png, "unexpected row layout");
  }

  if (dst) {
    target = dst;
    target->Resize(static_cast<int32_t>(width), static_cast<int32_t>(height));
  } else {
    created = new PixMemBitmap(static_cast<int32_t>(width), static_cast<int32_t>(height), 4);
    target = created;
  }
  if (!target->HasPixels() || target->Width() != static_cast<int32_t>(width) ||
      target->Height() != static_cast<int32_t>(height)) {
    png_error(png, "bitmap size");
  }
  rows = static_cast<png_bytep*>(std::malloc(sizeof(png_bytep) * height));
  if (!rows) png_error(png, "out of memory");
  for (png_uint_32 y = 0; y < height; ++y) {
    rows[y] = reinterpret_cast<png_bytep>(target->Row(static_cast<int32_t>(y)));
  }
  png_read_image(png, rows);
  png_destroy_read_struct(&png, &info, nullptr);
  std::free(rows);

  // Bytes A, R, G, B in memory become the pixel word 0xAARRGGBB (bytes B, G, R, A).
  for (int32_t y = 0; y < target->Height(); ++y) {
    PixelWord* row = target->Row(y);
    for (int32_t x = 0; x < target->Width(); ++x) {
      unsigned char b[4];
      std::memcpy(b, &row[x], 4);
      row[x] = (PixelWord{b[0]} << 24) | (PixelWord{b[1]} << 16) | (PixelWord{b[2]} << 8) | b[3];
    }
  }
  return target;
}

PixBitmap* LoadPngResource(const void* module, int32_t id, PixBitmap* dst) {
  const unsigned char* bytes = nullptr;
  int32_t size = 0;
  if (!FindModuleResource(module, id, "PNG", &bytes, &size) || size < 8) return nullptr;
  return DecodePngMemory(bytes, static_cast<size_t>(size), dst);
}

bool WritePngFile(const PixBitmap& bitmap, const char* path) {
  if (!path || !bitmap.HasPixels()) return false;
  std::FILE* file = std::fopen(path, "wb");
  if (!file) return false;
  png_structp png =
      png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, ErrorToJump, SilentWarning);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  unsigned char* volatile line = nullptr;
  if (!png || !info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::free(line);
    std::fclose(file);
    return false;
  }
  const int32_t width = bitmap.Width(), height = bitmap.Height();
  line = static_cast<unsigned char*>(std::malloc(static_cast<size_t>(width) * 4));
  if (!line) png_error(png, "out of memory");
  png_init_io(png, file);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
               PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int32_t y = 0; y < height; ++y) {
    const PixelWord* row = bitmap.Row(y);
    for (int32_t x = 0; x < width; ++x) {
      PixelWord p = row[x];
      line[x * 4 + 0] = static_cast<unsigned char>(p >> 16);
      line[x * 4 + 1] = static_cast<unsigned char>(p >> 8);
      line[x * 4 + 2] = static_cast<unsigned char>(p);
      line[x * 4 + 3] = static_cast<unsigned char>(p >> 24);
    }
    png_write_row(png, line);
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  std::free(line);
  return std::fclose(file) == 0;
}

}  // namespace qd
