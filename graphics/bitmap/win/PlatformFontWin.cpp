// The platform font on Windows: a GDI font, measured with its text metrics, whose characters
// are drawn white on black into a 32-bit section and read back as 8-bit coverage for the
// glyph cache of PixCachedFont.
#include <windows.h>

#include <algorithm>
#include <mutex>

#include "graphics/bitmap/PixFont.h"

namespace qd {

struct PlatformFont::Face {
  HFONT font = nullptr;
  HDC dc = nullptr;
  HBITMAP section = nullptr;
  HGDIOBJ previousBitmap = nullptr;
  HGDIOBJ previousFont = nullptr;
  uint32_t* pixels = nullptr;
  int32_t size = 0;  // the scratch section is size x size pixels
  std::mutex lock;   // fonts are shared between editors

  ~Face() {
    if (dc) {
      if (previousFont) SelectObject(dc, previousFont);
      if (previousBitmap) SelectObject(dc, previousBitmap);
      DeleteDC(dc);
    }
    if (section) DeleteObject(section);
    if (font) DeleteObject(font);
  }

  // A square scratch section of at least `wanted` pixels, white text on opaque black.
  bool EnsureScratch(int32_t wanted) {
    if (section && size >= wanted) return true;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = wanted;
    info.bmiHeader.biHeight = -wanted;  // rows top to bottom
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP made = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!made || !bits) return false;
    HGDIOBJ old = SelectObject(dc, made);
    if (!previousBitmap) previousBitmap = old;
    if (section) DeleteObject(section);
    section = made;
    pixels = static_cast<uint32_t*>(bits);
    size = wanted;
    SetTextColor(dc, RGB(255, 255, 255));
    SetBkColor(dc, RGB(0, 0, 0));
    SetBkMode(dc, OPAQUE);
    return true;
  }
};

namespace {

BYTE GdiQuality(int32_t quality) {
  switch (quality) {
    case PlatformFont::kNonAntialiased:
      return NONANTIALIASED_QUALITY;
    case PlatformFont::kAntialiased:
      return ANTIALIASED_QUALITY;
    case PlatformFont::kClearType:
      return CLEARTYPE_QUALITY;
    default:
      return DEFAULT_QUALITY;
  }
}

}  // namespace

std::unique_ptr<PlatformFont> PlatformFont::Create(const char* family, int32_t height, bool bold,
                                                   bool italic, int32_t quality) {
  if (height <= 0 || height > 4096) return nullptr;
  std::unique_ptr<PlatformFont> font(new PlatformFont);
  font->face_ = std::make_unique<Face>();
  Face& face = *font->face_;
  // A positive height asks GDI for the cell height (ascent plus descent).
  face.font = CreateFontA(height, 0, 0, 0, bold ? FW_BOLD : FW_DONTCARE, italic ? TRUE : FALSE,
                          FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                          GdiQuality(quality), DEFAULT_PITCH | FF_DONTCARE,
                          family && *family ? family : "Arial");
  face.dc = CreateCompatibleDC(nullptr);
  if (!face.font || !face.dc) return nullptr;
  face.previousFont = SelectObject(face.dc, face.font);
  TEXTMETRICA metrics{};
  if (!GetTextMetricsA(face.dc, &metrics)) return nullptr;
  font->lineHeight_ = metrics.tmHeight;
  font->ascent_ = metrics.tmAscent;
  font->monochrome_ = quality == kNonAntialiased;
  char name[LF_FACESIZE] = {};
  GetTextFaceA(face.dc, LF_FACESIZE, name);
  font->family_ = name;
  return font;
}

PlatformFont::~PlatformFont() = default;

// GDI needs no font library to be started.
void EnsureFontLibrary() {}

bool PlatformFont::Render(uint32_t code, int32_t padding, GlyphImage* out) {
  out->width = out->height = out->advance = out->originX = 0;
  out->coverage.clear();
  if (!face_ || !face_->dc || lineHeight_ <= 0) return false;
  Face& face = *face_;
  std::lock_guard<std::mutex> lock(face.lock);
  if (!face.EnsureScratch(2 * std::max(1, lineHeight_) + 8)) return false;

  wchar_t text[2];
  int length = 1;
  if (code >= 0x10000) {
    text[0] = static_cast<wchar_t>(0xD800 + ((code - 0x10000) >> 10));
    text[1] = static_cast<wchar_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
    length = 2;
  } else {
    text[0] = static_cast<wchar_t>(code);
  }
  // The character's extent, as the text function measures it.
  RECT extent{0, 0, 0, 0};
  DrawTextW(face.dc, text, length, &extent, DT_SINGLELINE | DT_NOPREFIX | DT_CALCRECT);
  const int32_t width = extent.right - extent.left;
  const int32_t height = std::min<int32_t>(extent.bottom - extent.top, face.size);
  if (width <= 0 || height <= 0) return true;  // empty glyph
  const int32_t boxWidth = std::min(width + 2 * padding, face.size);

  GdiFlush();
  for (int32_t y = 0; y < height; ++y) {
    std::fill_n(face.pixels + static_cast<size_t>(y) * face.size, boxWidth, 0u);
  }
  RECT where{padding, 0, padding + width, height};
  DrawTextW(face.dc, text, length, &where, DT_SINGLELINE | DT_NOPREFIX | DT_NOCLIP);
  GdiFlush();

  out->width = boxWidth;
  out->height = height;
  out->advance = width;
  out->originX = padding;
  out->coverage.resize(static_cast<size_t>(boxWidth) * height);
  for (int32_t y = 0; y < height; ++y) {
    const uint32_t* row = face.pixels + static_cast<size_t>(y) * face.size;
    for (int32_t x = 0; x < boxWidth; ++x) {
      // White on black: any channel is the coverage; the green one is used (ClearType
      // quality spreads coverage over the three).
      out->coverage[static_cast<size_t>(y) * boxWidth + x] =
          static_cast<uint8_t>((row[x] >> 8) & 0xFF);
    }
  }
  return true;
}

void* NativeFontHandle(const PlatformFont& font) {
  return font.face_ ? font.face_->font : nullptr;
}

}  // namespace qd
