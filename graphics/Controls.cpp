#include "graphics/Controls.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "framework/PluginParam.h"
#include "graphics/Graphics.h"

namespace qd {

namespace {
constexpr size_t kTextStep = 128;  // text storage grows in steps of this many bytes
}

// -------------------------------------------------------------------------------- Control

Control::Control(ParamHost* plugin, const Bounds& rect, int32_t paramIndex, int32_t blendMethod)
    : plugin_(plugin),
      rect_(rect),
      target_(rect),
      initialRect_(rect),
      paramIndex_(paramIndex < 0 ? -1 : paramIndex),
      blendMethod_(blendMethod) {}

void Control::OnMouseDown(int32_t, int32_t, const MouseKeys& keys) {
  if (keys.right) RequestUserInput();
}

void Control::OnMouseDblClick(int32_t, int32_t, const MouseKeys&) {
  double fallback = DefaultValue();
  if (fallback >= 0.0) {
    SetValue(fallback);
    SetDirty(true);
  }
}

void Control::ReceiveValue(double normalized) {
  if (std::isnan(normalized)) return;
  if (DefaultValue() < 0.0) {
    SetValue(normalized);
    default_.store(normalized, std::memory_order_relaxed);
    return;
  }
  if (normalized != Value()) {
    SetValue(normalized);
    SetDirty(false);
    RequestRedraw();
  }
}

void Control::ReceiveUserValue(double normalized) {
  if (std::isnan(normalized)) return;
  if (normalized != Value()) {
    SetValue(normalized);
    SetDirty(true);
    RequestRedraw();
  }
}

void Control::SetHidden(bool hidden) {
  hidden_.store(hidden, std::memory_order_relaxed);
  RequestRedraw();
  blendWeight_.store(hidden ? 0.0f : 1.0f, std::memory_order_relaxed);
  SetDirty(false);
}

void Control::SetGrayed(bool grayed) {
  grayed_.store(grayed, std::memory_order_relaxed);
  blendWeight_.store(grayed ? 0.25f : 1.0f, std::memory_order_relaxed);
  SetDirty(false);
}

bool Control::HitTest(int32_t x, int32_t y) const {
  return !target_.IsEmpty() && target_.Contains(x, y);
}

void Control::SetDirty(bool pushToPlugin) {
  double v = Value();
  v = (std::isnan(v) || v < clampLow_) ? clampLow_ : std::min(clampHigh_, v);
  SetValue(v);
  redraw_.store(true, std::memory_order_relaxed);
  dirty_.store(true, std::memory_order_relaxed);
  if (paramIndex_ < 0) return;
  if (pushToPlugin && plugin_ && paramIndex_ < plugin_->ParamCount()) {
    plugin_->SetParameterFromGUI(paramIndex_, v);
  }
  if (graphics_) graphics_->UpdateParamControls(paramIndex_, v, true);
}

void Control::SetClean() {
  dirty_.store(redraw_.exchange(false, std::memory_order_relaxed), std::memory_order_relaxed);
}

// A redraw requested while the editor thread was cleaning the control is not lost: the
// pending request alone also asks for a redraw.
bool Control::NeedsRedraw() const {
  return dirty_.load(std::memory_order_relaxed) || redraw_.load(std::memory_order_relaxed);
}

void Control::ReceiveAuxValue(int32_t entry, double value) {
  if (entry < 0 || entry >= static_cast<int32_t>(aux_.size())) return;
  if (aux_[static_cast<size_t>(entry)].value != value) {
    aux_[static_cast<size_t>(entry)].value = value;
    SetDirty(false);
    RequestRedraw();
  }
}

void Control::MoveTo(int32_t x, int32_t y) {
  rect_ = {x, y, x + rect_.Width(), y + rect_.Height()};
  target_ = rect_;
}

void Control::RequestUserInput() {
  if (paramIndex_ < 0 || promptDisabled_ || !plugin_ || !graphics_) return;
  PluginParam* param = plugin_->GetParam(paramIndex_);
  if (!param) return;
  Bounds r = rect_;
  if (param->DisplayTextCount() == 0) {
    // The same rectangle rebuilt around its centre in single precision.
    int32_t cx = static_cast<int32_t>(static_cast<float>(rect_.left + rect_.right) * 0.5f);
    int32_t cy = static_cast<int32_t>(static_cast<float>(rect_.top + rect_.bottom) * 0.5f);
    int32_t hw = static_cast<int32_t>(static_cast<float>(rect_.right - rect_.left) * 0.5f);
    int32_t hh = static_cast<int32_t>(static_cast<float>(rect_.bottom - rect_.top) * 0.5f);
    r = {cx - hw, cy - hh, cx + hw, cy + hh};
  }
  graphics_->RequestUserInput(this, paramIndex_, r);
  RequestRedraw();
}

// ---------------------------------------------------------------------------- strip kinds

int32_t StripFrameForValue(const FrameStrip& strip, double value) {
  const int32_t n = strip.frames;
  if (n < 2) return 1;
  double v = std::isnan(value) ? 0.0 : std::clamp(value, 0.0, 1.0);
  int32_t frame = static_cast<int32_t>((n - 1) * v + 0.5) + 1;
  return std::clamp(frame, 1, n);
}

namespace {
Bounds StripRect(int32_t x, int32_t y, const FrameStrip& strip) {
  return {x, y, x + strip.FrameWidth(), y + strip.FrameHeight()};
}
}  // namespace

BitmapControl::BitmapControl(ParamHost* plugin, int32_t x, int32_t y, int32_t paramIndex,
                             const FrameStrip& strip, int32_t blendMethod)
    : Control(plugin, StripRect(x, y, strip), paramIndex, blendMethod), strip_(strip) {}

bool BitmapControl::Draw(Graphics& graphics) {
  Blend blend = GetBlend();
  return graphics.DrawStripFrame(strip_, Rect(), StripFrameForValue(strip_, Value()), &blend);
}

void SwitchControl::OnMouseDown(int32_t, int32_t, const MouseKeys&) {
  const int32_t n = strip_.frames;
  double v = Value() + (n >= 2 ? 1.0 / (n - 1) : 1.0);
  if (v > 1.001) v = 0.0;
  SetValue(v);
  SetDirty(true);
}

void ContactControl::OnMouseUp(int32_t, int32_t, const MouseKeys&) {
  SetValue(0.0);
  SetDirty(true);
}

KnobControl::KnobControl(ParamHost* plugin, const Bounds& rect, int32_t paramIndex,
                         int32_t direction, double gearing)
    : Control(plugin, rect, paramIndex, kBlendNone), direction_(direction), gearing_(gearing) {}

StripKnobControl::StripKnobControl(ParamHost* plugin, int32_t x, int32_t y, int32_t paramIndex,
                                   const FrameStrip& strip, int32_t direction, double gearing)
    : KnobControl(plugin, StripRect(x, y, strip), paramIndex, direction, gearing), strip_(strip) {}

void StripKnobControl::OnMouseDrag(int32_t, int32_t, int32_t dx, int32_t dy,
                                   const MouseKeys& keys) {
  double gearing = gearing_ * ((keys.control || keys.shift) ? 10.0 : 1.0);
  const Bounds& t = TargetRect();
  // Moving up by the full height adds 1 / gearing (top - bottom is minus the height).
  double span = direction_ == 0 ? static_cast<double>(t.top) - t.bottom
                                : static_cast<double>(t.right) - t.left;
  if (span == 0.0 || !(std::isfinite(gearing) && gearing != 0.0)) return;
  double delta = direction_ == 0 ? dy : dx;
  SetValue(Value() + delta / span / gearing);
  SetDirty(true);
}

void StripKnobControl::OnMouseWheel(int32_t, int32_t, const MouseKeys& keys, float notches) {
  if (!std::isfinite(notches)) return;
  SetValue(Value() + notches * ((keys.control || keys.shift) ? 0.001 : 0.01));
  SetDirty(true);
}

bool StripKnobControl::Draw(Graphics& graphics) {
  Blend blend = GetBlend();
  return graphics.DrawStripFrame(strip_, Rect(), StripFrameForValue(strip_, Value()), &blend);
}

// ------------------------------------------------------------------------------ text kinds

TextControl::TextControl(ParamHost* plugin, const Bounds& rect, const TextStyle& style,
                         const char* text)
    : TextControl(plugin, rect, -1, style, text) {}

TextControl::TextControl(ParamHost* plugin, const Bounds& rect, int32_t paramIndex,
                         const TextStyle& style, const char* text)
    : Control(plugin, rect, paramIndex, kBlendNone), referenceStyle_(style) {
  Style() = style;
  text_.reserve(kTextStep - 1);
  drawCopy_.reserve(kTextStep - 1);
  StoreText(text);
  RescaleText(1.0);
}

bool TextControl::StoreLocked(const char* text, size_t length) {
  if (text_.size() == length && std::memcmp(text_.data(), text, length) == 0) return false;
  if (length > text_.capacity()) text_.reserve((length / kTextStep + 1) * kTextStep - 1);
  text_.assign(text, length);
  return true;
}

void TextControl::SetText(const char* text) {
  if (!text) text = "";
  const size_t length = std::strlen(text);
  bool changed;
  {
    std::lock_guard<std::mutex> lock(textLock_);
    changed = StoreLocked(text, length);
  }
  if (changed) SetDirty(false);
}

void TextControl::StoreText(const char* text) {
  if (!text) text = "";
  std::lock_guard<std::mutex> lock(textLock_);
  StoreLocked(text, std::strlen(text));
}

std::string TextControl::Text() const {
  std::lock_guard<std::mutex> lock(textLock_);
  return text_;
}

bool TextControl::DrawStoredText(Graphics& graphics) {
  {
    std::lock_guard<std::mutex> lock(textLock_);
    drawCopy_.assign(text_);
  }
  if (!drawCopy_.empty()) {
    Bounds r = Rect();
    graphics.DrawTextStyled(Style(), drawCopy_.c_str(), &r);
  }
  return true;
}

bool TextControl::Draw(Graphics& graphics) {
  return DrawStoredText(graphics);
}

void TextControl::RescaleText(double factor) {
  double size = referenceStyle_.size * factor;
  int32_t scaled = std::isfinite(size) ? static_cast<int32_t>(std::clamp(size, 0.0, 4096.0)) : 0;
  if (scaled != Style().size) Style().font = nullptr;  // the font of another size is looked up
  Style().size = scaled;
}

CaptionControl::CaptionControl(ParamHost* plugin, const Bounds& rect, int32_t paramIndex,
                               const TextStyle& style, bool showLabel)
    : TextControl(plugin, rect, paramIndex, style, ""), showLabel_(showLabel) {
  promptDisabled_ = false;
}

void CaptionControl::OnMouseDown(int32_t, int32_t, const MouseKeys&) {
  RequestUserInput();
}

void CaptionControl::OnMouseDblClick(int32_t, int32_t, const MouseKeys&) {
  RequestUserInput();
}

bool CaptionControl::Draw(Graphics& graphics) {
  PluginParam* param = Plugin() ? Plugin()->GetParam(ParamIndex()) : nullptr;
  if (param) {
    char value[kParamTextSize] = {};
    char caption[2 * kParamTextSize + 2] = {};
    {
      std::lock_guard<PluginMutex> lock(Plugin()->Mutex());
      param->FormatForHost(param->Value(), false, value, true);
      if (showLabel_) {
        std::snprintf(caption, sizeof(caption), "%s %s", value, param->LabelForHost());
      } else {
        std::snprintf(caption, sizeof(caption), "%s", value);
      }
    }
    StoreText(caption);
  }
  return DrawStoredText(graphics);
}

}  // namespace qd
