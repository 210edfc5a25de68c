// Draws the editor's eleven images and writes them as PNG files into one folder.
// Usage: artwork_generator OUTPUT_FOLDER [PREVIEW_PNG]
// With PREVIEW_PNG it also composes the whole panel, every control showing a typical frame
// and sample text, to check by eye that the images line up with each other.
#include <fontconfig/fontconfig.h>

#include <cstdio>
#include <functional>
#include <map>
#include <string>

#include "tools/artwork/Artwork.h"

namespace {

// The labels are drawn in Liberation Sans; fontconfig would silently substitute another face
// when it is missing, which would change every label in the committed images.
bool labelFontInstalled() {
  FcPattern* want = FcNameParse(reinterpret_cast<const FcChar8*>("Liberation Sans"));
  FcConfigSubstitute(nullptr, want, FcMatchPattern);
  FcDefaultSubstitute(want);
  FcResult result = FcResultNoMatch;
  FcPattern* got = FcFontMatch(nullptr, want, &result);
  FcChar8* family = nullptr;
  const bool ok = got && FcPatternGetString(got, FC_FAMILY, 0, &family) == FcResultMatch &&
                  std::string(reinterpret_cast<const char*>(family)) == "Liberation Sans";
  if (got) FcPatternDestroy(got);
  FcPatternDestroy(want);
  return ok;
}

using Images = std::map<std::string, cairo_surface_t*>;

// Draws frame `frame` (1-based) of a vertical strip of `frames` at the panel position (x, y).
void frameAt(cairo_t* cr, cairo_surface_t* strip, int frames, int frame, int x, int y) {
  const int w = cairo_image_surface_get_width(strip);
  const int h = cairo_image_surface_get_height(strip) / frames;
  cairo_save(cr);
  cairo_rectangle(cr, x, y, w, h);
  cairo_clip(cr);
  cairo_set_source_surface(cr, strip, x, double(y) - double(h) * (frame - 1));
  cairo_paint(cr);
  cairo_restore(cr);
}

// Run-time text as the editor draws it: 12 px grey, centred in its rectangle.
void textIn(cairo_t* cr, const artwork::Rect& r, const char* text) {
  artwork::drawText(cr, text, r.cx(), r.cy(), 12, artwork::rgb(0x808080));
}

bool writePreview(const Images& img, const char* path) {
  using namespace artwork;
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kPanelWidth, kPanelHeight);
  cairo_t* cr = cairo_create(s);
  cairo_set_source_surface(cr, img.at("bg.png"), 0, 0);
  cairo_paint(cr);
  const Rect ca = kClipperArcRect, la = kLimiterArcRect;
  frameAt(cr, img.at("gr-clipper.png"), kArcFrames, 6, ca.left, ca.top);
  frameAt(cr, img.at("gr-clipper-peak-hold.png"), kArcFrames, 8, ca.left, ca.top);
  frameAt(cr, img.at("clipper-knob.png"), kKnobFrames, 40, kClipperKnobRect.left,
          kClipperKnobRect.top);
  textIn(cr, kClipperLevelCaption, "3.0 dB");
  frameAt(cr, img.at("button.png"), 2, 2, kSoftClipSwitch.left, kSoftClipSwitch.top);
  textIn(cr, kClipperOversampleCaption, "4x ");
  frameAt(cr, img.at("gr-limiter.png"), kArcFrames, 13, la.left, la.top);
  frameAt(cr, img.at("gr-limiter-peak-hold.png"), kArcFrames, 13, la.left, la.top);
  frameAt(cr, img.at("limiter-knob.png"), kKnobFrames, 63, kLimiterKnobRect.left,
          kLimiterKnobRect.top);
  textIn(cr, kLimiterLevelCaption, "5.5 dB");
  textIn(cr, kLimiterOversampleCaption, "off ");
  textIn(cr, kReleaseCaption, "100 ms");
  frameAt(cr, img.at("knob.png"), kKnobFrames, 30, kReleaseKnob.left, kReleaseKnob.top);
  frameAt(cr, img.at("button.png"), 2, 1, kAutoReleaseSwitch.left, kAutoReleaseSwitch.top);
  frameAt(cr, img.at("knob.png"), kKnobFrames, 75, kOutputKnob.left, kOutputKnob.top);
  textIn(cr, kOutputCaption, "-0.2 dB");
  frameAt(cr, img.at("button.png"), 2, 2, kAutoOutputSwitch.left, kAutoOutputSwitch.top);
  textIn(cr, kAutoTargetCaption, "-12");
  textIn(cr, kAutoTypeCaption, "RMS ");
  frameAt(cr, img.at("reset-button.png"), 2, 1, kResetButton.left, kResetButton.top);
  textIn(cr, kRmsReadout, "-11.02 dB");
  textIn(cr, kIntegratedReadout, "-9.85 LUFS");
  textIn(cr, kRangeReadout, "5.21 LU");
  const int bars[4] = {19, 23, 22, 18};  // left RMS, left peak, right peak, right RMS
  for (int i = 0; i < 4; ++i)
    frameAt(cr, img.at("vu-meter.png"), kBarFrames, bars[i], kBarX[i], kBarTop);
  textIn(cr, kVersionText, "v2.0.6");
  cairo_destroy(cr);
  const bool ok = writePng(s, path);
  cairo_surface_destroy(s);
  if (ok) std::printf("wrote preview %s\n", path);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr, "usage: %s OUTPUT_FOLDER [PREVIEW_PNG]\n", argv[0]);
    return 2;
  }
  if (!labelFontInstalled()) {
    std::fprintf(stderr, "Liberation Sans is not installed (package fonts-liberation)\n");
    return 1;
  }
  const std::string dir = argv[1];
  using namespace artwork;
  const struct {
    const char* file;
    std::function<cairo_surface_t*()> paint;
  } images[] = {
      {"bg.png", paintBackground},
      {"clipper-knob.png", paintLargeKnob},
      {"limiter-knob.png", paintLargeKnob},
      {"knob.png", paintSmallKnob},
      {"gr-clipper.png", [] { return paintArc(clipperArc()); }},
      {"gr-limiter.png", [] { return paintArc(limiterArc()); }},
      {"gr-clipper-peak-hold.png", [] { return paintArcHold(clipperArc()); }},
      {"gr-limiter-peak-hold.png", [] { return paintArcHold(limiterArc()); }},
      {"button.png", paintSwitch},
      {"reset-button.png", paintResetButton},
      {"vu-meter.png", paintLevelBar},
  };
  int failures = 0;
  std::map<std::string, cairo_surface_t*> painted;
  for (const auto& image : images) {
    cairo_surface_t* s = image.paint();
    painted[image.file] = s;
    const std::string path = dir + "/" + image.file;
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS || !writePng(s, path)) {
      std::fprintf(stderr, "failed: %s\n", path.c_str());
      ++failures;
    } else {
      std::printf("wrote %s\n", path.c_str());
    }
  }
  if (argc == 3 && failures == 0 && !writePreview(painted, argv[2])) ++failures;
  for (auto& [name, s] : painted) cairo_surface_destroy(s);
  return failures == 0 ? 0 : 1;
}
