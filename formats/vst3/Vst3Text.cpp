#include "formats/vst3/Vst3Text.h"

#include <cstdint>

namespace qd::vst3 {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one UTF-8 character at s (not at its terminator); advances s past it.
char32_t DecodeUtf8(const unsigned char*& s) {
  const unsigned char lead = *s++;
  if (lead < 0x80) return lead;
  int more = 0;
  char32_t c = 0;
  if ((lead & 0xE0) == 0xC0) {
    more = 1;
    c = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    more = 2;
    c = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    more = 3;
    c = lead & 0x07;
  } else {
    return kReplacement;
  }
  for (int i = 0; i < more; ++i) {
    if ((*s & 0xC0) != 0x80) return kReplacement;  // a terminator stops here too
    c = (c << 6) | (*s++ & 0x3F);
  }
  static constexpr char32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
  if (c < kSmallest[more] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return kReplacement;
  return c;
}

}  // namespace

void CopyToUtf16(char16* dst, std::size_t size, const char* src) {
  if (!dst || size == 0) return;
  std::size_t n = 0;
  const auto* s = reinterpret_cast<const unsigned char*>(src ? src : "");
  while (*s != '\0') {
    const char32_t c = DecodeUtf8(s);
    const std::size_t units = c >= 0x10000 ? 2 : 1;
    if (n + units + 1 > size) break;
    if (units == 2) {
      dst[n++] = static_cast<char16>(0xD800 + ((c - 0x10000) >> 10));
      dst[n++] = static_cast<char16>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      dst[n++] = static_cast<char16>(c);
    }
  }
  dst[n] = u'\0';
}

void CopyToUtf8(char* dst, std::size_t size, const char16* src, std::size_t maxUnits) {
  if (!dst || size == 0) return;
  std::size_t n = 0;
  for (std::size_t i = 0; src && i < maxUnits && src[i] != u'\0'; ++i) {
    char32_t c = src[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < maxUnits && src[i + 1] >= 0xDC00 &&
        src[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (src[++i] - 0xDC00);
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = kReplacement;
    }
    char bytes[4];
    std::size_t len;
    if (c < 0x80) {
      bytes[0] = static_cast<char>(c);
      len = 1;
    } else if (c < 0x800) {
      bytes[0] = static_cast<char>(0xC0 | (c >> 6));
      bytes[1] = static_cast<char>(0x80 | (c & 0x3F));
      len = 2;
    } else if (c < 0x10000) {
      bytes[0] = static_cast<char>(0xE0 | (c >> 12));
      bytes[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      bytes[2] = static_cast<char>(0x80 | (c & 0x3F));
      len = 3;
    } else {
      bytes[0] = static_cast<char>(0xF0 | (c >> 18));
      bytes[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      bytes[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      bytes[3] = static_cast<char>(0x80 | (c & 0x3F));
      len = 4;
    }
    if (n + len + 1 > size) break;
    for (std::size_t k = 0; k < len; ++k) dst[n++] = bytes[k];
  }
  dst[n] = '\0';
}

}  // namespace qd::vst3
