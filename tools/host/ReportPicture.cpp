#include "tools/host/ReportPicture.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

#include "tools/host/HostError.h"

namespace qd::host {

namespace {

constexpr int kWidth = 960;
constexpr int kHeight = 540;
// The plot area.
constexpr double kLeft = 64, kTop = 78, kRight = 700, kBottom = 488;

struct Rgb {
  double r, g, b;
};
constexpr Rgb kInputColour{0.45, 0.55, 0.70};
constexpr Rgb kOutputColour{0.90, 0.45, 0.10};
constexpr Rgb kTargetColour{0.15, 0.60, 0.25};
constexpr Rgb kOverColour{0.85, 0.10, 0.10};
constexpr Rgb kInk{0.12, 0.12, 0.14};
constexpr Rgb kGrid{0.86, 0.87, 0.89};

void SetColour(cairo_t* cr, Rgb c, double alpha = 1.0) {
  cairo_set_source_rgba(cr, c.r, c.g, c.b, alpha);
}

void Text(cairo_t* cr, double x, double y, const std::string& text, double size, bool bold,
          double align = 0.0) {
  cairo_select_font_face(cr, "Liberation Sans", CAIRO_FONT_SLANT_NORMAL,
                         bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, size);
  cairo_text_extents_t e;
  cairo_text_extents(cr, text.c_str(), &e);
  cairo_move_to(cr, x - align * e.x_advance, y);
  cairo_show_text(cr, text.c_str());
}

std::string MinutesSeconds(double seconds) {
  const int s = static_cast<int>(std::lround(seconds));
  char text[32];
  std::snprintf(text, sizeof(text), "%d:%02d", s / 60, s % 60);
  return text;
}

// A tick spacing in seconds giving about six to ten labels.
double TickSeconds(double total) {
  for (double step : {1.0, 2.0, 5.0, 10.0, 15.0, 30.0, 60.0, 120.0, 300.0, 600.0}) {
    if (total / step <= 10.0) return step;
  }
  return 1200.0;
}

void Curve(cairo_t* cr, const std::vector<double>& lufs, double seconds, double low, double high,
           Rgb colour, double width) {
  if (lufs.empty() || seconds <= 0.0) return;
  const double xScale = (kRight - kLeft) / seconds;
  const double yScale = (kBottom - kTop) / (high - low);
  bool drawing = false;
  for (size_t i = 0; i < lufs.size(); ++i) {
    const double t = std::min(seconds, (i + 1) * kStepSeconds);
    if (!std::isfinite(lufs[i]) || lufs[i] < low) {
      drawing = false;
      continue;
    }
    const double x = kLeft + t * xScale;
    const double y = kBottom - (std::min(lufs[i], high) - low) * yScale;
    if (drawing) {
      cairo_line_to(cr, x, y);
    } else {
      cairo_move_to(cr, x, y);
      drawing = true;
    }
  }
  SetColour(cr, colour);
  cairo_set_line_width(cr, width);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  cairo_stroke(cr);
}

// Marks along the top of the plot for every step whose true peak exceeds the limit; returns
// how many steps did.
int Overs(cairo_t* cr, const std::vector<double>& peaks, double seconds, double limit, double y,
          Rgb colour, double alpha) {
  int count = 0;
  const double xScale = (kRight - kLeft) / seconds;
  for (size_t i = 0; i < peaks.size(); ++i) {
    if (!(peaks[i] > limit + 1e-9)) continue;
    ++count;
    const double x = kLeft + (i + 0.5) * kStepSeconds * xScale;
    cairo_move_to(cr, x - 4, y);
    cairo_line_to(cr, x + 4, y);
    cairo_line_to(cr, x, y + 7);
    cairo_close_path(cr);
  }
  SetColour(cr, colour, alpha);
  cairo_fill(cr);
  return count;
}

}  // namespace

std::string PictureTitle(const std::string& input, const std::string& output) {
  const std::filesystem::path out(output);
  const std::string folder = out.parent_path().filename().string();
  return std::filesystem::path(input).filename().string() + " -> " +
         (folder.empty() ? "" : folder + "/") + out.filename().string();
}

void WriteReportPicture(const std::string& path, const Measurement& in, const Measurement& out,
                        const PictureInfo& info) {
  std::unique_ptr<cairo_surface_t, void (*)(cairo_surface_t*)> surface(
      cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWidth, kHeight), cairo_surface_destroy);
  std::unique_ptr<cairo_t, void (*)(cairo_t*)> context(cairo_create(surface.get()), cairo_destroy);
  cairo_t* cr = context.get();
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);

  const double seconds =
      std::max(kStepSeconds, static_cast<double>(std::max(in.frames, out.frames)) /
                                 std::max(1, std::max(in.sampleRate, out.sampleRate)));
  // The loudness axis: from the quietest short-term value worth showing to 0 LUFS, in 6 LU
  // steps, never narrower than 30 LU.
  double low = 0.0;
  for (const auto* series : {&in.shortTermLufs, &out.shortTermLufs}) {
    for (double v : *series) {
      if (std::isfinite(v) && v > -70.0) low = std::min(low, v);
    }
  }
  if (std::isfinite(info.targetLufs)) low = std::min(low, info.targetLufs);
  low = std::min(-30.0, 6.0 * std::floor((low - 3.0) / 6.0));
  const double high = 0.0;

  // Grid and axes.
  cairo_set_line_width(cr, 1.0);
  const double yScale = (kBottom - kTop) / (high - low);
  for (double v = low; v <= high + 1e-9; v += 6.0) {
    const double y = std::round(kBottom - (v - low) * yScale) + 0.5;
    SetColour(cr, kGrid);
    cairo_move_to(cr, kLeft, y);
    cairo_line_to(cr, kRight, y);
    cairo_stroke(cr);
    SetColour(cr, kInk);
    Text(cr, kLeft - 8, y + 4, std::to_string(static_cast<int>(v)), 12, false, 1.0);
  }
  const double tick = TickSeconds(seconds);
  const double xScale = (kRight - kLeft) / seconds;
  for (double t = 0.0; t <= seconds + 1e-9; t += tick) {
    const double x = std::round(kLeft + t * xScale) + 0.5;
    SetColour(cr, kGrid);
    cairo_move_to(cr, x, kTop);
    cairo_line_to(cr, x, kBottom);
    cairo_stroke(cr);
    SetColour(cr, kInk);
    Text(cr, x, kBottom + 18, MinutesSeconds(t), 12, false, 0.5);
  }
  SetColour(cr, kInk);
  cairo_rectangle(cr, kLeft + 0.5, kTop + 0.5, kRight - kLeft, kBottom - kTop);
  cairo_stroke(cr);
  Text(cr, (kLeft + kRight) / 2, kBottom + 40, "time (m:ss)", 13, false, 0.5);
  cairo_save(cr);
  cairo_translate(cr, 20, (kTop + kBottom) / 2);
  cairo_rotate(cr, -1.5707963267948966);  // a quarter turn anticlockwise
  Text(cr, 0, 0, "short-term loudness (LUFS)", 13, false, 0.5);
  cairo_restore(cr);

  // The target line, then the curves, the output on top.
  if (std::isfinite(info.targetLufs)) {
    const double y = kBottom - (info.targetLufs - low) * yScale;
    const double dash[] = {7.0, 4.0};
    cairo_set_dash(cr, dash, 2, 0.0);
    SetColour(cr, kTargetColour);
    cairo_set_line_width(cr, 1.5);
    cairo_move_to(cr, kLeft, y);
    cairo_line_to(cr, kRight, y);
    cairo_stroke(cr);
    cairo_set_dash(cr, nullptr, 0, 0.0);
    char label[64];
    std::snprintf(label, sizeof(label), "target %.1f LUFS", info.targetLufs);
    Text(cr, kRight - 6, y - 6, label, 12, true, 1.0);
  }
  Curve(cr, in.shortTermLufs, seconds, low, high, kInputColour, 1.6);
  Curve(cr, out.shortTermLufs, seconds, low, high, kOutputColour, 2.2);
  const int inOvers =
      Overs(cr, in.stepTruePeakDb, seconds, info.truePeakLimitDb, kTop + 2, kOverColour, 0.35);
  const int outOvers =
      Overs(cr, out.stepTruePeakDb, seconds, info.truePeakLimitDb, kTop + 11, kOverColour, 1.0);

  // Title and verdict.
  SetColour(cr, kInk);
  Text(cr, kLeft, 30, info.title, 17, true);
  if (!info.verdict.empty()) Text(cr, kLeft, 54, info.verdict, 13, false);

  // The legend: what the colours mean, then the figures.
  const double lx = kRight + 24;
  double y = kTop + 6;
  auto swatch = [&](Rgb colour, const char* name, double width) {
    SetColour(cr, colour);
    cairo_set_line_width(cr, width);
    cairo_move_to(cr, lx, y - 4);
    cairo_line_to(cr, lx + 22, y - 4);
    cairo_stroke(cr);
    SetColour(cr, kInk);
    Text(cr, lx + 30, y, name, 13, false);
    y += 20;
  };
  swatch(kInputColour, "input", 1.6);
  swatch(kOutputColour, "output", 2.2);
  char text[128];
  std::snprintf(text, sizeof(text), "true peak over %.1f dBTP", info.truePeakLimitDb);
  SetColour(cr, kOverColour);
  cairo_move_to(cr, lx + 7, y - 11);
  cairo_line_to(cr, lx + 15, y - 11);
  cairo_line_to(cr, lx + 11, y - 4);
  cairo_close_path(cr);
  cairo_fill(cr);
  SetColour(cr, kInk);
  Text(cr, lx + 30, y, text, 13, false);
  y += 34;

  const double c1 = lx + 150, c2 = lx + 215;
  Text(cr, c1, y, "input", 13, true, 1.0);
  Text(cr, c2, y, "output", 13, true, 1.0);
  y += 8;
  SetColour(cr, kGrid);
  cairo_set_line_width(cr, 1.0);
  cairo_move_to(cr, lx, y + 0.5);
  cairo_line_to(cr, c2, y + 0.5);
  cairo_stroke(cr);
  y += 18;
  auto figure = [&](const char* name, double a, double b) {
    SetColour(cr, kInk);
    Text(cr, lx, y, name, 13, false);
    Text(cr, c1, y, FormatDb(a), 13, false, 1.0);
    Text(cr, c2, y, FormatDb(b), 13, true, 1.0);
    y += 21;
  };
  figure("Integrated LUFS", in.integratedLufs, out.integratedLufs);
  figure("Range LU", in.rangeLu, out.rangeLu);
  figure("Max momentary", in.maxMomentaryLufs, out.maxMomentaryLufs);
  figure("Max short-term", in.maxShortTermLufs, out.maxShortTermLufs);
  figure("True peak dBTP", in.truePeakDb, out.truePeakDb);
  figure("Sample peak dBFS", in.samplePeakDb, out.samplePeakDb);
  figure("PLR dB", in.PlrDb(), out.PlrDb());
  figure("RMS dBFS", in.rmsDb, out.rmsDb);
  y += 12;
  std::snprintf(text, sizeof(text), "overs (100 ms steps): %d in, %d out", inOvers, outOvers);
  Text(cr, lx, y, text, 12, false);

  cairo_surface_flush(surface.get());
  if (cairo_surface_write_to_png(surface.get(), path.c_str()) != CAIRO_STATUS_SUCCESS) {
    throw HostError("cannot write the report picture '" + path + "'");
  }
}

}  // namespace qd::host
