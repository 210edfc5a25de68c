#include "graphics/bitmap/PixBitmap.h"

#include <cstdlib>
#include <limits>
#include <new>

namespace qd {

namespace {

constexpr int64_t kAlignExtra = 63;
// Largest pixel buffer a bitmap takes; larger sizes fail as an allocation failure would.
constexpr int64_t kMaxBitmapBytes = std::numeric_limits<int32_t>::max() - kAlignExtra;

// Row span of `width` pixels with the mask bits cleared; computed wide so that no width
// overflows.
int64_t SpanFor(int64_t width, int32_t mask) {
  return (width + mask) & ~static_cast<int64_t>(mask);
}

// Bytes of `height` rows of `span` pixels, or -1 when either is not positive or the buffer
// would exceed kMaxBitmapBytes; never overflows.
int64_t BufferBytes(int64_t span, int64_t height) {
  if (span <= 0 || height <= 0) return -1;
  if (span > kMaxBitmapBytes / 4 / height) return -1;
  return span * height * 4;
}

}  // namespace

PixMemBitmap::PixMemBitmap(int32_t width, int32_t height, int32_t lineAlignment) {
  if (lineAlignment >= 2) {
    // Lowest set bit of the alignment, at most 16 pixels, minus one.
    int32_t low = lineAlignment & -lineAlignment;
    alignMask_ = std::min(low, 16) - 1;
  }
  if (width > 0 && height > 0) Resize(width, height);
}

PixMemBitmap::~PixMemBitmap() {
  Release();
}

void PixMemBitmap::Release() {
  std::free(raw_);
  raw_ = nullptr;
  allocated_ = 0;
}

PixelWord* PixMemBitmap::Pixels() {
  if (!raw_) return nullptr;
  uintptr_t p = reinterpret_cast<uintptr_t>(raw_);
  return reinterpret_cast<PixelWord*>((p + kAlignExtra) & ~static_cast<uintptr_t>(kAlignExtra));
}

int32_t PixMemBitmap::RowSpan() const {
  return static_cast<int32_t>(SpanFor(width_, alignMask_));
}

bool PixMemBitmap::Resize(int32_t width, int32_t height) {
  if (width == width_ && height == height_) return false;
  width_ = width;
  height_ = height;
  int64_t needed = BufferBytes(SpanFor(width, alignMask_), height);
  if (needed > 0 && width > 0 && height > 0) {
    if (!raw_) {
      raw_ = std::malloc(static_cast<size_t>(needed + kAlignExtra));
      allocated_ = raw_ ? needed : 0;
    } else if (allocated_ < needed) {
      int64_t grown = std::min((needed / 4) * 5, kMaxBitmapBytes);
      void* moved = std::realloc(raw_, static_cast<size_t>(grown + kAlignExtra));
      if (moved) {
        raw_ = moved;
        allocated_ = grown;
      } else {
        Release();
        raw_ = std::malloc(static_cast<size_t>(needed + kAlignExtra));
        allocated_ = raw_ ? needed : 0;
      }
    }
  } else {
    Release();
  }
  if (!raw_) width_ = height_ = 0;
  return true;
}

#ifndef _WIN32  // the Windows section is in win/PixSysBitmapWin.cpp
PixSysBitmap::PixSysBitmap(int32_t width, int32_t height) {
  Resize(width, height);
}

PixSysBitmap::~PixSysBitmap() {
  delete[] pixels_;
}

bool PixSysBitmap::Resize(int32_t width, int32_t height) {
  if (width == width_ && height == height_) return false;
  width_ = width;
  height_ = height;
  if (width > 0 && height > 0 && pixels_ && allocWidth_ >= width && allocHeight_ >= height) {
    return true;
  }
  delete[] pixels_;
  pixels_ = nullptr;
  allocWidth_ = allocHeight_ = 0;
  if (width >= 1 && height >= 1) {
    int64_t span = SpanFor(width, 3);
    if (BufferBytes(span, height) > 0) {
      // Zeroed like a freshly created section.
      pixels_ = new (std::nothrow) PixelWord[static_cast<size_t>(span * height)]();
    }
    if (pixels_) {
      allocWidth_ = static_cast<int32_t>(span);
      allocHeight_ = height;
    }
  }
  if (!pixels_) width_ = height_ = 0;
  return true;
}

#endif  // _WIN32

}  // namespace qd
