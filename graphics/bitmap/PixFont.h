// Text for the editor: a platform font (a face found by name through fontconfig and
// rasterised by FreeType) and PixCachedFont, which renders each character once into an 8-bit
// coverage image and then draws text from that cache into a PixBitmap.
//
// Threads: editor threads only. Fonts are shared by every editor in the process (the font
// cache of the graphics core hands them out), so each font serialises its own drawing with a
// lock of its own, and all FreeType calls go through one process-wide lock. Never called
// from the audio thread.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "graphics/bitmap/PixBitmap.h"

namespace qd {

// Draw flags (text-format bits).
constexpr int32_t kTextCentre = 0x1;
constexpr int32_t kTextRight = 0x2;
constexpr int32_t kTextVCentre = 0x4;
constexpr int32_t kTextBottom = 0x8;
constexpr int32_t kTextSingleLine = 0x20;
constexpr int32_t kTextNoClip = 0x100;
constexpr int32_t kTextMeasure = 0x400;
constexpr int32_t kTextNoPrefix = 0x800;
constexpr int32_t kTextUseAlpha = 0x40000000;

// Font flags.
constexpr int32_t kFontPreferNative = 0x400;  // see ChooseNativeTextPath
constexpr int32_t kFontOwnsHandle = 0x200;
constexpr int32_t kFontPrerender = 0x4;

// Coverage of one rendered character: `height` rows of `width` bytes (0..255), with the pen
// origin `originX` pixels from the left.
struct GlyphImage {
  int32_t width = 0, height = 0, advance = 0, originX = 0;
  std::vector<uint8_t> coverage;
};

// A face at a pixel size. Created by name; the cell height (ascent + descent) is `height`
// pixels, as a positive font height asks for.
class PlatformFont {
 public:
  enum Quality { kDefault = 0, kNonAntialiased = 1, kAntialiased = 2, kClearType = 3 };
  // Finds the face through fontconfig (falling back to any sans face) and opens it. Null
  // when no face can be opened or the height is not positive.
  static std::unique_ptr<PlatformFont> Create(const char* family, int32_t height, bool bold,
                                              bool italic, int32_t quality);
  ~PlatformFont();
  PlatformFont(const PlatformFont&) = delete;
  PlatformFont& operator=(const PlatformFont&) = delete;

  int32_t LineHeight() const { return lineHeight_; }
  int32_t Ascent() const { return ascent_; }
  const std::string& FilePath() const { return path_; }
  const std::string& FamilyName() const { return family_; }
  // Renders `code` with `padding` blank columns on each side; false for a character the
  // face cannot load (the image is then empty).
  bool Render(uint32_t code, int32_t padding, GlyphImage* out);

