#include "effect/EditorLayout.h"

#include "effect/Parameters.h"
#include "framework/PluginParam.h"
#include "framework/Text.h"
#include "graphics/Controls.h"
#include "graphics/PlatformGraphics.h"
#include "resources/ResourceTable.h"

namespace qd {

namespace {

TextStyle PanelTextStyle() {
  TextStyle style;
  CopyText(style.fontName, "Arial");
  style.size = 12;
  style.colour = {255, 128, 128, 128};
  style.entryBackground = {255, 255, 255, 255};
  style.entryForeground = {255, 0, 0, 0};
  style.style = kTextNormal;
  style.align = kAlignCentre;
  style.vertical = 0;
  style.orientation = 0;
  style.quality = kQualityDefault;
  return style;
}

// The meter controls of the panel, fed from the reader's snapshot on the editor's tick.
struct MeterView {
  MeterReader* reader = nullptr;
  ParamHost* params = nullptr;
  uint64_t outputLevelSets = 0;  // the count last shown
  Graphics* graphics = nullptr;
  int clipperBar = -1, clipperHold = -1, limiterBar = -1, limiterHold = -1;
  int peakLeft = -1, peakRight = -1, rmsLeft = -1, rmsRight = -1;
  TextControl* rmsText = nullptr;
  TextControl* integratedText = nullptr;
  TextControl* rangeText = nullptr;

