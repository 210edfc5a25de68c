// Knobs, the round switch and the reset button.
#include <algorithm>

#include "tools/artwork/Artwork.h"

namespace artwork {
namespace {

struct KnobStyle {
  double size;        // frame width and height
  double trackInner;  // travel ring
  double trackOuter;
  double skirt;        // knurled outer body
  double cap;          // top face
  double pointerFrom;  // pointer line radii
  double pointerTo;
  double pointerWidth;
  int knurls;
};

// Fixed lighting from the upper left; only the pointer, the knurls and the travel ring
// follow the angle, so every frame differs only where the knob really moves.
void paintKnob(cairo_t* cr, const KnobStyle& k, double angleDeg) {
  const Point c{k.size / 2, k.size / 2};

  // Travel ring: a dark groove, lit from the start of the travel to the pointer.
  annularSector(cr, c, k.trackInner, k.trackOuter, kKnobMinDeg, kKnobMaxDeg);
  setColour(cr, rgb(0x0C0E11));
  cairo_fill(cr);
  const double ringW = k.trackOuter - k.trackInner;
  if (angleDeg > kKnobMinDeg + 0.01) {
    for (int i = 3; i >= 1; --i) {
      annularSector(cr, c, k.trackInner - i * ringW * 0.22, k.trackOuter + i * ringW * 0.22,
                    kKnobMinDeg, angleDeg);
      setColour(cr, Colour{palette::kAccent.r, palette::kAccent.g, palette::kAccent.b, 0.06});
      cairo_fill(cr);
    }
    cairo_pattern_t* g =
        cairo_pattern_create_radial(c.x, c.y, k.trackInner, c.x, c.y, k.trackOuter);
    addStop(g, 0.0, mix(palette::kAccent, rgb(0x000000), 0.3));
    addStop(g, 0.5, mix(palette::kAccent, rgb(0xFFFFFF), 0.2));
    addStop(g, 1.0, mix(palette::kAccent, rgb(0x000000), 0.3));
    annularSector(cr, c, k.trackInner + 0.4, k.trackOuter - 0.4, kKnobMinDeg, angleDeg);
    cairo_set_source(cr, g);
    cairo_fill(cr);
    cairo_pattern_destroy(g);
  }

  // Soft drop shadow below the body.
  cairo_pattern_t* sh = cairo_pattern_create_radial(c.x, c.y + k.size * 0.02, k.skirt * 0.85, c.x,
                                                    c.y + k.size * 0.02, k.skirt * 1.1);
  addStop(sh, 0.0, rgb(0x000000, 0.65));
  addStop(sh, 1.0, rgb(0x000000, 0.0));
  cairo_arc(cr, c.x, c.y + k.size * 0.02, k.skirt * 1.1, 0, 2 * std::numbers::pi);
  cairo_set_source(cr, sh);
  cairo_fill(cr);
  cairo_pattern_destroy(sh);

  // Skirt with knurling.
  cairo_pattern_t* body =
      cairo_pattern_create_linear(c.x - k.skirt, c.y - k.skirt, c.x + k.skirt, c.y + k.skirt);
  addStop(body, 0.0, rgb(0x5A616A));
  addStop(body, 0.5, rgb(0x33383E));
  addStop(body, 1.0, rgb(0x16181B));
  cairo_arc(cr, c.x, c.y, k.skirt, 0, 2 * std::numbers::pi);
  cairo_set_source(cr, body);
  cairo_fill(cr);
  cairo_pattern_destroy(body);
  cairo_save(cr);
  cairo_arc(cr, c.x, c.y, k.skirt - 0.5, 0, 2 * std::numbers::pi);
  cairo_clip(cr);
  cairo_set_line_width(cr, std::max(0.8, k.size / 160));
  for (int i = 0; i < k.knurls; ++i) {
    const double a = angleDeg + 360.0 * i / k.knurls;
    const Point p0 = polar(c, k.cap + 0.5, a), p1 = polar(c, k.skirt, a);
    cairo_move_to(cr, p0.x, p0.y);
    cairo_line_to(cr, p1.x, p1.y);
    setColour(cr, rgb(0x000000, 0.45));
    cairo_stroke(cr);
    const double b = a + 180.0 / k.knurls * 0.5;
    const Point q0 = polar(c, k.cap + 0.5, b), q1 = polar(c, k.skirt, b);
    cairo_move_to(cr, q0.x, q0.y);
    cairo_line_to(cr, q1.x, q1.y);
    setColour(cr, rgb(0xFFFFFF, 0.07));
    cairo_stroke(cr);
  }
  cairo_restore(cr);
  // Rim highlight: bright at the top left, gone at the bottom right.
  cairo_pattern_t* rim =
      cairo_pattern_create_linear(c.x - k.skirt, c.y - k.skirt, c.x + k.skirt, c.y + k.skirt);
  addStop(rim, 0.0, rgb(0xFFFFFF, 0.35));
  addStop(rim, 0.5, rgb(0xFFFFFF, 0.0));
  addStop(rim, 1.0, rgb(0x000000, 0.5));
  cairo_set_line_width(cr, std::max(1.0, k.size / 120));
  cairo_arc(cr, c.x, c.y, k.skirt - 0.5, 0, 2 * std::numbers::pi);
  cairo_set_source(cr, rim);
  cairo_stroke(cr);
  cairo_pattern_destroy(rim);

  // Cap: a slightly domed face with its own bevel.
  cairo_pattern_t* cap = cairo_pattern_create_radial(c.x - k.cap * 0.35, c.y - k.cap * 0.45,
                                                     k.cap * 0.1, c.x, c.y, k.cap * 1.15);
  addStop(cap, 0.0, rgb(0x4A5058));
  addStop(cap, 0.6, rgb(0x30353B));
  addStop(cap, 1.0, rgb(0x202327));
  cairo_arc(cr, c.x, c.y, k.cap, 0, 2 * std::numbers::pi);
  cairo_set_source(cr, cap);
  cairo_fill(cr);
  cairo_pattern_destroy(cap);
  cairo_pattern_t* bevel = cairo_pattern_create_linear(c.x, c.y - k.cap, c.x, c.y + k.cap);
  addStop(bevel, 0.0, rgb(0x000000, 0.55));
  addStop(bevel, 1.0, rgb(0xFFFFFF, 0.12));
  cairo_set_line_width(cr, std::max(1.0, k.size / 110));
  cairo_arc(cr, c.x, c.y, k.cap - 0.3, 0, 2 * std::numbers::pi);
  cairo_set_source(cr, bevel);
  cairo_stroke(cr);
  cairo_pattern_destroy(bevel);

  // Pointer: a light bar with a faint dark shadow, rounded ends.
  const Point p0 = polar(c, k.pointerFrom, angleDeg), p1 = polar(c, k.pointerTo, angleDeg);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_set_line_width(cr, k.pointerWidth + 1.5);
  cairo_move_to(cr, p0.x, p0.y + 0.8);
  cairo_line_to(cr, p1.x, p1.y + 0.8);
  setColour(cr, rgb(0x000000, 0.45));
  cairo_stroke(cr);
  cairo_set_line_width(cr, k.pointerWidth);
  cairo_move_to(cr, p0.x, p0.y);
  cairo_line_to(cr, p1.x, p1.y);
  setColour(cr, rgb(0xEEF2F6));
  cairo_stroke(cr);
}

cairo_surface_t* paintKnobStrip(const KnobStyle& k) {
  const int size = static_cast<int>(k.size);
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, size, size * kKnobFrames);
  cairo_t* cr = cairo_create(s);
  for (int f = 1; f <= kKnobFrames; ++f) {
    cairo_save(cr);
    cairo_translate(cr, 0, double(size) * (f - 1));
    cairo_rectangle(cr, 0, 0, size, size);
    cairo_clip(cr);
    paintKnob(cr, k, knobAngleDeg(f));
    cairo_restore(cr);
  }
  cairo_destroy(cr);
  return s;
}

}  // namespace

