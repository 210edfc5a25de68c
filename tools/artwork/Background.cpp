// The panel background: section boxes, frames behind run-time text, labels, the level
// scale beside the output bars, the gain-reduction scales along the lamp arcs, and the logo.
#include <algorithm>
#include <cstdio>

#include "tools/artwork/Artwork.h"

namespace artwork {
namespace {

constexpr double kLabelSize = 11;
constexpr double kTitleSize = 11;
constexpr double kScaleSize = 9;

void panel(cairo_t* cr) {
  cairo_pattern_t* g = cairo_pattern_create_linear(0, 0, 0, kPanelHeight);
  addStop(g, 0.0, palette::kPanelTop);
  addStop(g, 1.0, palette::kPanelBottom);
  cairo_rectangle(cr, 0, 0, kPanelWidth, kPanelHeight);
  cairo_set_source(cr, g);
  cairo_fill(cr);
  cairo_pattern_destroy(g);
  // Gentle vignette so the edges recede.
  cairo_pattern_t* v = cairo_pattern_create_radial(kPanelWidth * 0.45, kPanelHeight * 0.45, 120,
                                                   kPanelWidth * 0.45, kPanelHeight * 0.45, 520);
  addStop(v, 0.0, rgb(0x000000, 0.0));
  addStop(v, 1.0, rgb(0x000000, 0.28));
  cairo_rectangle(cr, 0, 0, kPanelWidth, kPanelHeight);
  cairo_set_source(cr, v);
  cairo_fill(cr);
  cairo_pattern_destroy(v);
  // Bevelled panel edge.
  cairo_rectangle(cr, 0.5, 0.5, kPanelWidth - 1, kPanelHeight - 1);
  cairo_set_line_width(cr, 1);
  setColour(cr, rgb(0xFFFFFF, 0.08));
  cairo_stroke(cr);
}

// A section box: a slightly darker plate with a fine light edge.
void sectionBox(cairo_t* cr, double x0, double y0, double x1, double y1) {
  roundedRect(cr, x0 + 0.5, y0 + 1.5, x1 - x0 - 1, y1 - y0 - 1, 7);
  setColour(cr, rgb(0xFFFFFF, 0.05));
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
  roundedRect(cr, x0 + 0.5, y0 + 0.5, x1 - x0 - 1, y1 - y0 - 1, 7);
  setColour(cr, rgb(0x000000, 0.16));
  cairo_fill_preserve(cr);
  setColour(cr, rgb(0x000000, 0.45));
  cairo_stroke(cr);
}

void frameBehind(cairo_t* cr, const Rect& r, double radius = 3) {
  insetFrame(cr, r.left, r.top, r.width(), r.height(), radius);
}

void label(cairo_t* cr, const char* text, double x, double y, Align a = Align::Centre) {
  drawText(cr, text, x, y, kLabelSize, palette::kLabel, a);
}

void title(cairo_t* cr, const char* text, double x, double y, Align a = Align::Left) {
  drawText(cr, text, x, y, kTitleSize, rgb(0xD5DBE2), a, true, 0.6);
}

// Dark recess that each large knob sits in, between the knob and its lamps.
void knobWell(cairo_t* cr, const Rect& knob) {
  const Point c{knob.cx(), knob.cy()};
  cairo_pattern_t* g = cairo_pattern_create_radial(c.x, c.y, 70, c.x, c.y, 91);
  addStop(g, 0.0, rgb(0x101214));
  addStop(g, 0.85, rgb(0x15171A));
  addStop(g, 1.0, rgb(0x1E2125, 0.0));
  cairo_arc(cr, c.x, c.y, 91, 0, 2 * std::numbers::pi);
  cairo_set_source(cr, g);
  cairo_fill(cr);
  cairo_pattern_destroy(g);
  // Lit lower lip of the recess.
  cairo_pattern_t* lip = cairo_pattern_create_linear(0, c.y - 88, 0, c.y + 88);
  addStop(lip, 0.0, rgb(0x000000, 0.5));
  addStop(lip, 1.0, rgb(0xFFFFFF, 0.09));
  cairo_arc(cr, c.x, c.y, 87.5, 0, 2 * std::numbers::pi);
  cairo_set_line_width(cr, 1);
  cairo_set_source(cr, lip);
  cairo_stroke(cr);
  cairo_pattern_destroy(lip);
}

// Ticks at every lamp boundary (longer every 3 dB) and the figures -3 .. -12 beyond them.
void arcScale(cairo_t* cr, const Arc& arc) {
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  for (int db = 1; db <= kLamps; ++db) {
    const bool major = db % 3 == 0;
    const double a = markDeg(arc, db);
    const Point p0 = polar(arc.centre, kLampOuter + 3, a);
    const Point p1 = polar(arc.centre, kLampOuter + (major ? 8 : 5.5), a);
    cairo_move_to(cr, p0.x, p0.y);
    cairo_line_to(cr, p1.x, p1.y);
    cairo_set_line_width(cr, major ? 1.3 : 1.0);
    setColour(cr, major ? palette::kScale : palette::kLabelDim);
    cairo_stroke(cr);
    if (major) {
      char text[16];
      std::snprintf(text, sizeof text, "-%d", db);
      const Point t = polar(arc.centre, kLampOuter + 17, a);
      drawText(cr, text, t.x - 1, t.y, kScaleSize, palette::kScale);
    }
  }
}

// 0 dB is where both arcs begin, on the line between the two knobs.
void arcZero(cairo_t* cr, const Arc& a, const Arc& b) {
  const Point pa = polar(a.centre, kLampOuter, a.startDeg);
  const Point pb = polar(b.centre, kLampOuter, b.startDeg);
  drawText(cr, "0", (pa.x + pb.x) / 2, (pa.y + pb.y) / 2, kScaleSize, palette::kScale);
}

// Wells behind the four bars, ticks on the outer sides and the figures between the pairs.
void levelScale(cairo_t* cr) {
  for (int x : kBarX) {
    roundedRect(cr, x - 1.5, kBarTop - 1.5, kBarWidth + 3, kBarHeight + 3, 2.5);
    setColour(cr, rgb(0x060708));
    cairo_fill(cr);
    roundedRect(cr, x - 1.5, kBarTop - 0.5, kBarWidth + 3, kBarHeight + 3, 2.5);
    setColour(cr, rgb(0xFFFFFF, 0.06));
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
  }
  const double leftOuter = kBarX[0] - 3, rightOuter = kBarX[3] + kBarWidth + 3;
  const double middle = (kBarX[1] + kBarWidth + kBarX[2]) / 2.0;
  for (int db = 0; db <= kBarSegments; db += 3) {
    const bool major = db % 6 == 0;
    const double y = levelRow(-db) + (db == kBarSegments ? -0.5 : 0.5);
    const double len = major ? 4 : 2.5;
    cairo_rectangle(cr, leftOuter - len, y - 0.5, len, 1);
    cairo_rectangle(cr, rightOuter, y - 0.5, len, 1);
    setColour(cr, major ? palette::kScale : palette::kLabelDim);
    cairo_fill(cr);
    if (major) {
      char text[16];
      std::snprintf(text, sizeof text, db == 0 ? "%d" : "-%d", db);
      drawText(cr, text, middle - (db == 0 ? 0 : 1), levelRow(-db), kScaleSize, palette::kScale);
    }
  }
}

// Logo: a ring around a wave whose crests are shaved flat, and the name beside it.
void logo(cairo_t* cr) {
  const Point c{34, 446};
  const double r = 17;
  cairo_arc(cr, c.x, c.y, r + 1.5, 0, 2 * std::numbers::pi);
  setColour(cr, rgb(0x000000, 0.35));
  cairo_fill(cr);
  cairo_arc(cr, c.x, c.y, r, 0, 2 * std::numbers::pi);
  cairo_set_line_width(cr, 1.6);
  setColour(cr, palette::kAccent);
  cairo_stroke(cr);
  cairo_save(cr);
  cairo_arc(cr, c.x, c.y, r - 2, 0, 2 * std::numbers::pi);
  cairo_clip(cr);
  const double ceiling = 6.5;
  for (int i = 0; i <= 64; ++i) {
    const double t = i / 64.0;
    const double x = c.x - 13 + 26 * t;
    double y = 11 * std::sin(t * 2 * std::numbers::pi * 1.5 + 0.3);
    y = std::clamp(y, -ceiling, ceiling);
    if (i == 0)
      cairo_move_to(cr, x, c.y - y);
    else
      cairo_line_to(cr, x, c.y - y);
  }
  cairo_set_line_width(cr, 2.0);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  setColour(cr, rgb(0xEEF2F6));
  cairo_stroke(cr);
  for (double y : {c.y - ceiling - 2.2, c.y + ceiling + 2.2}) {
    cairo_move_to(cr, c.x - 12, y);
    cairo_line_to(cr, c.x + 12, y);
  }
  cairo_set_line_width(cr, 1.2);
  setColour(cr, palette::kReduction);
  cairo_stroke(cr);
  cairo_restore(cr);
  drawText(cr, "QUARLO", 60, 440, 15, rgb(0xE4E9EE), Align::Left, true, 2.2);
  drawText(cr, "DORVANTIX", 60.5, 458, 9, palette::kLabelDim, Align::Left, false, 3.1);
}

}  // namespace

cairo_surface_t* paintBackground() {
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kPanelWidth, kPanelHeight);
  cairo_t* cr = cairo_create(s);
  panel(cr);

