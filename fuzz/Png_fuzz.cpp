// PNG bytes decoded from memory, as the editor decodes its images.
#include <cstdint>
#include <memory>

#include "graphics/bitmap/PixBitmap.h"
#include "graphics/bitmap/Png.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::unique_ptr<qd::PixBitmap> bitmap(qd::DecodePngMemory(data, size));
  if (bitmap && bitmap->HasPixels()) {
    // Touch the first and last row so a short buffer shows.
    volatile uint32_t sink = bitmap->Row(0)[0];
    sink = bitmap->Row(bitmap->Height() - 1)[bitmap->Width() - 1];
    (void)sink;
  }
  return 0;
}