cairo_surface_t* paintLargeKnob() {
  return paintKnobStrip({180, 76, 82, 66, 55, 20, 49, 4.5, 60});
}

cairo_surface_t* paintSmallKnob() {
  return paintKnobStrip({42, 17.2, 20, 14.5, 11.5, 3.5, 10.5, 2.2, 24});
}

cairo_surface_t* paintSwitch() {
  constexpr int kSize = 42;
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kSize, kSize * 2);
  cairo_t* cr = cairo_create(s);
  for (int f = 1; f <= 2; ++f) {
    const bool on = f == 2;
    cairo_save(cr);
    cairo_translate(cr, 0, double(kSize) * (f - 1));
    const Point c{kSize / 2.0, kSize / 2.0};
    // Bezel.
    cairo_arc(cr, c.x, c.y, 18.5, 0, 2 * std::numbers::pi);
    cairo_pattern_t* bz = cairo_pattern_create_linear(0, c.y - 18.5, 0, c.y + 18.5);
    addStop(bz, 0.0, rgb(0x0A0B0D));
    addStop(bz, 1.0, rgb(0x3A3F46));
    cairo_set_source(cr, bz);
    cairo_fill(cr);
    cairo_pattern_destroy(bz);
    // Light ring.
    if (on) {
      for (int i = 3; i >= 1; --i) {
        annularSector(cr, c, 14.5 - i * 0.9, 17.5 + i * 0.9, 0, 360);
        setColour(cr, Colour{palette::kAccent.r, palette::kAccent.g, palette::kAccent.b, 0.12});
        cairo_fill(cr);
      }
    }
    cairo_pattern_t* ring = cairo_pattern_create_radial(c.x, c.y, 14.5, c.x, c.y, 17.5);
    const Colour rc = on ? palette::kAccent : palette::kSocket;
    addStop(ring, 0.0, mix(rc, rgb(0x000000), 0.35));
    addStop(ring, 0.5, on ? mix(rc, rgb(0xFFFFFF), 0.3) : rc);
    addStop(ring, 1.0, mix(rc, rgb(0x000000), 0.35));
    annularSector(cr, c, 14.5, 17.5, 0, 360);
    cairo_set_source(cr, ring);
    cairo_fill(cr);
    cairo_pattern_destroy(ring);
    // Cap: raised when off, pressed in (flatter, darker) when on.
    cairo_arc(cr, c.x, c.y + 0.8, 13, 0, 2 * std::numbers::pi);
    setColour(cr, rgb(0x000000, 0.5));
    cairo_fill(cr);
    cairo_pattern_t* cap = cairo_pattern_create_radial(c.x - 4, c.y - 5, 1, c.x, c.y, 14);
    addStop(cap, 0.0, on ? rgb(0x3E444B) : rgb(0x5C636C));
    addStop(cap, 1.0, on ? rgb(0x1E2125) : rgb(0x24282D));
    cairo_arc(cr, c.x, c.y, 12.5, 0, 2 * std::numbers::pi);
    cairo_set_source(cr, cap);
    cairo_fill(cr);
    cairo_pattern_destroy(cap);
    cairo_arc(cr, c.x, c.y, 12.2, 0, 2 * std::numbers::pi);
    cairo_set_line_width(cr, 0.8);
    setColour(cr, rgb(0xFFFFFF, on ? 0.06 : 0.16));
    cairo_stroke(cr);
    cairo_restore(cr);
  }
  cairo_destroy(cr);
  return s;
}

