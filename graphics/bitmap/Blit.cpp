#include "graphics/bitmap/Blit.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace qd {

namespace {

// int(weight x 256), with the weight taken as 0..1 so that no weight overflows the
// per-byte arithmetic.
int32_t WeightTo256(float weight) {
  if (!(weight > 0.0f)) return 0;
  if (weight >= 1.0f) return 256;
  return static_cast<int32_t>(weight * 256.0f);
}

inline int32_t Byte(PixelWord p, int shift) {
  return static_cast<int32_t>((p >> shift) & 0xFF);
}
inline PixelWord Pack(int32_t a, int32_t r, int32_t g, int32_t b) {
  return (static_cast<PixelWord>(a & 0xFF) << 24) | (static_cast<PixelWord>(r & 0xFF) << 16) |
         (static_cast<PixelWord>(g & 0xFF) << 8) | static_cast<PixelWord>(b & 0xFF);
}
inline int32_t Clamp255(int32_t v) {
  return std::clamp(v, 0, 255);
}

// s + (d - s) x keep / 256 on each byte named by the mask of shifts.
inline int32_t Mix(int32_t s, int32_t d, int32_t keep) {
  return s + (d - s) * keep / 256;
}

void CopyRowWeighted(PixelWord* d, const PixelWord* s, int32_t n, int32_t w) {
  int32_t keep = 256 - w;
  for (int32_t i = 0; i < n; ++i) {
    PixelWord sp = s[i], dp = d[i];
    d[i] = Pack(Mix(Byte(sp, 24), Byte(dp, 24), keep), Mix(Byte(sp, 16), Byte(dp, 16), keep),
                Mix(Byte(sp, 8), Byte(dp, 8), keep), Mix(Byte(sp, 0), Byte(dp, 0), keep));
  }
}

void AlphaCopyRow(PixelWord* d, const PixelWord* s, int32_t n, int32_t w) {
  for (int32_t i = 0; i < n; ++i) {
    PixelWord sp = s[i], dp = d[i];
    int32_t a = Byte(sp, 24);
    if (a == 0) continue;
    if (w == 256) {
      if (a == 255) {
        d[i] = sp;
        continue;
      }
      int32_t keep = 255 - a;
      d[i] = Pack(std::min(a + Byte(dp, 24), 255), Mix(Byte(sp, 16), Byte(dp, 16), keep),
                  Mix(Byte(sp, 8), Byte(dp, 8), keep), Mix(Byte(sp, 0), Byte(dp, 0), keep));
    } else {
      int32_t r = w * (a + 1) / 256;
      int32_t keep = 256 - r;
      d[i] = Pack(std::min(r + Byte(dp, 24), 255), Mix(Byte(sp, 16), Byte(dp, 16), keep),
                  Mix(Byte(sp, 8), Byte(dp, 8), keep), Mix(Byte(sp, 0), Byte(dp, 0), keep));
    }
  }
}

void AlphaAddRow(PixelWord* d, const PixelWord* s, int32_t n, int32_t w) {
  for (int32_t i = 0; i < n; ++i) {
    PixelWord sp = s[i], dp = d[i];
    int32_t a = Byte(sp, 24);
    if (a == 0) continue;
    int32_t p = w * (a + 1) / 256;
    d[i] =
        Pack(Clamp255(Byte(dp, 24) + a * p / 256), Clamp255(Byte(dp, 16) + p * Byte(sp, 16) / 256),
             Clamp255(Byte(dp, 8) + p * Byte(sp, 8) / 256),
             Clamp255(Byte(dp, 0) + p * Byte(sp, 0) / 256));
  }
}

// Colour dodge: the destination brightened by the weighted source, d x 255 / (255 - s').
void AlphaDodgeRow(PixelWord* d, const PixelWord* s, int32_t n, int32_t w) {
  auto dodge = [](int32_t dc, int32_t sc) {
    return sc >= 255 ? 255 : Clamp255(dc * 255 / (255 - sc));
  };
  for (int32_t i = 0; i < n; ++i) {
    PixelWord sp = s[i], dp = d[i];
    int32_t a = Byte(sp, 24);
    if (a == 0) continue;
    int32_t p = w * (a + 1) / 256;
    d[i] =
        Pack(Byte(dp, 24), dodge(Byte(dp, 16), Byte(sp, 16) * p / 256),
             dodge(Byte(dp, 8), Byte(sp, 8) * p / 256), dodge(Byte(dp, 0), Byte(sp, 0) * p / 256));
  }
}

void ChannelCopyRow(PixelWord* d, const PixelWord* s, int32_t n, int32_t mode) {
  int srcShift = (mode & 3) * 8;
  int dstShift = ((mode >> 2) & 3) * 8;
  PixelWord keepMask = ~(static_cast<PixelWord>(0xFF) << dstShift);
  for (int32_t i = 0; i < n; ++i) {
    d[i] = (d[i] & keepMask) | (static_cast<PixelWord>(Byte(s[i], srcShift)) << dstShift);
  }
}

}  // namespace