 private:
  friend void* NativeFontHandle(const PlatformFont& font);
  PlatformFont() = default;
  struct Face;
  std::unique_ptr<Face> face_;
  int32_t lineHeight_ = 0;
  int32_t ascent_ = 0;
  bool monochrome_ = false;
  std::string path_;
  std::string family_;
};

// The state a native draw uses besides the font: colours as pixel words, the background
// mode (1 transparent, 2 opaque) and the combine alpha.
struct NativeTextColours {
  PixelWord text = 0;
  PixelWord background = 0xFFFFFFFF;
  int32_t backgroundMode = 1;
  float alpha = 1.0f;
};

// Whether text goes through the platform's own text engine (the native path) rather than the
// glyph cache: the font prefers it and has a platform font, the draw flags word is not
// negative and does not ask for the text colour's alpha, no other font flag of 0x1F7 is set,
// the process is not under Wine, and there is no extra line spacing unless the text is a
// single line. Very tall fonts (line height above 255) always go native.
bool ChooseNativeTextPath(int32_t fontFlags, bool hasPlatformFont, int32_t drawFlags,
                          bool underWine, int32_t extraLineSpacing, int32_t lineHeight);

#ifdef _WIN32
// GDI text (win/NativeText.cpp). The Wine test opens "Software\Wine" under the
// local machine once per process.
constexpr bool kHasNativeTextEngine = true;
bool RunningUnderWine();
// Draws (or measures, with kTextMeasure) UTF-8 text with GDI; returns the text height.
int32_t DrawNativeText(PlatformFont& font, PixBitmap* bitmap, const char* text, int32_t length,
                       Bounds* rect, int32_t flags, const NativeTextColours& colours);
// The platform font's GDI font handle.
void* NativeFontHandle(const PlatformFont& font);
#else
// No native text engine here: all text goes through the glyph cache.
constexpr bool kHasNativeTextEngine = false;
inline bool RunningUnderWine() {
  return false;
}
inline int32_t DrawNativeText(PlatformFont&, PixBitmap*, const char*, int32_t, Bounds*, int32_t,
                              const NativeTextColours&) {
  return 0;
}
#endif

class PixFont {
 public:
  virtual ~PixFont() = default;
  virtual void SetFromPlatformFont(PlatformFont* font, int32_t flags) = 0;
  virtual PixelWord SetTextColour(PixelWord colour) = 0;
  virtual PixelWord SetBackgroundColour(PixelWord colour) = 0;
  virtual PixelWord SetEffectColour(PixelWord colour) = 0;
  virtual int32_t SetBackgroundMode(int32_t mode) = 0;  // 1 transparent, 2 opaque
  virtual void SetCombineMode(int32_t blitMode, float alpha) = 0;
  // Draws (or with kTextMeasure measures, writing the extent back into *rect) UTF-8 text of
  // `length` bytes (-1: up to the terminating zero). Returns the height covered.
  virtual int32_t DrawText(PixBitmap* bitmap, const char* text, int32_t length, Bounds* rect,
                           int32_t flags) = 0;
  virtual PixelWord TextColour() const = 0;
  virtual PlatformFont* PlatformHandle() const = 0;
  virtual int32_t LineHeight() const = 0;
  virtual bool DrawCachedGlyph(PixBitmap* bitmap, uint32_t code, int32_t x, int32_t y,
                               const Bounds& clip) = 0;
};

class PixCachedFont : public PixFont {
 public:
  PixCachedFont() = default;
  ~PixCachedFont() override;
  PixCachedFont(const PixCachedFont&) = delete;
  PixCachedFont& operator=(const PixCachedFont&) = delete;

  void SetFromPlatformFont(PlatformFont* font, int32_t flags) override;
  PixelWord SetTextColour(PixelWord colour) override;
  PixelWord SetBackgroundColour(PixelWord colour) override;
  PixelWord SetEffectColour(PixelWord colour) override;
  int32_t SetBackgroundMode(int32_t mode) override;
  void SetCombineMode(int32_t blitMode, float alpha) override;
  int32_t DrawText(PixBitmap* bitmap, const char* text, int32_t length, Bounds* rect,
                   int32_t flags) override;
  PixelWord TextColour() const override { return textColour_; }
  PlatformFont* PlatformHandle() const override { return platform_; }
  int32_t LineHeight() const override { return lineHeight_; }
  bool DrawCachedGlyph(PixBitmap* bitmap, uint32_t code, int32_t x, int32_t y,
                       const Bounds& clip) override;

  // Number of characters rendered into the cache so far (each is rendered once).
  int32_t RenderedGlyphCount() const { return renderedCount_; }
  // Characters drawn through the native text engine so far.
  int32_t NativeDrawCount() const { return nativeDraws_; }

 private:
  struct Glyph {
    int32_t offsetPlus1 = 0;  // 0 not rendered yet, -1 empty glyph
    int32_t width = 0, height = 0, advance = 0;
    uint32_t code = 0;
    int32_t xOffset = 0;
  };
  Glyph* FindGlyph(uint32_t code);  // renders on first use; null when unavailable
  void RenderInto(Glyph* glyph);
  bool DrawGlyphLocked(PixBitmap* bitmap, Glyph* glyph, int32_t x, int32_t y, const Bounds& clip);
  void ResetCache();

  std::mutex mutex_;
  PixelWord textColour_ = 0;
  PixelWord backgroundColour_ = 0xFFFFFFFF;
  PixelWord effectColour_ = 0xFFFFFFFF;
  int32_t backgroundMode_ = 1;
  int32_t combineMode_ = 0;
  float combineAlpha_ = 1.0f;
  int32_t lineHeight_ = 0;
  int32_t extraLineSpacing_ = 0;
  int32_t flags_ = 0;
  Glyph direct_[128];
  std::vector<Glyph> sorted_;
  std::vector<uint8_t> heap_;
  PlatformFont* platform_ = nullptr;
  GlyphImage scratch_;
  int32_t renderedCount_ = 0;
  int32_t nativeDraws_ = 0;
};

// Starts the font library now; anything that keeps fonts for the life of the module calls
// it first, so the library outlives them.
void EnsureFontLibrary();

}  // namespace qd
