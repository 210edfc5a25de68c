#include "graphics/bitmap/PixFont.h"

#ifndef _WIN32
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#endif

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <utility>

#include "graphics/bitmap/Blit.h"
#include "graphics/bitmap/LibraryLifetime.h"

namespace qd {

// On Windows the platform font is a GDI font (win/PlatformFontWin.cpp).
#ifndef _WIN32
namespace {

// One FreeType library for the process; FreeType objects are not thread-safe, so every call
// into it holds this lock.
std::mutex& FreeTypeLock() {
  static std::mutex lock;
  return lock;
}

// Released when the module is unloaded (or at exit), after every font made with it.
struct FreeTypeHolder {
  FT_Library library = nullptr;
  FreeTypeHolder() {
    if (FT_Init_FreeType(&library) != 0) library = nullptr;
  }
  ~FreeTypeHolder() {
    if (library) FT_Done_FreeType(library);
  }
};

FT_Library FreeTypeLibrary() {
  static FreeTypeHolder holder;
  return holder.library;
}

// The file and face index fontconfig chooses for a family, weight and slant. Font matching
// always answers with the closest installed face (a metric-compatible one for the common
// families); an empty path means no font is installed at all.
bool MatchFontFile(const char* family, bool bold, bool italic, std::string* path, int* index,
                   std::string* matchedFamily) {
  static const bool kept = (KeepLibraryLoaded(reinterpret_cast<const void*>(&FcFontMatch)), true);
  (void)kept;
  FcPattern* pattern = FcPatternCreate();
  if (!pattern) return false;
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
  // A generic family behind the requested one, so an unknown name still gets a sans face.
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>("sans-serif"));
  FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  FcPatternDestroy(pattern);
  if (!match) return false;
  FcChar8* file = nullptr;
  FcChar8* name = nullptr;
  int faceIndex = 0;
  bool ok = FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file;
  if (ok) {
    *path = reinterpret_cast<const char*>(file);
    if (FcPatternGetInteger(match, FC_INDEX, 0, &faceIndex) != FcResultMatch) faceIndex = 0;
    *index = faceIndex;
    if (FcPatternGetString(match, FC_FAMILY, 0, &name) == FcResultMatch && name) {
      *matchedFamily = reinterpret_cast<const char*>(name);
    }
  }
  FcPatternDestroy(match);
  return ok;
}

}  // namespace

void EnsureFontLibrary() {
  FreeTypeLock();
  FreeTypeLibrary();
}

struct PlatformFont::Face {
  FT_Face face = nullptr;
  ~Face() {
    std::lock_guard<std::mutex> lock(FreeTypeLock());
    if (face) FT_Done_Face(face);
  }
};

std::unique_ptr<PlatformFont> PlatformFont::Create(const char* family, int32_t height, bool bold,
                                                   bool italic, int32_t quality) {
  if (height <= 0 || height > 4096) return nullptr;
  std::string path, matched;
  int index = 0;
  if (!MatchFontFile(family && *family ? family : "sans-serif", bold, italic, &path, &index,
                     &matched)) {
    return nullptr;
  }
  std::unique_ptr<PlatformFont> font(new PlatformFont);
  font->face_ = std::make_unique<Face>();
  std::lock_guard<std::mutex> lock(FreeTypeLock());
  FT_Library library = FreeTypeLibrary();
  if (!library || FT_New_Face(library, path.c_str(), index, &font->face_->face) != 0) {
    font->face_->face = nullptr;
    return nullptr;
  }
  FT_Face face = font->face_->face;
  // A positive height is the cell height: ascent plus descent, as the face's own metrics
  // divide it.
  double ascender = face->ascender, descender = -static_cast<double>(face->descender);
  if (ascender + descender <= 0) ascender = face->units_per_EM, descender = 0;
  FT_Size_RequestRec request{};
  request.type = FT_SIZE_REQUEST_TYPE_REAL_DIM;
  request.height = static_cast<FT_Long>(height) * 64;
  if (FT_Request_Size(face, &request) != 0) return nullptr;
  font->lineHeight_ = height;
  font->ascent_ = static_cast<int32_t>(std::lround(height * ascender / (ascender + descender)));
  font->monochrome_ = quality == kNonAntialiased;
  font->path_ = path;
  font->family_ = matched;
  return font;
}

