#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "graphics/Controls.h"
#include "graphics/HeadlessGraphics.h"
#include "tests/effect/EngineTestSupport.h"

namespace qd {
namespace {

using testing::MakePlugin;
using testing::Render;
using testing::SetParam;
using testing::Sine;

HeadlessGraphics& EditorOf(QuarloDorvantix& p) {
  return *static_cast<HeadlessGraphics*>(p.Editor());
}

std::string TextOf(QuarloDorvantix& p, int control) {
  return static_cast<TextControl*>(EditorOf(p).GetControl(control))->Text();
}

// Draws the whole panel and writes it where a person can look at it.
void Snapshot(QuarloDorvantix& p, const char* file) {
  HeadlessGraphics& g = EditorOf(p);
  g.Draw({0, 0, 640, 480});
  EXPECT_TRUE(g.WriteSnapshot(file)) << file;
}

TEST(EditorLayout, ControlsInTheirPlaces) {
  auto p = MakePlugin();
  HeadlessGraphics& g = EditorOf(*p);
  ASSERT_EQ(g.ControlCount(), 29);
  struct Row {
    int index, left, top, right, bottom, param;
  } rows[] = {
      {0, 0, 0, 640, 480, -1},        {1, 28, 17, 284, 273, -1},     {3, 69, 65, 249, 245, 0},
      {4, 11, 136, 59, 160, 0},       {5, 47, 205, 89, 247, 1},      {6, 44, 279, 92, 303, 2},
      {9, 221, 250, 401, 430, 3},     {12, 373, 237, 421, 261, 5},   {13, 427, 220, 469, 262, 5},
      {14, 464, 250, 506, 292, 4},    {18, 383, 97, 431, 121, 9},    {19, 437, 97, 485, 121, 10},
      {20, 577, 205, 633, 233, 11},   {21, 525, 168, 605, 192, -1},  {24, 559, 256, 571, 456, -1},
      {27, 607, 256, 619, 456, -1},   {28, 144, 456, 226, 470, -1},
  };
  for (const Row& r : rows) {
    const Control* c = g.GetControl(r.index);
    ASSERT_NE(c, nullptr) << r.index;
    EXPECT_EQ(c->Rect().left, r.left) << r.index;
    EXPECT_EQ(c->Rect().top, r.top) << r.index;
    EXPECT_EQ(c->Rect().right, r.right) << r.index;
    EXPECT_EQ(c->Rect().bottom, r.bottom) << r.index;
    EXPECT_EQ(c->ParamIndex(), r.param) << r.index;
  }
  EXPECT_EQ(TextOf(*p, 28), "v2.0.6");
}

TEST(EditorLayout, CaptionsAtDefaults) {
  auto p = MakePlugin();
  HeadlessGraphics& g = EditorOf(*p);
  g.Draw({0, 0, 640, 480});
  struct Row {
    int control;
    const char* text;
  } rows[] = {{4, "0.0 dB"}, {10, "0.0 dB"}, {12, "100 ms"}, {16, "-0.2 dB"},
              {18, "-12"},   {6, "off "},  {11, "off "},   {19, "RMS "}};
  for (const Row& r : rows) EXPECT_EQ(TextOf(*p, r.control), r.text) << r.control;
}

TEST(EditorLayout, AutoReleaseGraysTheReleaseControls) {
  auto p = MakePlugin();
  HeadlessGraphics& g = EditorOf(*p);
  EXPECT_TRUE(g.GetControl(12)->IsGrayed());
  EXPECT_TRUE(g.GetControl(13)->IsGrayed());
  const double before = p->GetParam(kReleaseTime)->Value();
  g.OnMouseDown(448, 240, {});
  g.OnMouseDrag(448, 200, {});
  g.OnMouseUp(448, 200, {});
  EXPECT_EQ(p->GetParam(kReleaseTime)->Value(), before) << "a grayed knob ignores the mouse";
  SetParam(*p, kAutoRelease, 0);
  EXPECT_FALSE(g.GetControl(12)->IsGrayed());
  EXPECT_FALSE(g.GetControl(13)->IsGrayed());
}

TEST(EditorLayout, ClickInsideTheArcOutsideTheKnobChangesNothing) {
  auto p = MakePlugin();
  HeadlessGraphics& g = EditorOf(*p);
  ChunkBuffer before;
  p->SaveState(before);
  g.OnMouseDown(30, 20, {});
  g.OnMouseUp(30, 20, {});
  ChunkBuffer after;
  p->SaveState(after);
  ASSERT_EQ(before.Size(), after.Size());
  EXPECT_EQ(std::memcmp(before.Data(), after.Data(), before.Size()), 0);
}

TEST(EditorLayout, AutoOutTypeMenuOffersTheThreeTypes) {
  auto p = MakePlugin();
  HeadlessGraphics& g = EditorOf(*p);
  g.menuAnswers.push_back(2);
  g.OnMouseDown(460, 108, {});
  g.OnMouseUp(460, 108, {});
  ASSERT_EQ(g.menuCount, 1);
  ASSERT_EQ(g.lastMenu.items.size(), 3u);
  EXPECT_EQ(g.lastMenu.items[0].text, "dBFS");
  EXPECT_EQ(g.lastMenu.items[1].text, "RMS");
  EXPECT_EQ(g.lastMenu.items[2].text, "LUFS");
  EXPECT_TRUE(g.lastMenu.items[1].flags & kMenuChecked);
  EXPECT_EQ(p->GetParam(kAutoOutType)->Value(), 2.0);
}

TEST(EditorMeters, LampsAndSegmentsFollowTheMeters) {
  auto p = MakePlugin();
  HeadlessGraphics& g = EditorOf(*p);
  const FrameStrip& arc = static_cast<BitmapControl*>(g.GetControl(1))->Strip();
  const FrameStrip& bar = static_cast<BitmapControl*>(g.GetControl(24))->Strip();
  struct Case {
    const FrameStrip* strip;
    double position;
    int frame;  // lights frame - 1 lamps or segments
  } cases[] = {{&arc, 6.4 / 12, 7}, {&arc, 6.5 / 12, 8}, {&bar, 0.0, 1},
               {&bar, (-30.0 + 24) / 24, 1}, {&bar, 1.0, 25}};
  for (const Case& c : cases) EXPECT_EQ(StripFrameForValue(*c.strip, c.position), c.frame);
}

TEST(EditorMeters, ProcessingDrivesReadoutsAndBars) {
  auto p = MakePlugin(48000);
  HeadlessGraphics& g = EditorOf(*p);
  Snapshot(*p, "editor_defaults.png");
  SetParam(*p, kClipperLevel, 9);
  SetParam(*p, kLimiterLevel, 6);
  Render(*p, Sine(220, 0.5, 4.0, 48000), 512);
  g.Idle();  // the editor takes the published meters on its tick
  EXPECT_NE(TextOf(*p, 21).find(" dB"), std::string::npos);
  EXPECT_NE(TextOf(*p, 22).find(" LUFS"), std::string::npos);
  EXPECT_NE(TextOf(*p, 23).find(" LU"), std::string::npos);
  EXPECT_GT(g.GetControl(24)->Value(), 0.9);  // limited output peaks near 0 dB
  EXPECT_GT(g.GetControl(1)->Value(), 0.0);   // the clipper is working
  EXPECT_GT(g.GetControl(7)->Value(), 0.0);   // and so is the limiter
  Snapshot(*p, "editor_playing.png");
}

TEST(EditorMeters, AutomaticOutputLevelReachesTheKnobOnTheTick) {
  auto p = MakePlugin(48000);
  HeadlessGraphics& g = EditorOf(*p);
  SetParam(*p, kAutoOutputLevel, 1);
  const double shown = g.GetControl(15)->Value();
  Render(*p, Sine(220, 0.05, 1.0, 48000), 256);
  const double level = p->GetParam(kOutputLevel)->Value();
  ASSERT_NE(p->GetParam(kOutputLevel)->ToNormalized(level), shown);
  EXPECT_EQ(g.GetControl(15)->Value(), shown);  // processing leaves the editor alone
  g.Idle();
  EXPECT_EQ(g.GetControl(15)->Value(), p->GetParam(kOutputLevel)->ToNormalized(level));
  // A value the host sets after the last block is not undone by the tick.
  Render(*p, Sine(220, 0.05, 0.1, 48000), 256);
  p->SetParameterFromHost(kOutputLevel, 0.5);
  g.Idle();
  EXPECT_EQ(g.GetControl(15)->Value(), p->GetParam(kOutputLevel)->Normalized());
}

}  // namespace
}  // namespace qd
