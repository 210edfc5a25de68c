// Checks the committed editor images: sizes and frame layout the editor relies on, an alpha
// channel in each, and the content facts that tie frames to values (lit lamps and segments,
// pointer positions) and keep the images from covering each other.
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tools/artwork/Geometry.h"

namespace {

using namespace artwork;

struct Image {
  int width = 0, height = 0;
  bool hasAlpha = false;            // the file itself carries alpha (RGBA, grey+alpha or tRNS)
  std::vector<unsigned char> rgba;  // decoded to 8-bit RGBA, rows top to bottom

  const unsigned char* at(int x, int y) const { return &rgba[(std::size_t(y) * width + x) * 4]; }
  int alpha(int x, int y) const { return at(x, y)[3]; }
  int brightness(int x, int y) const { return std::max({at(x, y)[0], at(x, y)[1], at(x, y)[2]}); }
};

// Decodes a PNG file with libpng; fails the calling test when it cannot be read.
Image load(const std::string& name) {
  Image img;
  const std::string path = std::string(QD_ARTWORK_IMG_DIR) + "/" + name;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    ADD_FAILURE() << "cannot open " << path;
    return img;
  }
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  std::vector<png_bytep> rows;
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(f);
    ADD_FAILURE() << "cannot decode " << path;
    return Image{};
  }
  png_init_io(png, f);
  png_read_info(png, info);
  img.width = static_cast<int>(png_get_image_width(png, info));
  img.height = static_cast<int>(png_get_image_height(png, info));
  const int type = png_get_color_type(png, info);
  const bool trns = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
  img.hasAlpha = (type & PNG_COLOR_MASK_ALPHA) != 0 || trns;
  png_set_expand(png);
  png_set_strip_16(png);
  png_set_gray_to_rgb(png);
  if (!img.hasAlpha) png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
  png_read_update_info(png, info);
  img.rgba.resize(std::size_t(img.width) * img.height * 4);
  rows.resize(img.height);
  for (int y = 0; y < img.height; ++y) rows[y] = &img.rgba[std::size_t(y) * img.width * 4];
  png_read_image(png, rows.data());
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(f);
  return img;
}

// A lamp, segment or pointer counts as lit when it is opaque and bright; unlit sockets are
// dark grey and empty frames transparent.
bool lit(const Image& img, int x, int y) {
  return img.alpha(x, y) > 128 && img.brightness(x, y) > 150;
}

TEST(ArtworkImages, SizesFramesAndAlphaMatchTheEditorLayout) {
  struct Case {
    const char* file;
    int frames, frameWidth, frameHeight;
  };
  const Case cases[] = {
      {"bg.png", 1, 640, 480},
      {"clipper-knob.png", 100, 180, 180},
      {"limiter-knob.png", 100, 180, 180},
      {"knob.png", 100, 42, 42},
      {"gr-clipper.png", 13, 256, 256},
      {"gr-limiter.png", 13, 256, 256},
      {"gr-clipper-peak-hold.png", 13, 256, 256},
      {"gr-limiter-peak-hold.png", 13, 256, 256},
      {"button.png", 2, 42, 42},
      {"reset-button.png", 2, 56, 28},
      {"vu-meter.png", 25, 12, 200},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const Image img = load(c.file);
    EXPECT_EQ(img.width, c.frameWidth);
    EXPECT_EQ(img.height, c.frames * c.frameHeight);
    EXPECT_EQ(img.height % c.frames, 0);
    EXPECT_TRUE(img.hasAlpha);
  }
}

TEST(ArtworkImages, BackgroundIsOpaqueAndLeavesTheVersionTextAreaClear) {
  const Image bg = load("bg.png");
  ASSERT_EQ(bg.width, kPanelWidth);
  for (int y = 0; y < bg.height; ++y)
    for (int x = 0; x < bg.width; ++x) ASSERT_EQ(bg.alpha(x, y), 255) << x << "," << y;
  // Only the smooth panel shading may show where the version is drawn: no edges of any mark.
  const Rect v = kVersionText;
  for (int y = v.top; y < v.bottom; ++y)
    for (int x = v.left + 1; x < v.right; ++x)
      ASSERT_LE(std::abs(bg.brightness(x, y) - bg.brightness(x - 1, y)), 3) << x << "," << y;
}

// Frame k of the bar lights exactly the lowest k - 1 segments (1 dB each).
TEST(ArtworkImages, LevelBarFrameLightsTheLowestSegments) {
  const Image bar = load("vu-meter.png");
  ASSERT_EQ(bar.height, kBarFrames * kBarHeight);
  for (int f = 1; f <= kBarFrames; ++f) {
    for (int k = 1; k <= kBarSegments; ++k) {
      const int y = (f - 1) * kBarHeight + (segmentTop(k) + segmentTop(k - 1)) / 2;
      EXPECT_EQ(lit(bar, kBarWidth / 2, y), k <= f - 1) << "frame " << f << " segment " << k;
    }
  }
}