PlatformFont::~PlatformFont() = default;

bool PlatformFont::Render(uint32_t code, int32_t padding, GlyphImage* out) {
  out->width = out->height = out->advance = out->originX = 0;
  out->coverage.clear();
  std::lock_guard<std::mutex> lock(FreeTypeLock());
  FT_Face face = face_ ? face_->face : nullptr;
  if (!face) return false;
  FT_Int32 loadFlags = FT_LOAD_RENDER | (monochrome_ ? FT_LOAD_TARGET_MONO : FT_LOAD_TARGET_LIGHT);
  if (FT_Load_Char(face, code, loadFlags) != 0) return false;
  FT_GlyphSlot slot = face->glyph;
  const FT_Bitmap& bm = slot->bitmap;
  int32_t advance = static_cast<int32_t>((slot->advance.x + 32) >> 6);
  int32_t inkLeft = slot->bitmap_left;
  int32_t inkWidth = static_cast<int32_t>(bm.width);
  int32_t inkHeight = static_cast<int32_t>(bm.rows);
  if (advance <= 0 && (inkWidth <= 0 || inkHeight <= 0)) return true;  // empty glyph
  int32_t originX = padding + std::max(0, -inkLeft);
  int32_t extent = std::max(advance, inkLeft + inkWidth);
  out->width = originX + std::max(extent, 0) + padding;
  out->height = lineHeight_;
  out->advance = std::max(advance, 0);
  out->originX = originX;
  out->coverage.assign(static_cast<size_t>(out->width) * static_cast<size_t>(out->height), 0);
  int32_t top = ascent_ - slot->bitmap_top;
  for (int32_t row = 0; row < inkHeight; ++row) {
    int32_t y = top + row;
    if (y < 0 || y >= out->height) continue;
    const unsigned char* src = bm.buffer + static_cast<ptrdiff_t>(row) * bm.pitch;
    for (int32_t col = 0; col < inkWidth; ++col) {
      int32_t x = originX + inkLeft + col;
      if (x < 0 || x >= out->width) continue;
      uint8_t c = bm.pixel_mode == FT_PIXEL_MODE_MONO
                      ? static_cast<uint8_t>((src[col >> 3] & (0x80 >> (col & 7))) ? 255 : 0)
                      : static_cast<uint8_t>(bm.pixel_mode == FT_PIXEL_MODE_GRAY ? src[col] : 0);
      out->coverage[static_cast<size_t>(y) * out->width + x] = c;
    }
  }
  return true;
}

#endif  // _WIN32

// ------------------------------------------------------------------------- PixCachedFont

PixCachedFont::~PixCachedFont() {
  if ((flags_ & kFontOwnsHandle) && platform_) delete platform_;
}

void PixCachedFont::ResetCache() {
  for (uint32_t c = 0; c < 128; ++c) direct_[c] = Glyph{0, 0, 0, 0, c, 0};
  sorted_.clear();
  heap_.clear();
  renderedCount_ = 0;
}

void PixCachedFont::SetFromPlatformFont(PlatformFont* font, int32_t flags) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (platform_ && platform_ != font && (flags_ & kFontOwnsHandle)) delete platform_;
  flags_ = flags;
  platform_ = font;
  lineHeight_ = font ? font->LineHeight() : 0;
  ResetCache();
  if (flags_ & kFontPrerender) {
    for (uint32_t c = 0; c < 128; ++c) RenderInto(&direct_[c]);
  }
}

