// Bitmaps of 32-bit pixel words, rows top to bottom, row span (in pixels) a multiple of the
// line alignment. Owned by whoever made them; used on the editor thread only; no locks.
// Every size a caller passes is safe: sizes that are not positive or whose buffer would not
// fit in 2 GB leave a 0 x 0 bitmap without pixels.
#pragma once

#include <cstdint>

#include "graphics/bitmap/PixTypes.h"

namespace qd {

class PixBitmap {
 public:
  virtual ~PixBitmap() = default;
  // First pixel of the top row; null when the bitmap has no pixels.
  virtual PixelWord* Pixels() = 0;
  virtual int32_t Width() const = 0;
  virtual int32_t Height() const = 0;
  virtual int32_t RowSpan() const = 0;  // pixels between the starts of two rows
  virtual bool IsFlipped() const { return false; }
  // True when the size changed; false when (width, height) is the current size.
  virtual bool Resize(int32_t width, int32_t height) = 0;
  // The platform drawing context; none on this platform.
  virtual void* DrawingContext() { return nullptr; }
  virtual intptr_t Extension(int32_t, intptr_t) { return 0; }

  const PixelWord* Pixels() const { return const_cast<PixBitmap*>(this)->Pixels(); }
  PixelWord* Row(int32_t y) { return Pixels() + static_cast<intptr_t>(y) * RowSpan(); }
  const PixelWord* Row(int32_t y) const { return Pixels() + static_cast<intptr_t>(y) * RowSpan(); }
  bool HasPixels() const { return Pixels() != nullptr && Width() > 0 && Height() > 0; }
};

// Heap pixels, the pixel pointer aligned to 64 bytes, buffers that grow by a quarter more
// than needed. Pixels are not cleared by Resize.
class PixMemBitmap : public PixBitmap {
 public:
  PixMemBitmap(int32_t width = 0, int32_t height = 0, int32_t lineAlignment = 4);
  ~PixMemBitmap() override;
  PixMemBitmap(const PixMemBitmap&) = delete;
  PixMemBitmap& operator=(const PixMemBitmap&) = delete;

  PixelWord* Pixels() override;
  int32_t Width() const override { return width_; }
  int32_t Height() const override { return height_; }
  int32_t RowSpan() const override;
  bool Resize(int32_t width, int32_t height) override;
  int64_t AllocatedBytes() const { return allocated_; }  // without the 63 alignment bytes

 private:
  void Release();
  void* raw_ = nullptr;
  int32_t width_ = 0;
  int32_t height_ = 0;
  int64_t allocated_ = 0;
  int32_t alignMask_ = 0;
};

// The editor's draw bitmap: zeroed heap pixels with a row span of a multiple of 4 pixels,
// kept when a resize fits in the current allocation. It has no platform drawing context
// here; the window copies its pixels to the screen.
class PixSysBitmap : public PixBitmap {
 public:
  PixSysBitmap(int32_t width, int32_t height);
  ~PixSysBitmap() override;
  PixSysBitmap(const PixSysBitmap&) = delete;
  PixSysBitmap& operator=(const PixSysBitmap&) = delete;

  PixelWord* Pixels() override { return pixels_; }
  int32_t Width() const override { return width_; }
  int32_t Height() const override { return height_; }
  int32_t RowSpan() const override { return allocWidth_; }
  bool Resize(int32_t width, int32_t height) override;
#ifdef _WIN32
  // On Windows the pixels are a device-independent section selected into this device
  // context, so GDI text can draw into them (win/PixSysBitmapWin.cpp).
  void* DrawingContext() override {
    return dc_;
  }
#endif

 private:
  int32_t width_ = 0;
  int32_t height_ = 0;
  PixelWord* pixels_ = nullptr;
  int32_t allocWidth_ = 0;
  int32_t allocHeight_ = 0;
#ifdef _WIN32
  void* dc_ = nullptr;
  void* section_ = nullptr;
  void* previous_ = nullptr;
#endif
};

}  // namespace qd
