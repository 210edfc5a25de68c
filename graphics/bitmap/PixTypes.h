// Value types shared by the pixel layer and the graphics core: rectangles, colours, blends,
// and the blit mode words. Plain data; usable from any thread.
#pragma once

#include <algorithm>
#include <cstdint>

namespace qd {

// A 32-bit pixel word 0xAARRGGBB, stored little-endian (bytes B, G, R, A), colours straight.
using PixelWord = uint32_t;

// Integer rectangle; right and bottom are exclusive. Empty exactly when all four are 0.
struct Bounds {
  int32_t left = 0, top = 0, right = 0, bottom = 0;

  bool IsEmpty() const { return left == 0 && top == 0 && right == 0 && bottom == 0; }
  int32_t Width() const { return right - left; }
  int32_t Height() const { return bottom - top; }
  // Overlap test of the redraw and intersection rules: touching edges on the right and
  // bottom count as overlapping.
  bool Overlaps(const Bounds& b) const {
    return right >= b.left && left < b.right && bottom >= b.top && top < b.bottom;
  }
  Bounds Intersect(const Bounds& b) const {
    if (IsEmpty() || b.IsEmpty() || !Overlaps(b)) return {};
    return {std::max(left, b.left), std::max(top, b.top), std::min(right, b.right),
            std::min(bottom, b.bottom)};
  }
  // Union of this (non-empty) rectangle with b; an empty b leaves it unchanged.
  Bounds Union(const Bounds& b) const {
    if (b.IsEmpty()) return *this;
    if (IsEmpty()) return b;
    return {std::min(left, b.left), std::min(top, b.top), std::max(right, b.right),
            std::max(bottom, b.bottom)};
  }
  bool Contains(int32_t x, int32_t y) const {
    return left <= x && x < right && top <= y && y < bottom;
  }
  bool operator==(const Bounds&) const = default;
};

// A colour as four 0..255 channels.
struct Argb {
  int32_t a = 255, r = 0, g = 0, b = 0;
  PixelWord Word() const {
    return (static_cast<PixelWord>(a & 0xFF) << 24) | (static_cast<PixelWord>(r & 0xFF) << 16) |
           (static_cast<PixelWord>(g & 0xFF) << 8) | static_cast<PixelWord>(b & 0xFF);
  }
};

// How a control's image combines with what lies below.
enum BlendMethod : int32_t {
  kBlendNone = 0,     // source alpha over the destination (blit mode 0x10000)
  kBlendClobber = 1,  // plain copy, alpha included (blit mode 0)
  kBlendAdd = 2,      // add with source alpha (0x10001)
  kBlendDodge = 3,    // colour-dodge with source alpha (0x10002)
};

struct Blend {
  int32_t method = kBlendNone;
  float weight = 1.0f;
};

// Blit mode words. The low byte is the operation; kBlitUseAlpha means the source alpha is used;
// kBlitFilter is a filtering flag that the blitter masks off.
constexpr int32_t kBlitCopy = 0;
constexpr int32_t kBlitUseAlpha = 0x10000;
constexpr int32_t kBlitAlphaCopy = 0x10000;
constexpr int32_t kBlitAlphaAdd = 0x10001;
constexpr int32_t kBlitAlphaDodge = 0x10002;
constexpr int32_t kBlitFilter = 0x100;
// Channel copy: source channel (mode & 3) into destination channel ((mode >> 2) & 3), where
// channel n is bits 8n..8n+7 of the pixel word (0 blue, 1 green, 2 red, 3 alpha).
constexpr int32_t ChannelCopyMode(int srcChannel, int dstChannel) {
  return 0xF0 | ((dstChannel & 3) << 2) | (srcChannel & 3);
}

inline int32_t BlitModeForBlend(int32_t method) {
  switch (method) {
    case kBlendClobber:
      return kBlitCopy;
    case kBlendAdd:
      return kBlitAlphaAdd;
    case kBlendDodge:
      return kBlitAlphaDodge;
    default:
      return kBlitAlphaCopy;
  }
}

}  // namespace qd
