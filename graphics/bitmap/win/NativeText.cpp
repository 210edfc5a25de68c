// The native text path on Windows: GDI draws the text straight into a bitmap's device
// context, or, for a bitmap without one, into a scratch section that is copied back.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>

#include "graphics/bitmap/Blit.h"
#include "graphics/bitmap/PixFont.h"

namespace qd {

namespace {

// True when the text holds a UTF-8 sequence: a lead byte above 0xC1 followed by the
// continuation bytes it announces.
bool HasUtf8Sequence(const char* text, int32_t length) {
  const auto* s = reinterpret_cast<const unsigned char*>(text);
  for (int32_t i = 0; i < length; ++i) {
    if (s[i] <= 0xC1 || s[i] > 0xF4) continue;
    const int32_t extra = s[i] >= 0xF0 ? 3 : s[i] >= 0xE0 ? 2 : 1;
    if (i + extra >= length) continue;
    bool valid = true;
    for (int32_t k = 1; k <= extra; ++k) valid = valid && (s[i + k] & 0xC0) == 0x80;
    if (valid) return true;
  }
  return false;
}

COLORREF Colour(PixelWord word) {
  return RGB((word >> 16) & 0xFF, (word >> 8) & 0xFF, word & 0xFF);
}

// Runs GDI's text function on a device context with the font and colours selected.
int32_t DrawOnContext(HDC dc, HFONT font, const char* text, int32_t length, const wchar_t* wide,
                      int32_t wideLength, RECT* rect, int32_t flags,
                      const NativeTextColours& colours) {
  HGDIOBJ previous = SelectObject(dc, font);
  SetTextColor(dc, Colour(colours.text));
  SetBkMode(dc, colours.backgroundMode == 2 ? OPAQUE : TRANSPARENT);
  if (colours.backgroundMode == 2) SetBkColor(dc, Colour(colours.background));
  const UINT format = static_cast<UINT>(flags | DT_NOPREFIX);
  const int height = wide ? DrawTextW(dc, wide, wideLength, rect, format)
                          : DrawTextA(dc, text, length, rect, format);
  GdiFlush();
  SelectObject(dc, previous);
  return height;
}

// The scratch section for bitmaps without a device context; shared by every font.
std::mutex g_scratchLock;
std::unique_ptr<PixSysBitmap> g_scratch;

}  // namespace

bool RunningUnderWine() {
  static const bool underWine = [] {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Wine", 0, KEY_READ, &key) != ERROR_SUCCESS) {
      return false;
    }
    RegCloseKey(key);
    return true;
  }();
  return underWine;
}

int32_t DrawNativeText(PlatformFont& font, PixBitmap* bitmap, const char* text, int32_t length,
                       Bounds* rect, int32_t flags, const NativeTextColours& colours) {
  HFONT handle = static_cast<HFONT>(NativeFontHandle(font));
  if (!handle || !rect || !text || length < 0) return 0;
  // UTF-8 text goes to the wide-character function; other text is single-byte.
  wchar_t local[1024];
  std::wstring heap;
  const wchar_t* wide = nullptr;
  int32_t wideLength = 0;
  if (HasUtf8Sequence(text, length)) {
    wchar_t* out = local;
    int capacity = 1024;
    if (length > 999) {
      heap.resize(static_cast<size_t>(length) + 1);
      out = heap.data();
      capacity = static_cast<int>(heap.size());
    }
    wideLength = MultiByteToWideChar(CP_UTF8, 0, text, length, out, capacity);
    wide = out;
  }
  const bool measuring = (flags & kTextMeasure) != 0;
  HDC dc = bitmap ? static_cast<HDC>(bitmap->DrawingContext()) : nullptr;
  RECT r{rect->left, rect->top, rect->right, rect->bottom};
  if (dc) {
    const int32_t height =
        DrawOnContext(dc, handle, text, length, wide, wideLength, &r, flags, colours);
    if (measuring) *rect = Bounds{r.left, r.top, r.right, r.bottom};
    return height;
  }

  // Without a device context: measure first.
  HDC measureDc = CreateCompatibleDC(nullptr);
  if (!measureDc) return 0;
  RECT m = r;
  const int32_t height = DrawOnContext(measureDc, handle, text, length, wide, wideLength, &m,
                                       (flags & ~kTextMeasure & ~0xF) | kTextMeasure, colours);
  DeleteDC(measureDc);
  if (measuring) {
    *rect = Bounds{m.left, m.top, m.right, m.bottom};
    return height;
  }
  if (!bitmap || !bitmap->HasPixels()) return 0;
  // The text's box from the alignment flags.
  const int32_t w = m.right - m.left, h = m.bottom - m.top;
  Bounds box{rect->left, rect->top, rect->left + w, rect->top + h};
  if (flags & kTextRight) box.left = rect->right - w;
  if (flags & kTextCentre) box.left = rect->left + (rect->right - rect->left - w) / 2;
  if (flags & kTextBottom) box.top = rect->bottom - h;
  if (flags & kTextVCentre) box.top = rect->top + (rect->bottom - rect->top - h) / 2;
  box.right = box.left + w;
  box.bottom = box.top + h;
  Bounds clip{0, 0, bitmap->Width(), bitmap->Height()};
  if (!(flags & kTextNoClip)) {
    clip = Bounds{std::max(clip.left, rect->left), std::max(clip.top, rect->top),
                  std::min(clip.right, rect->right), std::min(clip.bottom, rect->bottom)};
  }
  box = Bounds{std::max(box.left, clip.left), std::max(box.top, clip.top),
               std::min(box.right, clip.right), std::min(box.bottom, clip.bottom)};
  if (box.right <= box.left || box.bottom <= box.top) return height;

  std::lock_guard<std::mutex> lock(g_scratchLock);
  const int32_t bw = box.right - box.left, bh = box.bottom - box.top;
  if (!g_scratch) g_scratch = std::make_unique<PixSysBitmap>(0, 0);
  if (g_scratch->Width() < bw || g_scratch->Height() < bh) {
    g_scratch->Resize(std::max(bw, g_scratch->Width()), std::max(bh, g_scratch->Height()));
  }
  HDC scratchDc = static_cast<HDC>(g_scratch->DrawingContext());
  if (!scratchDc || !g_scratch->HasPixels()) return 0;
  // Copy the box in, draw the text over it at the same place, copy it back.
  Bounds source{box.left, box.top, box.right, box.bottom};
  BlitBitmap(g_scratch.get(), bitmap, 0, 0, &source, 1.0f, 0);
  RECT at{r.left - box.left, r.top - box.top, r.right - box.left, r.bottom - box.top};
  DrawOnContext(scratchDc, handle, text, length, wide, wideLength, &at, flags, colours);
  Bounds back{0, 0, bw, bh};
  BlitBitmap(bitmap, g_scratch.get(), box.left, box.top, &back, colours.alpha, 0);
  return height;
}

}  // namespace qd