void BlitBitmap(PixBitmap* dst, const PixBitmap* src, int32_t dx, int32_t dy, const Bounds* srcRect,
                float weight, int32_t mode) {
  if (!dst || !src || weight == 0.0f) return;
  if (!dst->HasPixels() || !src->HasPixels()) return;
  // Clip in 64-bit arithmetic so that no origin or rectangle overflows.
  int64_t sl = 0, st = 0, sr = src->Width(), sb = src->Height();
  if (srcRect) {
    sl = std::max<int64_t>(srcRect->left, 0);
    st = std::max<int64_t>(srcRect->top, 0);
    sr = std::min<int64_t>(srcRect->right, src->Width());
    sb = std::min<int64_t>(srcRect->bottom, src->Height());
  }
  int64_t x = dx, y = dy;
  if (x < 0) {
    sl -= x;
    x = 0;
  }
  if (y < 0) {
    st -= y;
    y = 0;
  }
  int64_t w = std::min(sr - sl, static_cast<int64_t>(dst->Width()) - x);
  int64_t h = std::min(sb - st, static_cast<int64_t>(dst->Height()) - y);
  if (w <= 0 || h <= 0) return;
  const int32_t n = static_cast<int32_t>(w);

  mode &= 0x100FF;
  const int32_t op = mode & 0xFF;
  const int32_t w256 = WeightTo256(weight);
  for (int64_t row = 0; row < h; ++row) {
    PixelWord* d = dst->Row(static_cast<int32_t>(y + row)) + x;
    const PixelWord* s = src->Row(static_cast<int32_t>(st + row)) + sl;
    if (op >= 0xF0) {
      ChannelCopyRow(d, s, n, mode);
    } else if (mode == kBlitCopy) {
      if (weight == 1.0f) {
        std::memmove(d, s, static_cast<size_t>(n) * sizeof(PixelWord));
      } else if (weight == 0.5f) {
        for (int32_t i = 0; i < n; ++i)
          d[i] = ((d[i] >> 1) & 0x7F7F7F7F) + ((s[i] >> 1) & 0x7F7F7F7F);
      } else if (w256 >= 1) {
        CopyRowWeighted(d, s, n, w256);
      }
    } else if (mode == kBlitAlphaCopy) {
      AlphaCopyRow(d, s, n, w256);
    } else if (mode == kBlitAlphaAdd) {
      AlphaAddRow(d, s, n, w256);
    } else if (mode == kBlitAlphaDodge) {
      AlphaDodgeRow(d, s, n, w256);
    }
  }
}

void BlitBitmap(PixBitmap* dst, const PixBitmap* src, int32_t dx, int32_t dy, int32_t sx,
                int32_t sy, int32_t width, int32_t height, float weight, int32_t mode) {
  Bounds r{sx, sy,
           static_cast<int32_t>(std::clamp<int64_t>(int64_t{sx} + width, INT32_MIN, INT32_MAX)),
           static_cast<int32_t>(std::clamp<int64_t>(int64_t{sy} + height, INT32_MIN, INT32_MAX))};
  BlitBitmap(dst, src, dx, dy, &r, weight, mode);
}

void FillBitmapRect(PixBitmap* bitmap, int32_t x, int32_t y, int32_t width, int32_t height,
                    PixelWord colour, float weight, int32_t mode) {
  if (!bitmap || !bitmap->HasPixels()) return;
  if (mode & kBlitUseAlpha) weight *= static_cast<float>(colour >> 24) / 255.0f;
  int64_t l = x, t = y, r = int64_t{x} + width, b = int64_t{y} + height;
  l = std::max<int64_t>(l, 0);
  t = std::max<int64_t>(t, 0);
  r = std::min<int64_t>(r, bitmap->Width());
  b = std::min<int64_t>(b, bitmap->Height());
  if (r <= l || b <= t) return;
  const int32_t w = WeightTo256(weight);
  if (w < 1 || (mode & 0xFF) != 0) return;
  const int32_t n = static_cast<int32_t>(r - l);
  const int32_t keep = 256 - w;
  const int32_t cr = Byte(colour, 16), cg = Byte(colour, 8), cb = Byte(colour, 0);
  for (int64_t row = t; row < b; ++row) {
    PixelWord* d = bitmap->Row(static_cast<int32_t>(row)) + l;
    switch (w) {
      case 256:
        std::fill(d, d + n, colour);
        break;
      case 128:
        for (int32_t i = 0; i < n; ++i)
          d[i] = ((colour >> 1) & 0x7F7F7F7F) + ((d[i] >> 1) & 0x7F7F7F7F);
        break;
      case 64:
        for (int32_t i = 0; i < n; ++i) {
          d[i] = ((colour >> 2) & 0x3F3F3F3F) + ((d[i] >> 1) & 0x7F7F7F7F) +
                 ((d[i] >> 2) & 0x3F3F3F3F);
        }
        break;
      case 192:
        for (int32_t i = 0; i < n; ++i) {
          d[i] = ((colour >> 2) & 0x3F3F3F3F) + ((colour >> 1) & 0x7F7F7F7F) +
                 ((d[i] >> 2) & 0x3F3F3F3F);
        }
        break;
      default:
        for (int32_t i = 0; i < n; ++i) {
          PixelWord dp = d[i];
          d[i] = Pack(Mix(w, Byte(dp, 24), keep), Mix(cr, Byte(dp, 16), keep),
                      Mix(cg, Byte(dp, 8), keep), Mix(cb, Byte(dp, 0), keep));
        }
        break;
    }
  }
}

void ClearBitmap(PixBitmap* bitmap, PixelWord value) {
  if (!bitmap || !bitmap->HasPixels()) return;
  for (int32_t y = 0; y < bitmap->Height(); ++y) {
    PixelWord* row = bitmap->Row(y);
    std::fill(row, row + bitmap->Width(), value);
  }
}

}  // namespace qd