  // Sections.
  sectionBox(cr, 318, 8, 508, 142);    // Output
  sectionBox(cr, 362, 206, 508, 302);  // Release
  sectionBox(cr, 516, 8, 636, 474);    // Out Levels

  knobWell(cr, kClipperKnobRect);
  knobWell(cr, kLimiterKnobRect);

  // Frames behind every caption and readout drawn at run time.
  for (const Rect& r : {kClipperLevelCaption, kClipperOversampleCaption, kLimiterLevelCaption,
                        kLimiterOversampleCaption, kReleaseCaption, kOutputCaption,
                        kAutoTargetCaption, kAutoTypeCaption})
    frameBehind(cr, r);
  for (const Rect& r : {kIntegratedReadout, kRangeReadout, kRmsReadout}) frameBehind(cr, r, 4);

  // Output section.
  title(cr, "Output", 329, 26);
  label(cr, "Level", 329, 46, Align::Left);
  label(cr, "Auto", kAutoOutputSwitch.cx(), 80);

  // Release section.
  title(cr, "Release", 372, 221);
  label(cr, "Auto", kAutoReleaseSwitch.cx() + 2, 240);

  // Clipper and limiter controls.
  label(cr, "Level", kClipperLevelCaption.cx(), kClipperLevelCaption.top - 9);
  label(cr, "Level", kLimiterLevelCaption.cx(), kLimiterLevelCaption.top - 9);
  // Left-aligned so that it stays clear of the clipper knob's recess.
  label(cr, "Soft Clipper", 10, kSoftClipSwitch.top - 8, Align::Left);
  label(cr, "Oversampling", kClipperOversampleCaption.right + 7, kClipperOversampleCaption.cy(),
        Align::Left);
  label(cr, "Oversampling", kLimiterOversampleCaption.right + 7, kLimiterOversampleCaption.cy(),
        Align::Left);

  // Out Levels column.
  const double col = kIntegratedReadout.cx();
  title(cr, "Out Levels", 576, 26, Align::Centre);
  drawText(cr, "INTEGRATED", col, kIntegratedReadout.top - 9, 9, palette::kLabel, Align::Centre,
           false, 1.0);
  drawText(cr, "RANGE", col, kRangeReadout.top - 9, 9, palette::kLabel, Align::Centre, false, 1.0);
  drawText(cr, "RMS", col, kRmsReadout.top - 9, 9, palette::kLabel, Align::Centre, false, 1.0);
  levelScale(cr);

  // Gain-reduction scales.
  const Arc clip = clipperArc(), lim = limiterArc();
  arcScale(cr, clip);
  arcScale(cr, lim);
  arcZero(cr, clip, lim);

  logo(cr);
  cairo_destroy(cr);
  return s;
}

}  // namespace artwork
