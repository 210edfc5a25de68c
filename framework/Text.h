// Fixed-size text fields and safe numeric conversions shared by the framework.
// Pure functions; callable from any thread, including the audio thread.
#pragma once

#include <cerrno>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace qd {

// Copies src into a field of `size` bytes, cutting what does not fit, always terminated.
// A null src gives the empty text.
inline void CopyText(char* dst, std::size_t size, const char* src) {
  if (!dst || size == 0) return;
  if (!src) {
    dst[0] = '\0';
    return;
  }
  std::size_t n = 0;
  while (n + 1 < size && src[n] != '\0') ++n;
  std::memmove(dst, src, n);
  dst[n] = '\0';
}

template <std::size_t N>
inline void CopyText(char (&dst)[N], const char* src) {
  CopyText(dst, N, src);
}

// Truncates toward zero like a C cast, but saturates instead of invoking undefined
// behaviour for values outside the int32 range; NaN gives 0.
inline int32_t TruncateToInt(double v) {
  if (std::isnan(v)) return 0;
  if (v >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  if (v <= -2147483648.0) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(v);
}

// How much of a text a number must fill. kLeadingNumber (hosts): a finite number at the start,
// leading blanks allowed, a unit or anything else may follow. kWholeText (the editor's text
// entry): the number and nothing after it but spaces and tabs, within the double range (a
// value that underflows is refused as well).
enum class NumberRule { kLeadingNumber, kWholeText };

// The one reader of a number a host or a user types, by `rule`. False, and *value untouched,
// for null, empty or junk text and for "nan" or "inf".
inline bool ParseNumberText(const char* text, double* value,
                            NumberRule rule = NumberRule::kLeadingNumber) {
  if (!text || !value) return false;
  errno = 0;
  char* end = nullptr;
  const double v = std::strtod(text, &end);
  if (end == text || !std::isfinite(v)) return false;
  if (rule == NumberRule::kWholeText) {
    if (errno == ERANGE) return false;
    while (*end == ' ' || *end == '\t') ++end;
    if (*end != '\0') return false;
  }
  *value = v;
  return true;
}

}  // namespace qd
