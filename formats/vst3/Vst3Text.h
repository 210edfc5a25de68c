// Text between the plug-in's UTF-8 fields and the format's UTF-16 strings (String128 and
// the wide class info). Pure functions over fixed-size buffers: any thread, no allocation.
#pragma once

#include <cstddef>

#include "formats/vst3/Vst3Abi.h"

namespace qd::vst3 {

// Copies UTF-8 `src` into `size` UTF-16 units, cutting what does not fit, always terminated.
// Invalid UTF-8 bytes become U+FFFD; a null src gives the empty text.
void CopyToUtf16(char16* dst, std::size_t size, const char* src);

template <std::size_t N>
void CopyToUtf16(char16 (&dst)[N], const char* src) {
  CopyToUtf16(dst, N, src);
}

// Copies at most `maxUnits` UTF-16 units of `src` (stopping at a terminator) into `size`
// bytes of UTF-8, cutting at a whole character, always terminated. Unpaired surrogates
// become U+FFFD; a null src gives the empty text.
void CopyToUtf8(char* dst, std::size_t size, const char16* src, std::size_t maxUnits);

}  // namespace qd::vst3