cairo_surface_t* paintResetButton() {
  constexpr int kW = 56, kH = 28;
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kW, kH * 2);
  cairo_t* cr = cairo_create(s);
  for (int f = 1; f <= 2; ++f) {
    const bool down = f == 2;
    cairo_save(cr);
    cairo_translate(cr, 0, double(kH) * (f - 1));
    const double dy = down ? 1 : 0;
    // Socket the button sits in.
    roundedRect(cr, 1, 1, kW - 2, kH - 2, 5);
    setColour(cr, rgb(0x08090B));
    cairo_fill(cr);
    cairo_pattern_t* g = cairo_pattern_create_linear(0, 2 + dy, 0, kH - 3 + dy);
    addStop(g, 0.0, down ? rgb(0x24282D) : rgb(0x4D545C));
    addStop(g, 1.0, down ? rgb(0x30353B) : rgb(0x2A2E34));
    roundedRect(cr, 2.5, 2.5 + dy, kW - 5, kH - 6, 4);
    cairo_set_source(cr, g);
    cairo_fill(cr);
    cairo_pattern_destroy(g);
    if (!down) {
      cairo_rectangle(cr, 6, 3, kW - 12, 1);
      setColour(cr, rgb(0xFFFFFF, 0.18));
      cairo_fill(cr);
    }
    drawText(cr, "RESET", kW / 2.0, kH / 2.0 - 0.5 + dy, 9, down ? palette::kAccent : rgb(0xC9D0D8),
             Align::Centre, true, 0.8);
    cairo_restore(cr);
  }
  cairo_destroy(cr);
  return s;
}

}  // namespace artwork
