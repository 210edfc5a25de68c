// Encodes small PNG images in memory with libpng, so decoding tests can cover every colour
// type, depth and interlace method without committing a file for each.
#pragma once

#include <png.h>

#include <cstdint>
#include <vector>

namespace qd::testing {

struct PngImage {
  int width = 1, height = 1, depth = 8, colourType = PNG_COLOR_TYPE_RGB_ALPHA;
  int interlace = PNG_INTERLACE_NONE;
  std::vector<std::vector<uint8_t>> rows;  // packed as the PNG stores them (big-endian 16-bit)
  std::vector<png_color> palette;
  std::vector<uint8_t> transparency;  // tRNS alpha per palette entry
};

inline std::vector<uint8_t> EncodePng(const PngImage& image) {
  std::vector<uint8_t> out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return {};
  }
  png_set_write_fn(
      png, &out,
      [](png_structp p, png_bytep data, size_t n) {
        auto* v = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(p));
        v->insert(v->end(), data, data + n);
      },
      nullptr);
  png_set_IHDR(png, info, image.width, image.height, image.depth, image.colourType, image.interlace,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!image.palette.empty()) {
    png_set_PLTE(png, info, image.palette.data(), static_cast<int>(image.palette.size()));
  }
  if (!image.transparency.empty()) {
    png_set_tRNS(png, info, image.transparency.data(), static_cast<int>(image.transparency.size()),
                 nullptr);
  }
  png_write_info(png, info);
  std::vector<png_bytep> rows;
  for (auto& r : image.rows) rows.push_back(const_cast<png_bytep>(r.data()));
  png_write_image(png, rows.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

}  // namespace qd::testing
