// Gain-reduction lamp arcs, their peak-hold variants and the output level bar.
#include "tools/artwork/Artwork.h"

namespace artwork {
namespace {

// Lamp k spans the boundaries k - 1 and k, less a small constant gap in pixels.
void lampPath(cairo_t* cr, const Arc& arc, Point c, int k, double grow) {
  const double gapDeg = 2.6 / ((kLampInner + kLampOuter) / 2) / kDeg;
  const double a0 = markDeg(arc, k - 1) - gapDeg / 2 + grow * 0.6;
  const double a1 = markDeg(arc, k) + gapDeg / 2 - grow * 0.6;
  annularSector(cr, c, kLampInner - grow, kLampOuter + grow, a0, a1);
}

// A lit lamp: soft halo, a radial body that is brightest along its middle and a thin
// highlight along the outer edge.
void litLamp(cairo_t* cr, const Arc& arc, Point c, int k, Colour colour) {
  for (int i = 4; i >= 1; --i) {
    lampPath(cr, arc, c, k, i * 1.4);
    setColour(cr, Colour{colour.r, colour.g, colour.b, 0.07});
    cairo_fill(cr);
  }
  cairo_pattern_t* g = cairo_pattern_create_radial(c.x, c.y, kLampInner, c.x, c.y, kLampOuter);
  const Colour deep = mix(colour, rgb(0x000000), 0.35);
  const Colour hot = mix(colour, rgb(0xFFFFFF), 0.35);
  addStop(g, 0.0, deep);
  addStop(g, 0.45, hot);
  addStop(g, 0.6, colour);
  addStop(g, 1.0, deep);
  lampPath(cr, arc, c, k, 0);
  cairo_set_source(cr, g);
  cairo_fill(cr);
  cairo_pattern_destroy(g);
}

void socketLamp(cairo_t* cr, const Arc& arc, Point c, int k) {
  lampPath(cr, arc, c, k, 0.8);
  setColour(cr, rgb(0x0A0B0D, 0.85));
  cairo_fill(cr);
  cairo_pattern_t* g = cairo_pattern_create_radial(c.x, c.y, kLampInner, c.x, c.y, kLampOuter);
  addStop(g, 0.0, mix(palette::kSocket, rgb(0x000000), 0.3));
  addStop(g, 0.5, palette::kSocket);
  addStop(g, 1.0, mix(palette::kSocket, rgb(0x000000), 0.3));
  lampPath(cr, arc, c, k, 0);
  cairo_set_source(cr, g);
  cairo_fill(cr);
  cairo_pattern_destroy(g);
}

// Amber for light reduction, turning red-orange towards 12 dB.
Colour lampColour(int k) {
  const double t = (k - 1) / double(kLamps - 1);
  return mix(palette::kReduction, rgb(0xFF4F24), t * t);
}

Point localCentre(const Arc& arc) {
  return {arc.centre.x - arc.frame.left, arc.centre.y - arc.frame.top};
}

}  // namespace

cairo_surface_t* paintArc(const Arc& arc) {
  cairo_surface_t* s =
      cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kArcSize, kArcSize * kArcFrames);
  cairo_t* cr = cairo_create(s);
  for (int f = 1; f <= kArcFrames; ++f) {
    cairo_save(cr);
    cairo_translate(cr, 0, double(kArcSize) * (f - 1));
    cairo_rectangle(cr, 0, 0, kArcSize, kArcSize);
    cairo_clip(cr);
    const Point c = localCentre(arc);
    for (int k = 1; k <= kLamps; ++k) socketLamp(cr, arc, c, k);
    for (int k = 1; k <= f - 1; ++k) litLamp(cr, arc, c, k, lampColour(k));
    cairo_restore(cr);
  }
  cairo_destroy(cr);
  return s;
}

cairo_surface_t* paintArcHold(const Arc& arc) {
  cairo_surface_t* s =
      cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kArcSize, kArcSize * kArcFrames);
  cairo_t* cr = cairo_create(s);
  for (int f = 2; f <= kArcFrames; ++f) {
    cairo_save(cr);
    cairo_translate(cr, 0, double(kArcSize) * (f - 1));
    cairo_rectangle(cr, 0, 0, kArcSize, kArcSize);
    cairo_clip(cr);
    litLamp(cr, arc, localCentre(arc), f - 1, palette::kHold);
    cairo_restore(cr);
  }
  cairo_destroy(cr);
  return s;
}

cairo_surface_t* paintLevelBar() {
  cairo_surface_t* s =
      cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kBarWidth, kBarHeight * kBarFrames);
  cairo_t* cr = cairo_create(s);
  for (int f = 1; f <= kBarFrames; ++f) {
    cairo_save(cr);
    cairo_translate(cr, 0, double(kBarHeight) * (f - 1));
    for (int k = 1; k <= kBarSegments; ++k) {
      const double top = segmentTop(k) + 1;  // one dark row between segments
      const double h = segmentTop(k - 1) - top;
      Colour c = palette::kSocket;
      const bool lit = k <= f - 1;
      if (lit)
        c = k <= 18 ? palette::kMeterLow : (k <= 21 ? palette::kMeterMid : palette::kMeterHigh);
      // Rounded glass cell: darker at the sides, bright in the middle, a highlight on top.
      cairo_pattern_t* g = cairo_pattern_create_linear(1, 0, kBarWidth - 1, 0);
      addStop(g, 0.0, mix(c, rgb(0x000000), lit ? 0.35 : 0.25));
      addStop(g, 0.4, lit ? mix(c, rgb(0xFFFFFF), 0.18) : c);
      addStop(g, 1.0, mix(c, rgb(0x000000), lit ? 0.45 : 0.3));
      roundedRect(cr, 1, top, kBarWidth - 2, h, 1.2);
      cairo_set_source(cr, g);
      cairo_fill(cr);
      cairo_pattern_destroy(g);
      cairo_rectangle(cr, 2, top, kBarWidth - 4, 1);
      setColour(cr, rgb(0xFFFFFF, lit ? 0.28 : 0.05));
      cairo_fill(cr);
    }
    cairo_restore(cr);
  }
  cairo_destroy(cr);
  return s;
}

}  // namespace artwork