// The bar strips light lamps 1 .. k - 1 in frame k; the hold strips light only lamp k - 1.
TEST(ArtworkImages, ArcFramesLightTheirLamps) {
  struct Case {
    const char* file;
    Arc arc;
    bool hold;
  };
  const Case cases[] = {
      {"gr-clipper.png", clipperArc(), false},
      {"gr-limiter.png", limiterArc(), false},
      {"gr-clipper-peak-hold.png", clipperArc(), true},
      {"gr-limiter-peak-hold.png", limiterArc(), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const Image img = load(c.file);
    ASSERT_EQ(img.height, kArcFrames * kArcSize);
    for (int f = 1; f <= kArcFrames; ++f) {
      for (int k = 1; k <= kLamps; ++k) {
        const Point p = lampCentre(c.arc, k);
        const int x = static_cast<int>(p.x), y = (f - 1) * kArcSize + static_cast<int>(p.y);
        const bool expected = c.hold ? k == f - 1 : k <= f - 1;
        EXPECT_EQ(lit(img, x, y), expected) << "frame " << f << " lamp " << k;
      }
    }
  }
}

// Knobs are drawn over the arcs, so they must be transparent wherever a lamp sits.
TEST(ArtworkImages, LargeKnobsLeaveTheLampsVisible) {
  struct Case {
    const char* file;
    Arc arc;
    Rect knob;
  };
  const Case cases[] = {{"clipper-knob.png", clipperArc(), kClipperKnobRect},
                        {"limiter-knob.png", limiterArc(), kLimiterKnobRect}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const Image img = load(c.file);
    ASSERT_EQ(img.width, c.knob.width());
    for (int f : {1, 51, 100}) {
      for (int k = 1; k <= kLamps; ++k) {
        const Point lamp = lampCentre(c.arc, k);
        const int x = static_cast<int>(lamp.x) + c.arc.frame.left - c.knob.left;
        const int y = static_cast<int>(lamp.y) + c.arc.frame.top - c.knob.top;
        if (x < 0 || y < 0 || x >= c.knob.width() || y >= c.knob.height()) continue;
        EXPECT_EQ(img.alpha(x, (f - 1) * c.knob.height() + y), 0) << "frame " << f << " lamp " << k;
      }
    }
  }
}

// The pointer turns from lower left (frame 1) through the top to lower right (frame 100), and
// every frame differs from the one before it.
TEST(ArtworkImages, KnobPointerTravelsFromLowerLeftToLowerRight) {
  struct Case {
    const char* file;
    int size;
    double pointerRadius;
  };
  const Case cases[] = {
      {"clipper-knob.png", 180, 35}, {"limiter-knob.png", 180, 35}, {"knob.png", 42, 7.5}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const Image img = load(c.file);
    ASSERT_EQ(img.height, kKnobFrames * c.size);
    const Point centre{c.size / 2.0, c.size / 2.0};
    struct Probe {
      int frame;
      double deg;
    };
    for (Probe pr : {Probe{1, -135}, Probe{50, 0}, Probe{51, 0}, Probe{100, 135}}) {
      for (double deg : {-135.0, -90.0, 0.0, 90.0, 135.0, 180.0}) {
        const Point p = polar(centre, c.pointerRadius, deg);
        const bool expected = std::abs(deg - pr.deg) < 5;
        EXPECT_EQ(lit(img, int(p.x), (pr.frame - 1) * c.size + int(p.y)), expected)
            << "frame " << pr.frame << " at " << deg << " degrees";
      }
    }
    const std::size_t frameBytes = std::size_t(c.size) * c.size * 4;
    for (int f = 2; f <= kKnobFrames; ++f) {
      const auto a = img.rgba.begin() + std::ptrdiff_t((f - 2) * frameBytes);
      EXPECT_FALSE(std::equal(a, a + std::ptrdiff_t(frameBytes), a + std::ptrdiff_t(frameBytes)))
          << "frames " << f - 1 << " and " << f << " are identical";
    }
  }
}

TEST(ArtworkImages, SwitchAndResetButtonFramesShowTheirState) {
  const Image sw = load("button.png");
  ASSERT_EQ(sw.height, 84);
  // The ring at the top of the switch is dark when off and lit when on.
  const int ringX = 21, ringY = 21 - 16;
  EXPECT_FALSE(lit(sw, ringX, ringY));
  EXPECT_TRUE(lit(sw, ringX, 42 + ringY));
  // Corners stay transparent so the panel shows around the round switch.
  EXPECT_EQ(sw.alpha(0, 0), 0);
  EXPECT_EQ(sw.alpha(0, 42), 0);

  const Image reset = load("reset-button.png");
  ASSERT_EQ(reset.height, 56);
  const std::size_t frameBytes = std::size_t(56) * 28 * 4;
  EXPECT_FALSE(std::equal(reset.rgba.begin(), reset.rgba.begin() + std::ptrdiff_t(frameBytes),
                          reset.rgba.begin() + std::ptrdiff_t(frameBytes)));
}

}  // namespace
