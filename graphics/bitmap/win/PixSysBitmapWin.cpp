// The draw bitmap on Windows: a 32-bit top-down device-independent section selected into a
// memory device context compatible with the screen.
#include <windows.h>

#include "graphics/bitmap/PixBitmap.h"

namespace qd {

PixSysBitmap::PixSysBitmap(int32_t width, int32_t height) {
  dc_ = CreateCompatibleDC(nullptr);
  Resize(width, height);
}

PixSysBitmap::~PixSysBitmap() {
  HDC dc = static_cast<HDC>(dc_);
  if (dc && previous_) SelectObject(dc, static_cast<HGDIOBJ>(previous_));
  if (section_) DeleteObject(static_cast<HGDIOBJ>(section_));
  if (dc) DeleteDC(dc);
}

bool PixSysBitmap::Resize(int32_t width, int32_t height) {
  HDC dc = static_cast<HDC>(dc_);
  if (!dc) {
    width_ = height_ = 0;
    pixels_ = nullptr;
    return false;
  }
  if (width == width_ && height == height_) return false;
  width_ = width;
  height_ = height;
  if (width > 0 && height > 0 && pixels_ && allocWidth_ >= width && allocHeight_ >= height) {
    return true;
  }
  allocHeight_ = height;
  allocWidth_ = width > 0 ? (width + 3) & ~3 : width;
  if (section_) {
    SelectObject(dc, static_cast<HGDIOBJ>(previous_));
    DeleteObject(static_cast<HGDIOBJ>(section_));
    section_ = previous_ = nullptr;
  }
  pixels_ = nullptr;
  // Sections past 2 GB are refused like any failed allocation.
  if (allocWidth_ >= 1 && allocHeight_ >= 1 &&
      static_cast<int64_t>(allocWidth_) * allocHeight_ * 4 < (int64_t{1} << 31)) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = allocWidth_;
    info.bmiHeader.biHeight = -allocHeight_;  // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP section = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (section && bits) {
      section_ = section;
      previous_ = SelectObject(dc, section);
      pixels_ = static_cast<PixelWord*>(bits);
    } else if (section) {
      DeleteObject(section);
    }
  }
  if (!pixels_) width_ = height_ = allocWidth_ = allocHeight_ = 0;
  return true;
}

}  // namespace qd