PixelWord PixCachedFont::SetTextColour(PixelWord colour) {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::exchange(textColour_, colour);
}
PixelWord PixCachedFont::SetBackgroundColour(PixelWord colour) {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::exchange(backgroundColour_, colour);
}
PixelWord PixCachedFont::SetEffectColour(PixelWord colour) {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::exchange(effectColour_, colour);
}
int32_t PixCachedFont::SetBackgroundMode(int32_t mode) {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::exchange(backgroundMode_, mode);
}
void PixCachedFont::SetCombineMode(int32_t blitMode, float alpha) {
  std::lock_guard<std::mutex> lock(mutex_);
  combineMode_ = blitMode;
  combineAlpha_ = alpha;
}

void PixCachedFont::RenderInto(Glyph* glyph) {
  glyph->offsetPlus1 = -1;
  if (!platform_ || lineHeight_ > 1023 || lineHeight_ <= 0) return;
  int32_t padding = lineHeight_ < 16 ? 2 : lineHeight_ / 16 + 2;
  if (!platform_->Render(glyph->code, padding, &scratch_)) return;
  ++renderedCount_;
  if (scratch_.width <= 0 || scratch_.height <= 0) return;
  size_t bytes = scratch_.coverage.size();
  if (heap_.size() + bytes > 0x7FFFFFF0u) return;  // offsets stay within int32
  if (heap_.capacity() < heap_.size() + bytes) {
    constexpr size_t kStep = 64 * 1024;
    heap_.reserve((heap_.size() + bytes + kStep - 1) / kStep * kStep);
  }
  glyph->offsetPlus1 = static_cast<int32_t>(heap_.size()) + 1;
  heap_.insert(heap_.end(), scratch_.coverage.begin(), scratch_.coverage.end());
  glyph->width = scratch_.width;
  glyph->height = scratch_.height;
  glyph->advance = scratch_.advance;
  glyph->xOffset = scratch_.originX;
}

PixCachedFont::Glyph* PixCachedFont::FindGlyph(uint32_t code) {
  Glyph* glyph = nullptr;
  if (code < 128) {
    glyph = &direct_[code];
  } else {
    auto it = std::lower_bound(sorted_.begin(), sorted_.end(), code,
                               [](const Glyph& g, uint32_t c) { return g.code < c; });
    if (it != sorted_.end() && it->code == code) {
      glyph = &*it;
    } else {
      if (flags_ & kFontPrerender) return nullptr;
      it = sorted_.insert(it, Glyph{0, 0, 0, 0, code, 0});
      glyph = &*it;
    }
  }
  if (glyph->offsetPlus1 == 0) RenderInto(glyph);
  return glyph;
}

bool PixCachedFont::DrawCachedGlyph(PixBitmap* bitmap, uint32_t code, int32_t x, int32_t y,
                                    const Bounds& clip) {
  std::lock_guard<std::mutex> lock(mutex_);
  Glyph* glyph = FindGlyph(code);
  return glyph && DrawGlyphLocked(bitmap, glyph, x, y, clip);
}

