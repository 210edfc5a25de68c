// Block transfer, rectangle fill and clear over PixBitmaps. Editor thread; no allocation.
// Every rectangle, origin, weight and mode is safe: everything is clipped to both bitmaps,
// a missing bitmap or one without pixels draws nothing, the weight is taken as 0..1 (NaN
// as 0), and unknown mode words draw nothing.
#pragma once

#include <cstdint>

#include "graphics/bitmap/PixBitmap.h"

namespace qd {

// Copies the source rectangle (the whole source when null) to (dx, dy) of the destination.
// Modes: kBlitCopy, kBlitAlphaCopy, kBlitAlphaAdd, kBlitAlphaDodge, ChannelCopyMode(..).
// Source and destination may be the same bitmap when the regions do not overlap.
void BlitBitmap(PixBitmap* dst, const PixBitmap* src, int32_t dx, int32_t dy, const Bounds* srcRect,
                float weight, int32_t mode);
void BlitBitmap(PixBitmap* dst, const PixBitmap* src, int32_t dx, int32_t dy, int32_t sx,
                int32_t sy, int32_t width, int32_t height, float weight, int32_t mode);

// Fills a rectangle with a colour at a weight; with kBlitUseAlpha in the mode the weight is
// scaled by the colour's alpha first.
void FillBitmapRect(PixBitmap* bitmap, int32_t x, int32_t y, int32_t width, int32_t height,
                    PixelWord colour, float weight, int32_t mode);

// Every pixel of every row becomes value.
void ClearBitmap(PixBitmap* bitmap, PixelWord value);

}  // namespace qd
