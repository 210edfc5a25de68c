// Drawing helpers of the artwork generator: colours, shapes, text and PNG output over
// cairo image surfaces. Used only by the generator program (single-threaded).
#pragma once

#include <cairo.h>

#include <cstdint>
#include <string>

#include "tools/artwork/Geometry.h"

namespace artwork {

struct Colour {
  double r, g, b, a;
};

// 0xRRGGBB with an opacity.
constexpr Colour rgb(std::uint32_t hex, double a = 1.0) {
  return {((hex >> 16) & 0xFF) / 255.0, ((hex >> 8) & 0xFF) / 255.0, (hex & 0xFF) / 255.0, a};
}

// Blend two colours: t = 0 gives a, t = 1 gives b.
Colour mix(Colour a, Colour b, double t);

void setColour(cairo_t* cr, Colour c);
void addStop(cairo_pattern_t* p, double offset, Colour c);

// Path helpers (they only build a path).
void roundedRect(cairo_t* cr, double x, double y, double w, double h, double radius);
// Annular sector between radii ri and ro from angle a0 to a1 (degrees clockwise from the top).
void annularSector(cairo_t* cr, Point c, double ri, double ro, double a0Deg, double a1Deg);

// A recessed frame for text drawn at run time: darker fill, a shaded upper edge and a faint
// highlight along the lower edge.
void insetFrame(cairo_t* cr, double x, double y, double w, double h, double radius);

enum class Align { Left, Centre, Right };

// Liberation Sans text whose vertical centre (cap height) sits at y.
void drawText(cairo_t* cr, const std::string& text, double x, double y, double size, Colour c,
              Align align = Align::Centre, bool bold = false, double tracking = 0.0);
double textWidth(cairo_t* cr, const std::string& text, double size, bool bold = false,
                 double tracking = 0.0);

// Writes an ARGB32 surface as an 8-bit RGBA PNG (always with an alpha channel, straight
// alpha). Returns false with a message on stderr when the file cannot be written.
bool writePng(cairo_surface_t* surface, const std::string& path);

}  // namespace artwork