bool PixCachedFont::DrawGlyphLocked(PixBitmap* bitmap, Glyph* glyph, int32_t x, int32_t y,
                                    const Bounds& clip) {
  if (!bitmap || !bitmap->HasPixels() || glyph->offsetPlus1 <= 0) return false;
  int64_t gx = int64_t{x} - glyph->xOffset;
  int64_t left = std::max<int64_t>({gx, clip.left, 0});
  int64_t top = std::max<int64_t>({y, clip.top, 0});
  int64_t right = std::min<int64_t>({gx + glyph->width, clip.right, bitmap->Width()});
  int64_t bottom = std::min<int64_t>({int64_t{y} + glyph->height, clip.bottom, bitmap->Height()});
  if (right <= left || bottom <= top) return false;
  if (backgroundMode_ == 2) {
    FillBitmapRect(bitmap, static_cast<int32_t>(left), static_cast<int32_t>(top),
                   static_cast<int32_t>(right - left), static_cast<int32_t>(bottom - top),
                   backgroundColour_, combineAlpha_, combineMode_);
  }
  if ((combineMode_ & 0xFF) != 0) return true;
  const int32_t tr = (textColour_ >> 16) & 0xFF, tg = (textColour_ >> 8) & 0xFF,
                tb = textColour_ & 0xFF;
  const bool full = combineAlpha_ == 1.0f;
  const int32_t w = combineAlpha_ >= 1.0f  ? 256
                    : combineAlpha_ > 0.0f ? static_cast<int32_t>(combineAlpha_ * 256.0f)
                                           : 0;
  const uint8_t* image = heap_.data() + (glyph->offsetPlus1 - 1);
  for (int64_t py = top; py < bottom; ++py) {
    const uint8_t* cov = image + (py - y) * glyph->width;
    PixelWord* row = bitmap->Row(static_cast<int32_t>(py));
    for (int64_t px = left; px < right; ++px) {
      int32_t c = cov[px - gx];
      if (c == 0) continue;
      PixelWord d = row[px];
      int32_t da = static_cast<int32_t>(d >> 24), dr = (d >> 16) & 0xFF, dg = (d >> 8) & 0xFF,
              db = d & 0xFF;
      int32_t k;
      int32_t na;
      if (full) {
        k = 255 - c;
        na = (k * (da - 255)) / 256 - 1;
      } else {
        k = w * c < 65792 ? 256 - w * c / 256 : 0;
        na = (da - 255) * k / 256 - 1;
      }
      auto mix = [&](int32_t dc, int32_t t) {
        return full ? (dc - t) * k / 256 + t : t + (dc - t) * k / 256;
      };
      row[px] = (static_cast<PixelWord>(na & 0xFF) << 24) |
                (static_cast<PixelWord>(mix(dr, tr) & 0xFF) << 16) |
                (static_cast<PixelWord>(mix(dg, tg) & 0xFF) << 8) |
                static_cast<PixelWord>(mix(db, tb) & 0xFF);
    }
  }
  return true;
}

namespace {

// Next character of UTF-8 text: valid 2- and 3-byte sequences give their code point, a valid
// 4-byte sequence a space, any other byte the character of its own value.
uint32_t NextChar(const unsigned char* s, int32_t length, int32_t* i) {
  auto cont = [&](int32_t k) { return *i + k < length && (s[*i + k] & 0xC0) == 0x80; };
  unsigned char b = s[*i];
  if (b >= 0xC2 && b <= 0xDF && cont(1)) {
    uint32_t c = ((b & 0x1Fu) << 6) | (s[*i + 1] & 0x3Fu);
    *i += 2;
    return c;
  }
  if (b >= 0xE0 && b <= 0xEF && cont(1) && cont(2)) {
    uint32_t c = ((b & 0x0Fu) << 12) | ((s[*i + 1] & 0x3Fu) << 6) | (s[*i + 2] & 0x3Fu);
    if (c >= 0x800) {
      *i += 3;
      return c;
    }
  }
  if (b >= 0xF0 && b <= 0xF4 && cont(1) && cont(2) && cont(3)) {
    *i += 4;
    return ' ';
  }
  *i += 1;
  return b;
}

}  // namespace

bool ChooseNativeTextPath(int32_t fontFlags, bool hasPlatformFont, int32_t drawFlags,
                          bool underWine, int32_t extraLineSpacing, int32_t lineHeight) {
  if (!hasPlatformFont) return false;
  if (lineHeight > 255) return true;
  return (fontFlags & kFontPreferNative) && drawFlags >= 0 && !underWine &&
         !(drawFlags & kTextUseAlpha) && !(fontFlags & 0x1F7) &&
         (extraLineSpacing == 0 || (drawFlags & kTextSingleLine));
}