  void OnTick() {
    MeterSnapshot snapshot;
    if (!reader->TakeMeters(&snapshot)) return;
    const MeterReadings m = FormatMeterReadings(snapshot);
    if (m.rmsText[0] != '\0') rmsText->SetText(m.rmsText);
    integratedText->SetText(m.integratedText);
    rangeText->SetText(m.rangeText);
    graphics->UpdateControlValue(rmsLeft, m.rmsLeft);
    graphics->UpdateControlValue(rmsRight, m.rmsRight);
    graphics->UpdateControlValue(peakLeft, m.peakLeft);
    graphics->UpdateControlValue(peakRight, m.peakRight);
    graphics->UpdateControlValue(clipperBar, m.clipperReduction);
    graphics->UpdateControlValue(clipperHold, m.clipperHold);
    graphics->UpdateControlValue(limiterBar, m.limiterReduction);
    graphics->UpdateControlValue(limiterHold, m.limiterHold);
    if (snapshot.outputLevelSets != outputLevelSets) {
      // The engine set the output level: show the parameter's value as it is now (not the
      // snapshot's, which a host's later change may already have replaced).
      outputLevelSets = snapshot.outputLevelSets;
      std::lock_guard<PluginMutex> lock(params->Mutex());
      if (const PluginParam* output = params->GetParam(kOutputLevel)) {
        graphics->UpdateParamControls(kOutputLevel, output->Value(), false);
      }
    }
    graphics->MarkAllControlsDirty();
  }
};

}  // namespace

std::unique_ptr<Graphics> BuildEditor(ParamHost& params, MeterReader& meters) {
  ParamHost* host = &params;
  const void* module = PluginModule();
  std::unique_ptr<Graphics> graphics = CreatePlatformGraphics(host, 640, 480, 0);
  graphics->SetModule(module);
  auto view = std::make_shared<MeterView>();
  view->reader = &meters;
  view->params = host;
  view->graphics = graphics.get();

  Graphics& g = *graphics;
  g.SetBackground(100, "resources/img/bg.png");
  const FrameStrip clipperKnob = g.LoadStrip(101, "resources/img/clipper-knob.png", 100);
  const FrameStrip limiterKnob = g.LoadStrip(102, "resources/img/limiter-knob.png", 100);
  const FrameStrip knob = g.LoadStrip(103, "resources/img/knob.png", 100);
  const FrameStrip grClipper = g.LoadStrip(104, "resources/img/gr-clipper.png", 13);
  const FrameStrip grLimiter = g.LoadStrip(105, "resources/img/gr-limiter.png", 13);
  const FrameStrip grClipperHold = g.LoadStrip(106, "resources/img/gr-clipper-peak-hold.png", 13);
  const FrameStrip grLimiterHold = g.LoadStrip(107, "resources/img/gr-limiter-peak-hold.png", 13);
  const FrameStrip button = g.LoadStrip(108, "resources/img/button.png", 2);
  const FrameStrip reset = g.LoadStrip(109, "resources/img/reset-button.png", 2);
  const FrameStrip bar = g.LoadStrip(110, "resources/img/vu-meter.png", 25);

  const TextStyle style = PanelTextStyle();
  auto bitmap = [&](int x, int y, const FrameStrip& strip) {
    return g.AddControl(std::make_unique<BitmapControl>(host, x, y, -1, strip));
  };
  auto knobAt = [&](int x, int y, int param, const FrameStrip& strip) {
    return g.AddControl(std::make_unique<StripKnobControl>(host, x, y, param, strip, 0, 4.0));
  };
  auto caption = [&](Bounds rect, int param, bool showLabel) {
    return g.AddControl(std::make_unique<CaptionControl>(host, rect, param, style, showLabel));
  };
  auto switchAt = [&](int x, int y, int param) {
    return g.AddControl(std::make_unique<SwitchControl>(host, x, y, param, button));
  };
  auto text = [&](Bounds rect, const char* initial) -> TextControl* {
    auto control = std::make_unique<TextControl>(host, rect, style, initial);
    TextControl* raw = control.get();
    g.AddControl(std::move(control));
    return raw;
  };

  view->clipperBar = bitmap(28, 17, grClipper);                           // 1
  view->clipperHold = bitmap(28, 17, grClipperHold);                      // 2
  knobAt(69, 65, kClipperLevel, clipperKnob);                             // 3
  caption({11, 136, 59, 160}, kClipperLevel, true);                       // 4
  switchAt(47, 205, kSoftClipper);                                        // 5
  caption({44, 279, 92, 303}, kClipperOversample, true);                  // 6
  view->limiterBar = bitmap(180, 208, grLimiter);                         // 7
  view->limiterHold = bitmap(180, 208, grLimiterHold);                    // 8
  knobAt(221, 250, kLimiterLevel, limiterKnob);                           // 9
  caption({411, 321, 459, 345}, kLimiterLevel, true);                     // 10
  caption({373, 173, 421, 197}, kLimiterOversample, true);                // 11
  caption({373, 237, 421, 261}, kReleaseTime, true);                      // 12
  knobAt(427, 220, kReleaseTime, knob);                                   // 13
  switchAt(464, 250, kAutoRelease);                                       // 14
  knobAt(384, 22, kOutputLevel, knob);                                    // 15
  caption({438, 31, 486, 55}, kOutputLevel, true);                        // 16
  switchAt(329, 90, kAutoOutputLevel);                                    // 17
  caption({383, 97, 431, 121}, kAutoOutputTarget, false);                 // 18
  caption({437, 97, 485, 121}, kAutoOutType, true);                       // 19
  g.AddControl(std::make_unique<ContactControl>(host, 577, 205, kResetMeters, reset));  // 20
  view->rmsText = text({525, 168, 605, 192}, "");                                       // 21
  view->integratedText = text({525, 68, 605, 92}, "");                                  // 22
  view->rangeText = text({525, 118, 605, 142}, "");                                     // 23
  view->peakLeft = bitmap(559, 256, bar);                                               // 24
  view->peakRight = bitmap(592, 256, bar);                                              // 25
  view->rmsLeft = bitmap(544, 256, bar);                                                // 26
  view->rmsRight = bitmap(607, 256, bar);                                               // 27
  text({144, 456, 226, 470}, "v2.0.6");                                   // 28

  graphics->SetTickHandler([view] { view->OnTick(); });
  return graphics;
}

}  // namespace qd
