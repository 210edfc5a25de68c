#include "tools/artwork/Paint.h"

#include <png.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace artwork {

Colour mix(Colour a, Colour b, double t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t,
          a.a + (b.a - a.a) * t};
}

void setColour(cairo_t* cr, Colour c) {
  cairo_set_source_rgba(cr, c.r, c.g, c.b, c.a);
}

void addStop(cairo_pattern_t* p, double offset, Colour c) {
  cairo_pattern_add_color_stop_rgba(p, offset, c.r, c.g, c.b, c.a);
}

void roundedRect(cairo_t* cr, double x, double y, double w, double h, double radius) {
  const double r = std::min(radius, std::min(w, h) / 2);
  cairo_new_sub_path(cr);
  cairo_arc(cr, x + w - r, y + r, r, -90 * kDeg, 0);
  cairo_arc(cr, x + w - r, y + h - r, r, 0, 90 * kDeg);
  cairo_arc(cr, x + r, y + h - r, r, 90 * kDeg, 180 * kDeg);
  cairo_arc(cr, x + r, y + r, r, 180 * kDeg, 270 * kDeg);
  cairo_close_path(cr);
}

void annularSector(cairo_t* cr, Point c, double ri, double ro, double a0Deg, double a1Deg) {
  // cairo measures angles from +x towards +y; ours run clockwise from the top.
  const double s = (std::min(a0Deg, a1Deg) - 90) * kDeg;
  const double e = (std::max(a0Deg, a1Deg) - 90) * kDeg;
  cairo_new_sub_path(cr);
  cairo_arc(cr, c.x, c.y, ro, s, e);
  cairo_arc_negative(cr, c.x, c.y, ri, e, s);
  cairo_close_path(cr);
}

void insetFrame(cairo_t* cr, double x, double y, double w, double h, double radius) {
  // Faint highlight one pixel below the frame reads as the lit lower lip of a recess.
  roundedRect(cr, x - 0.5, y - 0.5, w + 1, h + 2, radius + 0.5);
  setColour(cr, rgb(0xFFFFFF, 0.07));
  cairo_fill(cr);
  roundedRect(cr, x - 0.5, y - 0.5, w + 1, h + 1, radius + 0.5);
  setColour(cr, rgb(0x050607));
  cairo_fill(cr);
  cairo_pattern_t* g = cairo_pattern_create_linear(0, y, 0, y + h);
  addStop(g, 0.0, rgb(0x0B0C0E));
  addStop(g, 1.0, rgb(0x141619));
  roundedRect(cr, x + 0.5, y + 1.5, w - 1, h - 2, radius);
  cairo_set_source(cr, g);
  cairo_fill(cr);
  cairo_pattern_destroy(g);
}

namespace {

void selectFont(cairo_t* cr, double size, bool bold) {
  cairo_select_font_face(cr, "Liberation Sans", CAIRO_FONT_SLANT_NORMAL,
                         bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, size);
  cairo_font_options_t* o = cairo_font_options_create();
  cairo_font_options_set_antialias(o, CAIRO_ANTIALIAS_GRAY);
  cairo_font_options_set_hint_style(o, CAIRO_HINT_STYLE_SLIGHT);
  cairo_font_options_set_hint_metrics(o, CAIRO_HINT_METRICS_OFF);
  cairo_set_font_options(cr, o);
  cairo_font_options_destroy(o);
}

double advance(cairo_t* cr, const std::string& s) {
  cairo_text_extents_t e;
  cairo_text_extents(cr, s.c_str(), &e);
  return e.x_advance;
}

}  // namespace

double textWidth(cairo_t* cr, const std::string& text, double size, bool bold, double tracking) {
  cairo_save(cr);
  selectFont(cr, size, bold);
  double w = advance(cr, text);
  if (tracking != 0 && text.size() > 1) w += tracking * double(text.size() - 1);
  cairo_restore(cr);
  return w;
}

void drawText(cairo_t* cr, const std::string& text, double x, double y, double size, Colour c,
              Align align, bool bold, double tracking) {
  cairo_save(cr);
  selectFont(cr, size, bold);
  cairo_text_extents_t cap;
  cairo_text_extents(cr, "H", &cap);
  const double w = textWidth(cr, text, size, bold, tracking);
  double left = x;
  if (align == Align::Centre) left = x - w / 2;
  if (align == Align::Right) left = x - w;
  const double baseline = y - cap.y_bearing / 2;  // y_bearing is minus the cap height
  setColour(cr, c);
  if (tracking == 0) {
    cairo_move_to(cr, left, baseline);
    cairo_show_text(cr, text.c_str());
  } else {
    double pen = left;
    for (char ch : text) {
      const std::string one(1, ch);
      cairo_move_to(cr, pen, baseline);
      cairo_show_text(cr, one.c_str());
      pen += advance(cr, one) + tracking;
    }
  }
  cairo_restore(cr);
}

namespace {

bool writePngFile(cairo_surface_t* surface, const std::string& path) {
  const int w = cairo_image_surface_get_width(surface);
  const int h = cairo_image_surface_get_height(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  const unsigned char* data = cairo_image_surface_get_data(surface);

  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    std::perror(path.c_str());
    return false;
  }
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info) {
    png_destroy_write_struct(&png, nullptr);
    std::fclose(f);
    std::fprintf(stderr, "%s: cannot create the PNG writer\n", path.c_str());
    return false;
  }
  std::vector<unsigned char> row(std::size_t(w) * 4);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    std::fprintf(stderr, "%s: PNG write failed\n", path.c_str());
    return false;
  }
  png_init_io(png, f);
  png_set_compression_level(png, 9);
  png_set_IHDR(png, info, w, h, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < h; ++y) {
    // cairo stores premultiplied native-endian 0xAARRGGBB words; PNG wants straight RGBA.
    const auto* src = reinterpret_cast<const std::uint32_t*>(data + std::size_t(y) * stride);
    for (int x = 0; x < w; ++x) {
      const std::uint32_t p = src[x];
      const unsigned a = p >> 24;
      unsigned r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
      if (a != 0 && a != 255) {
        r = (r * 255 + a / 2) / a;
        g = (g * 255 + a / 2) / a;
        b = (b * 255 + a / 2) / a;
      }
      unsigned char* d = &row[std::size_t(x) * 4];
      d[0] = static_cast<unsigned char>(std::min(r, 255u));
      d[1] = static_cast<unsigned char>(std::min(g, 255u));
      d[2] = static_cast<unsigned char>(std::min(b, 255u));
      d[3] = static_cast<unsigned char>(a);
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  if (std::fclose(f) != 0) {
    std::perror(path.c_str());
    return false;
  }
  return true;
}

}  // namespace

bool writePng(cairo_surface_t* surface, const std::string& path) {
  cairo_surface_flush(surface);
  // Write beside the target and rename, so an interrupted run never leaves a truncated image.
  const std::string temp = path + ".part";
  if (!writePngFile(surface, temp)) {
    std::remove(temp.c_str());
    return false;
  }
  if (std::rename(temp.c_str(), path.c_str()) != 0) {
    std::perror(path.c_str());
    std::remove(temp.c_str());
    return false;
  }
  return true;
}

}  // namespace artwork