int32_t PixCachedFont::DrawText(PixBitmap* bitmap, const char* text, int32_t length, Bounds* rect,
                                int32_t flags) {
  const int32_t givenFlags = flags;
  if (flags < 0) flags &= 0x7FFFFFFF;
  if (!rect || !text) return 0;
  const bool measuring = (flags & kTextMeasure) != 0;
  if (!bitmap && !measuring) return 0;
  std::lock_guard<std::mutex> lock(mutex_);
  if (!platform_) return 0;
  int32_t n = length < 0 ? static_cast<int32_t>(std::strlen(text)) : length;
  if (kHasNativeTextEngine && ChooseNativeTextPath(flags_, true, givenFlags, RunningUnderWine(),
                                                   extraLineSpacing_, lineHeight_)) {
    ++nativeDraws_;
    return DrawNativeText(*platform_, bitmap, text, n, rect, flags,
                          {textColour_, backgroundColour_, backgroundMode_, combineAlpha_});
  }
  const auto* s = reinterpret_cast<const unsigned char*>(text);
  const bool singleLine = (flags & kTextSingleLine) != 0;
  const int32_t lineStep = lineHeight_ + extraLineSpacing_;

  // Walks the glyphs, calling fn(glyph, x, y) with the pen position of each.
  auto walk = [&](auto&& fn) {
    int64_t x = 0, y = 0;
    for (int32_t i = 0; i < n;) {
      uint32_t code = NextChar(s, n, &i);
      if (code == '\r') continue;
      if (code == '\n') {
        if (!singleLine) {
          x = 0;
          y += lineStep;
          continue;
        }
        code = ' ';
      }
      Glyph* glyph = FindGlyph(code);
      if (!glyph || glyph->offsetPlus1 <= 0) continue;
      fn(*glyph, x, y);
      x += glyph->advance;
    }
  };
  int64_t width = 0, height = 0;
  auto measure = [&] {
    walk([&](const Glyph& g, int64_t x, int64_t y) {
      width = std::max({width, x + g.advance, x + g.width - g.xOffset});
      height = std::max(height, y + g.height);
    });
  };
  auto clampInt = [](int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
  };

  if (measuring) {
    measure();
    rect->right = clampInt(int64_t{rect->left} + width);
    rect->bottom = clampInt(int64_t{rect->top} + height);
    return static_cast<int32_t>(height);
  }

  float alpha = combineAlpha_;
  if (flags & kTextUseAlpha) alpha *= static_cast<float>(textColour_ >> 24) / 255.0f;
  if (alpha == 0.0f) return 0;
  if (flags & (kTextCentre | kTextRight | kTextVCentre | kTextBottom)) measure();
  int64_t x0 = rect->left, y0 = rect->top;
  if (flags & kTextCentre) {
    x0 = rect->left + (int64_t{rect->right} - rect->left - width) / 2;
  } else if (flags & kTextRight) {
    x0 = rect->right - width;
  }
  if (flags & kTextVCentre) {
    y0 = rect->top + (int64_t{rect->bottom} - rect->top - height) / 2;
  } else if (flags & kTextBottom) {
    y0 = rect->bottom - height;
  }
  Bounds whole{0, 0, bitmap->Width(), bitmap->Height()};
  Bounds clip = (flags & kTextNoClip) ? whole : rect->Intersect(whole);
  if (clip.right <= clip.left || clip.bottom <= clip.top) return 0;
  const float savedAlpha = combineAlpha_;
  combineAlpha_ = alpha;
  int64_t covered = 0;
  walk([&](Glyph& g, int64_t x, int64_t y) {
    DrawGlyphLocked(bitmap, &g, clampInt(x0 + x), clampInt(y0 + y), clip);
    covered = std::max(covered, y + g.height);
  });
  combineAlpha_ = savedAlpha;
  return static_cast<int32_t>(covered);
}

}  // namespace qd
