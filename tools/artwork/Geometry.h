// Geometry shared by the artwork generator and the image tests.
//
// Every painted element must sit exactly where the editor places the control that
// draws over it, so the control rectangles of the editor are repeated here and all
// positions (lamps, segments, scale marks) are derived from them in one place.
// Header only; no state; callable from any thread.
#pragma once

#include <cmath>
#include <numbers>

namespace artwork {

struct Rect {
  int left, top, right, bottom;
  constexpr int width() const { return right - left; }
  constexpr int height() const { return bottom - top; }
  constexpr double cx() const { return (left + right) / 2.0; }
  constexpr double cy() const { return (top + bottom) / 2.0; }
};

struct Point {
  double x, y;
};

inline constexpr int kPanelWidth = 640;
inline constexpr int kPanelHeight = 480;

// Editor control rectangles (left, top, right, bottom; right and bottom exclusive).
inline constexpr Rect kClipperArcRect{28, 17, 284, 273};
inline constexpr Rect kClipperKnobRect{69, 65, 249, 245};
inline constexpr Rect kClipperLevelCaption{11, 136, 59, 160};
inline constexpr Rect kSoftClipSwitch{47, 205, 89, 247};
inline constexpr Rect kClipperOversampleCaption{44, 279, 92, 303};
inline constexpr Rect kLimiterArcRect{180, 208, 436, 464};
inline constexpr Rect kLimiterKnobRect{221, 250, 401, 430};
inline constexpr Rect kLimiterLevelCaption{411, 321, 459, 345};
inline constexpr Rect kLimiterOversampleCaption{373, 173, 421, 197};
inline constexpr Rect kReleaseCaption{373, 237, 421, 261};
inline constexpr Rect kReleaseKnob{427, 220, 469, 262};
inline constexpr Rect kAutoReleaseSwitch{464, 250, 506, 292};
inline constexpr Rect kOutputKnob{384, 22, 426, 64};
inline constexpr Rect kOutputCaption{438, 31, 486, 55};
inline constexpr Rect kAutoOutputSwitch{329, 90, 371, 132};
inline constexpr Rect kAutoTargetCaption{383, 97, 431, 121};
inline constexpr Rect kAutoTypeCaption{437, 97, 485, 121};
inline constexpr Rect kResetButton{577, 205, 633, 233};
inline constexpr Rect kRmsReadout{525, 168, 605, 192};
inline constexpr Rect kIntegratedReadout{525, 68, 605, 92};
inline constexpr Rect kRangeReadout{525, 118, 605, 142};
inline constexpr Rect kVersionText{144, 456, 226, 470};

// Output bars: left RMS, left peak, right peak, right RMS.
inline constexpr int kBarX[4] = {544, 559, 592, 607};
inline constexpr int kBarTop = 256;
inline constexpr int kBarWidth = 12;
inline constexpr int kBarHeight = 200;
inline constexpr int kBarSegments = 24;  // 1 dB each, -24 dB at the bottom to 0 dB at the top
inline constexpr int kBarFrames = kBarSegments + 1;

// Rows of the bar image: segment k (1 = bottom) covers [segmentTop(k), segmentTop(k - 1)).
// segmentTop(0) is the bottom edge and segmentTop(24) the top edge, so the boundary of
// segment k is the level -24 + k dB.
inline int segmentTop(int k) {
  return static_cast<int>(std::lround(kBarHeight - k * double(kBarHeight) / kBarSegments));
}
// Panel row of the level (dB, -24..0) on the bar scale.
inline double levelRow(double db) {
  return kBarTop + kBarHeight * (-db) / kBarSegments;
}

// Knob strips: frame 1 points to lower left, the middle of the travel to the top and the
// last frame to lower right, in equal steps. Angles are degrees clockwise from the top.
inline constexpr int kKnobFrames = 100;
inline constexpr double kKnobMinDeg = -135.0;
inline constexpr double kKnobMaxDeg = 135.0;
inline double knobAngleDeg(int frame) {
  return kKnobMinDeg + (kKnobMaxDeg - kKnobMinDeg) * (frame - 1) / (kKnobFrames - 1);
}

inline constexpr double kDeg = std::numbers::pi / 180.0;

// A point at radius r and angle deg (clockwise from the top) around c.
inline Point polar(Point c, double r, double deg) {
  return {c.x + r * std::sin(deg * kDeg), c.y - r * std::cos(deg * kDeg)};
}

// Gain-reduction arcs: 12 lamps of 1 dB each. The two arcs start at the point between
// the two large knobs (0 dB, shared by both scales) and run counter-clockwise: the
// clipper's up its right side and over the top, the limiter's down its left side and
// under the bottom, so that together they read -12 .. 0 .. -12.
inline constexpr int kLamps = 12;
inline constexpr int kArcFrames = kLamps + 1;
inline constexpr int kArcSize = 256;
inline constexpr double kLampInner = 97.0;
inline constexpr double kLampOuter = 111.0;
inline constexpr double kLampStepDeg = 17.0;

struct Arc {
  Rect frame;       // the arc control's rectangle on the panel
  Point centre;     // the knob centre on the panel
  double startDeg;  // angle of the 0 dB end
};

inline double directionDeg(Point from, Point to) {
  return std::atan2(to.x - from.x, from.y - to.y) / kDeg;
}

inline Arc clipperArc() {
  Point c{kClipperKnobRect.cx(), kClipperKnobRect.cy()};
  Point other{kLimiterKnobRect.cx(), kLimiterKnobRect.cy()};
  return {kClipperArcRect, c, directionDeg(c, other)};
}

inline Arc limiterArc() {
  Point c{kLimiterKnobRect.cx(), kLimiterKnobRect.cy()};
  Point other{kClipperKnobRect.cx(), kClipperKnobRect.cy()};
  return {kLimiterArcRect, c, directionDeg(c, other)};
}

// Angle of the boundary after `db` lamps (db = 0 is the start, 12 the far end).
inline double markDeg(const Arc& a, double db) {
  return a.startDeg - db * kLampStepDeg;
}

// Centre of lamp k (1..12) in the arc frame's own coordinates.
inline Point lampCentre(const Arc& a, int k) {
  Point local{a.centre.x - a.frame.left, a.centre.y - a.frame.top};
  return polar(local, (kLampInner + kLampOuter) / 2, markDeg(a, k - 0.5));
}

}  // namespace artwork
