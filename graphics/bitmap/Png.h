// PNG images to and from bitmaps. Decoding runs on the editor thread when strips are loaded;
// every byte sequence is safe: data that is too short, lacks the signature or fails to decode
// gives no bitmap, and nothing is reported.
#pragma once

#include <cstddef>
#include <cstdint>

#include "graphics/bitmap/PixBitmap.h"

namespace qd {

// Decodes PNG bytes into `dst` (resized to the image) or, when dst is null, into a new
// PixMemBitmap with line alignment 4 that the caller owns. Returns the bitmap or null.
// Every PNG colour type and depth, interlaced or not, ends as straight 0xAARRGGBB pixels;
// images without alpha get alpha 255, a transparency chunk becomes the alpha channel.
PixBitmap* DecodePngMemory(const void* bytes, size_t length, PixBitmap* dst = nullptr);

// Decodes the resource of type "PNG" with this id from a resource table (the module
// handle, a `const ResourceTable*`). Null when the module, the resource or the image fails.
PixBitmap* LoadPngResource(const void* module, int32_t id, PixBitmap* dst = nullptr);

// Writes the bitmap as an 8-bit RGBA PNG file. False when the bitmap has no pixels or the
// file cannot be written.
bool WritePngFile(const PixBitmap& bitmap, const char* path);

}  // namespace qd
