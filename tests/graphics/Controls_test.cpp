#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/PluginParam.h"
#include "graphics/bitmap/Blit.h"
#include "tests/graphics/GraphicsTestSupport.h"

namespace qd {
namespace {

using testing::Editor;
using testing::kLevel;
using testing::kToggle;
using testing::kType;
using testing::StripPixel;
using testing::TestGraphics;
using Calls = std::vector<std::string>;

const MouseKeys kLeft{true, false, false, false, false};
const MouseKeys kShiftLeft{true, false, true, false, false};
const MouseKeys kControlLeft{true, false, false, true, false};
const MouseKeys kRight{false, true, false, false, false};

// A 42 x 42 knob on "Level" at (100, 100), vertical, gearing 4.
struct KnobEditor : Editor {
  int knob = -1;
  explicit KnobEditor(double levelAtAttach = 0.0, int direction = 0) {
    plugin.GetParam(kLevel)->SetClamped(levelAtAttach);
    knob = g->AddControl(std::make_unique<StripKnobControl>(
        &plugin, 100, 100, kLevel, g->LoadStrip(902, "knob.png", 100), direction, 4.0));
    Attach();
  }
  Control* Knob() { return g->GetControl(knob); }
  double Level() { return plugin.GetParam(kLevel)->Value(); }
};

TEST(StripKnobControl, DragGearingAndModifiers) {
  struct Case {
    const char* what;
    MouseKeys keys;
    int direction;
    int dx, dy;  // total pointer movement, made in two steps
    double gain;
  };
  const Case cases[] = {
      {"up by the full height adds 1 / gearing", kLeft, 0, 0, -42, 0.25},
      {"shift gears down by ten", kShiftLeft, 0, 0, -42, 0.025},
      {"control gears down by ten", kControlLeft, 0, 0, -42, 0.025},
      {"down subtracts", kLeft, 0, 0, 21, -0.125},
      {"horizontal knobs follow x", kLeft, 1, 42, 0, 0.25},
  };
  for (const Case& c : cases) {
    KnobEditor e(0.0, c.direction);
    ASSERT_DOUBLE_EQ(e.Knob()->Value(), 0.5) << c.what;
    ASSERT_TRUE(e.g->OnMouseDown(110, 110, c.keys));
    e.g->OnMouseDrag(110 + c.dx / 2, 110 + c.dy / 2, c.keys);
    e.g->OnMouseDrag(110 + c.dx / 2, 110 + c.dy / 2, c.keys);  // no movement: ignored
    e.g->OnMouseDrag(110 + c.dx, 110 + c.dy, c.keys);
    e.g->OnMouseUp(110 + c.dx, 110 + c.dy, c.keys);
    EXPECT_NEAR(e.Knob()->Value(), 0.5 + c.gain, 1e-12) << c.what;
    EXPECT_NEAR(e.Level(), (0.5 + c.gain) * 20.0 - 10.0, 0.0051) << c.what;
    ASSERT_FALSE(e.plugin.host.calls.empty());
    EXPECT_EQ(e.plugin.host.calls.front(), "begin 0") << c.what;
    EXPECT_EQ(e.plugin.host.calls.back(), "end 0") << c.what;
  }
}

TEST(StripKnobControl, WheelStepsAreClampedToTheRange) {
  KnobEditor e;
  e.Knob()->ReceiveValue(0.995);
  e.g->OnMouseWheel(110, 110, {}, 2.0f);
  EXPECT_DOUBLE_EQ(e.Knob()->Value(), 1.0);
  EXPECT_DOUBLE_EQ(e.Level(), 10.0);
  e.g->OnMouseWheel(110, 110, kShiftLeft, -3.0f);
  EXPECT_NEAR(e.Knob()->Value(), 0.997, 1e-9);
  e.g->OnMouseWheel(110, 110, {}, -1000.0f);
  EXPECT_DOUBLE_EQ(e.Knob()->Value(), 0.0);
  e.g->OnMouseWheel(500, 500, {}, 1.0f);  // nothing there
  EXPECT_DOUBLE_EQ(e.Knob()->Value(), 0.0);
}

TEST(StripKnobControl, DoubleClickRestoresTheValueAtAttachWithoutGestures) {
  KnobEditor e(2.0);  // not the parameter's default of 0 dB
  EXPECT_DOUBLE_EQ(e.Knob()->DefaultValue(), 0.6);
  e.g->OnMouseDown(110, 110, kLeft);
  e.g->OnMouseDrag(110, 60, kLeft);
  e.g->OnMouseUp(110, 60, kLeft);
  ASSERT_NE(e.Knob()->Value(), 0.6);
  e.plugin.host.calls.clear();
  EXPECT_FALSE(e.g->OnMouseDblClick(110, 110, kLeft));
  EXPECT_DOUBLE_EQ(e.Knob()->Value(), 0.6);
  EXPECT_NEAR(e.Level(), 2.0, 1e-9);
  EXPECT_EQ(e.plugin.host.calls, (Calls{"change 0 0.6000"}));
}

TEST(SwitchControl, ClicksCycleThroughTheFrames) {
  int two = -1, three = -1;
  Editor e([&](TestGraphics& g) {
    two = g.AddControl(
        std::make_unique<SwitchControl>(g.Plugin(), 0, 0, kToggle, g.LoadStrip(903, "b.png", 2)));
    three = g.AddControl(
        std::make_unique<SwitchControl>(g.Plugin(), 100, 0, -1, g.LoadStrip(904, "c.png", 3)));
  });
  std::vector<double> seen;
  for (int click = 0; click < 3; ++click) {
    e.g->OnMouseDown(5, 5, kLeft);
    e.g->OnMouseUp(5, 5, kLeft);
    seen.push_back(e.plugin.GetParam(kToggle)->Value());
  }
  EXPECT_EQ(seen, (std::vector<double>{1.0, 0.0, 1.0}));
  e.g->OnMouseDblClick(5, 5, kLeft);  // a double click is one more click
  EXPECT_EQ(e.plugin.GetParam(kToggle)->Value(), 0.0);
  seen.clear();
  for (int click = 0; click < 4; ++click) {
    e.g->OnMouseDown(105, 5, kLeft);
    e.g->OnMouseUp(105, 5, kLeft);
    seen.push_back(e.g->GetControl(three)->Value());
  }
  EXPECT_EQ(seen, (std::vector<double>{0.5, 1.0, 0.0, 0.5}));
  e.DrawAll();
  EXPECT_EQ(e.Pixel(100, 0), StripPixel(0, 42));  // frame 2 of 3
  (void)two;
}

TEST(ContactControl, TheParameterIsOneExactlyWhileHeld) {
  Editor e([&](TestGraphics& g) {
    g.AddControl(
        std::make_unique<ContactControl>(g.Plugin(), 0, 0, kToggle, g.LoadStrip(903, "b.png", 2)));
  });
  e.g->OnMouseDown(5, 5, kLeft);
  EXPECT_EQ(e.plugin.GetParam(kToggle)->Value(), 1.0);
  e.g->OnMouseUp(300, 300, kLeft);  // released elsewhere: still the captured control
  EXPECT_EQ(e.plugin.GetParam(kToggle)->Value(), 0.0);
  EXPECT_EQ(e.plugin.host.calls, (Calls{"begin 2", "change 2 1.0000", "change 2 0.0000", "end 2"}));
}

TEST(Graphics, HitOrderCaptureAndGrayedControls) {
  int lower = -1, upper = -1;
  // A knob on "Type" overlapping the lower right quarter of a knob on "Level".
  Editor e2([&](TestGraphics& gg) {
    lower = gg.AddControl(std::make_unique<StripKnobControl>(gg.Plugin(), 100, 100, kLevel,
                                                             gg.LoadStrip(902, "k.png", 100)));
    upper = gg.AddControl(std::make_unique<StripKnobControl>(gg.Plugin(), 121, 121, kType,
                                                             gg.LoadStrip(902, "k.png", 100)));
  });
  EXPECT_EQ(e2.g->HitSearch(130, 130), upper);
  EXPECT_EQ(e2.g->HitSearch(105, 105), lower);
  EXPECT_EQ(e2.g->HitSearch(99, 105), -1);
  EXPECT_EQ(e2.g->HitSearch(142, 105), -1);  // right edge is exclusive

  // Capture: the drag and the release go to the pressed control, wherever the pointer is.
  e2.g->OnMouseDown(130, 130, kLeft);
  EXPECT_EQ(e2.g->CaptureIndex(), upper);
  e2.g->OnMouseDrag(400, 80, kLeft);
  e2.g->OnMouseUp(400, 80, kLeft);
  EXPECT_EQ(e2.g->CaptureIndex(), -1);
  EXPECT_EQ(e2.plugin.host.calls.front(), "begin 1");
  EXPECT_EQ(e2.plugin.host.calls.back(), "end 1");

  // Grayed: deaf to the mouse (the click reaches the control below) and drawn at a quarter.
  e2.g->GrayParamControls(kType, true);
  EXPECT_EQ(e2.g->GetControl(upper)->GetBlend().weight, 0.25f);
  EXPECT_EQ(e2.g->HitSearch(130, 130), lower);
  e2.g->OnMouseDown(150, 150, kLeft);
  EXPECT_EQ(e2.g->CaptureIndex(), -1);
  ClearBitmap(e2.g->DrawBitmap(), 0xFF000000);
  e2.g->Draw({150, 150, 160, 160});
  PixMemBitmap expected(1, 1), source(1, 1);
  expected.Pixels()[0] = 0xFF000000;
  int frame = StripFrameForValue(FrameStrip{nullptr, 42, 4200, 100, false},
                                 e2.g->GetControl(upper)->Value());
  source.Pixels()[0] = StripPixel(150 - 121, (frame - 1) * 42 + 150 - 121);
  BlitBitmap(&expected, &source, 0, 0, nullptr, 0.25f, kBlitAlphaCopy);
  EXPECT_EQ(e2.Pixel(150, 150), expected.Pixels()[0]);
  EXPECT_NE(e2.Pixel(150, 150), source.Pixels()[0]);
  e2.g->GrayParamControls(kType, false);
  EXPECT_EQ(e2.g->HitSearch(130, 130), upper);
}

// Captions for "Level" (continuous, label shown) and "Type" (a choice).
struct CaptionEditor : Editor {
  int level = -1, type = -1, knob = -1;
  CaptionEditor() {
    level = g->AddControl(std::make_unique<CaptionControl>(&plugin, Bounds{11, 136, 60, 161},
                                                           kLevel, TextStyle{}, true));
    type = g->AddControl(std::make_unique<CaptionControl>(&plugin, Bounds{200, 100, 248, 124},
                                                          kType, TextStyle{}, true));
    knob = g->AddControl(std::make_unique<StripKnobControl>(&plugin, 300, 300, kLevel,
                                                            g->LoadStrip(902, "k.png", 100)));
    Attach();
  }
};

TEST(CaptionControl, ChoiceParametersOpenAMenuWithTheCurrentItemChecked) {
  CaptionEditor e;
  e.g->menuAnswers = {2, -1};
  e.g->OnMouseDown(210, 110, kLeft);
  e.g->OnMouseUp(210, 110, kLeft);
  ASSERT_EQ(e.g->menuCount, 1);
  ASSERT_EQ(e.g->lastMenu.items.size(), 3u);
  EXPECT_EQ(e.g->lastMenu.items[0].text, "dBFS");
  EXPECT_EQ(e.g->lastMenu.items[1].flags, kMenuChecked);  // the default, "RMS"
  EXPECT_EQ(e.g->lastMenu.items[2].flags, 0);
  EXPECT_EQ(e.g->lastMenuRect, (Bounds{200, 100, 248, 124}));
  EXPECT_EQ(e.plugin.GetParam(kType)->Value(), 2.0);
  EXPECT_EQ(e.plugin.host.calls, (Calls{"begin 1", "change 1 1.0000", "end 1"}));
  // A dismissed menu changes nothing; a double click asks again.
  e.g->OnMouseDblClick(210, 110, kLeft);
  EXPECT_EQ(e.g->menuCount, 2);
  EXPECT_EQ(e.g->lastMenu.items[2].flags, kMenuChecked);
  EXPECT_EQ(e.plugin.GetParam(kType)->Value(), 2.0);
  // Controls that do not prompt ignore the right button.
  e.g->OnMouseDown(310, 310, kRight);
  e.g->OnMouseUp(310, 310, kRight);
  EXPECT_EQ(e.g->menuCount, 2);
  EXPECT_EQ(e.g->textEntryCount, 0);
}

TEST(CaptionControl, ContinuousParametersOpenATextEntryAndItsCommitSetsTheValue) {
  CaptionEditor e;
  e.g->OnMouseDown(20, 140, kLeft);
  ASSERT_EQ(e.g->textEntryCount, 1);
  char formatted[kParamTextSize];
  e.plugin.GetParam(kLevel)->FormatForHost(0.0, false, formatted, false);
  EXPECT_EQ(e.g->lastTextEntry.initialText, formatted);
  // Rebuilt around the centre: cx = int(35.5) = 35, half width int(24.5) = 24.
  EXPECT_EQ(e.g->lastTextEntry.rect, (Bounds{11, 136, 59, 160}));
  EXPECT_TRUE(e.g->CommitOpenTextEntry("-3.5"));
  EXPECT_DOUBLE_EQ(e.plugin.GetParam(kLevel)->Value(), -3.5);
  EXPECT_DOUBLE_EQ(e.g->GetControl(e.knob)->Value(), 0.325);  // bound controls follow
  // Text that is not a number leaves the parameter alone.
  for (const char* text : {"abc", "", "3.5dB", "1e999", "nan"}) {
    e.g->textAnswers = {text};
    e.g->OnMouseDown(20, 140, kLeft);
    EXPECT_DOUBLE_EQ(e.plugin.GetParam(kLevel)->Value(), -3.5) << text;
  }
  e.g->textAnswers = {" 12 "};  // out of range: clamped
  e.g->OnMouseDown(20, 140, kLeft);
  EXPECT_DOUBLE_EQ(e.plugin.GetParam(kLevel)->Value(), 10.0);
  // A choice typed by name.
  e.g->CommitTextEntry(e.g->GetControl(e.type), kType, "LUFS");
  EXPECT_EQ(e.plugin.GetParam(kType)->Value(), 2.0);
  e.g->CommitTextEntry(e.g->GetControl(e.type), kType, "Loud");
  EXPECT_EQ(e.plugin.GetParam(kType)->Value(), 2.0);
}

TEST(TextControl, SetTextMarksDirtyOnlyWhenTheTextChanges) {
  int text = -1;
  Editor e([&](TestGraphics& g) {
    text = g.AddControl(
        std::make_unique<TextControl>(g.Plugin(), Bounds{0, 0, 80, 24}, TextStyle{}, ""));
  });
  auto* control = static_cast<TextControl*>(e.g->GetControl(text));
  while (e.g->Tick()) {
  }
  control->SetText("-14.23 LUFS");
  EXPECT_TRUE(control->NeedsRedraw());
  while (e.g->Tick()) {
  }
  control->SetText("-14.23 LUFS");
  EXPECT_FALSE(control->NeedsRedraw());
  std::string longText(1000, 'x');
  control->SetText(longText.c_str());
  EXPECT_EQ(control->Text(), longText);
  control->SetText(nullptr);
  EXPECT_EQ(control->Text(), "");
}

TEST(Graphics, ParameterValuesReachEveryBoundControl) {
  CaptionEditor e;
  EXPECT_DOUBLE_EQ(e.g->GetControl(e.knob)->Value(), 0.5);
  e.plugin.GetParam(kLevel)->SetClamped(5.0);
  e.plugin.PushParamsToEditor();
  EXPECT_DOUBLE_EQ(e.g->GetControl(e.knob)->Value(), 0.75);
  EXPECT_DOUBLE_EQ(e.g->GetControl(e.level)->Value(), 0.75);
  e.g->UpdateParamControls(kLevel, -10.0, false);
  EXPECT_DOUBLE_EQ(e.g->GetControl(e.knob)->Value(), 0.0);
  e.g->UpdateParamControls(99, 1.0, false);  // no such parameter: ignored
  e.g->MarkAllControlsDirty();
  for (int i = 0; i < e.g->ControlCount(); ++i) EXPECT_TRUE(e.g->GetControl(i)->IsDirty());
}

}  // namespace
}  // namespace qd
