// Editor controls: rectangles that draw themselves into the graphics core's draw bitmap and
// turn mouse input into normalised parameter values (0..1).
//
// Threads. Everything runs on the editor thread except ReceiveValue (through the graphics
// core's UpdateParamControls and UpdateControlValue), SetDirty(false) (MarkAllControlsDirty)
// and TextControl::SetText, which the plug-in calls from its audio processing. So values,
// default, flags and blend weight are atomics, and a text lives in storage that only ever
// changes under a small lock held for a compare and a copy (never while drawing); a text no
// longer than any before it (and never when it fits in the first 128 bytes) is stored
// without allocating. None of these calls block for longer than that copy.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "framework/EditorInterfaces.h"
#include "graphics/GraphicsTypes.h"

namespace qd {

class Graphics;
class PluginParam;

class Control {
 public:
  Control(ParamHost* plugin, const Bounds& rect, int32_t paramIndex = -1,
          int32_t blendMethod = kBlendNone);
  virtual ~Control() = default;
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  // ---- events (editor thread) ----
  virtual void OnMouseDown(int32_t x, int32_t y, const MouseKeys& keys);
  virtual void OnMouseUp(int32_t, int32_t, const MouseKeys&) {}
  virtual void OnMouseDrag(int32_t, int32_t, int32_t, int32_t, const MouseKeys&) {}
  virtual void OnMouseDblClick(int32_t x, int32_t y, const MouseKeys& keys);
  virtual void OnMouseWheel(int32_t, int32_t, const MouseKeys&, float) {}
  virtual bool OnKeyDown(int32_t, int32_t, int32_t) { return false; }
  virtual void OnMouseOver(int32_t, int32_t, const MouseKeys&) {}
  virtual void OnMouseOut() {}
  virtual bool Draw(Graphics& graphics) = 0;
  virtual void RescaleText(double) {}
  // A value from the plug-in side (any thread). The first value received also becomes the
  // double-click default.
  virtual void ReceiveValue(double normalized);
  // A value the user chose through a menu or a text entry: pushed to the plug-in.
  virtual void ReceiveUserValue(double normalized);
  virtual void TextFromTextEntry(const char*) {}
  virtual void SetHidden(bool hidden);
  virtual void SetGrayed(bool grayed);
  virtual bool HitTest(int32_t x, int32_t y) const;
  // Clamps the value, raises the dirty and redraw flags, pushes the value to the plug-in when
  // asked to, and brings every other control bound to the same parameter to it.
  virtual void SetDirty(bool pushToPlugin);
  virtual void SetClean();
  virtual bool NeedsRedraw() const;
  virtual void OnIdle() {}
  virtual void ReceiveAuxValue(int32_t entry, double value);
  virtual void MoveTo(int32_t x, int32_t y);

  // Asks the graphics core for a menu or a text entry for the bound parameter.
  void RequestUserInput();

  // ---- plain access ----
  const Bounds& Rect() const { return rect_; }
  const Bounds& TargetRect() const { return target_; }
  int32_t ParamIndex() const { return paramIndex_; }
  int32_t Index() const { return index_; }
  double Value() const { return value_.load(std::memory_order_relaxed); }
  void SetValue(double v) { value_.store(v, std::memory_order_relaxed); }
  double DefaultValue() const { return default_.load(std::memory_order_relaxed); }
  bool IsHidden() const { return hidden_.load(std::memory_order_relaxed); }
  bool IsGrayed() const { return grayed_.load(std::memory_order_relaxed); }
  bool IsDirty() const { return dirty_.load(std::memory_order_relaxed); }
  bool DoubleClickAsClick() const { return dblAsClick_; }
  void SetDoubleClickAsClick(bool on) { dblAsClick_ = on; }
  Blend GetBlend() const { return {blendMethod_, blendWeight_.load(std::memory_order_relaxed)}; }
  TextStyle& Style() { return style_; }
  ParamHost* Plugin() const { return plugin_; }
  Graphics* GetGraphics() const { return graphics_; }
  int32_t TextEntryLimit() const { return textEntryLimit_; }
  struct AuxParam {
    double value;
    int32_t paramIndex;
  };
  const std::vector<AuxParam>& AuxParams() const { return aux_; }

 protected:
  friend class Graphics;
  void Attach(Graphics* graphics, int32_t index) {
    graphics_ = graphics;
    index_ = index;
  }
  void RequestRedraw() { redraw_.store(true, std::memory_order_relaxed); }
  bool promptDisabled_ = true;

 private:
  int32_t textEntryLimit_ = 7;
  TextStyle style_;
  ParamHost* plugin_ = nullptr;
  Graphics* graphics_ = nullptr;
  Bounds rect_, target_, initialRect_;
  int32_t paramIndex_ = -1;
  int32_t index_ = -1;
  std::vector<AuxParam> aux_;
  std::atomic<double> value_{0.0};
  std::atomic<double> default_{-1.0};
  double clampLow_ = 0.0, clampHigh_ = 1.0;
  std::atomic<bool> dirty_{true};
  std::atomic<bool> hidden_{false};
  std::atomic<bool> grayed_{false};
  std::atomic<bool> redraw_{false};
  bool dblAsClick_ = false;
  bool mouseOverWhenGrayed_ = false;
  int32_t blendMethod_ = kBlendNone;
  std::atomic<float> blendWeight_{1.0f};
};

// Frame int((N - 1) x value + 0.5) + 1 of an N-frame strip, limited to 1..N.
int32_t StripFrameForValue(const FrameStrip& strip, double value);

// One frame of a strip chosen by the value; also the background and the meters.
class BitmapControl : public Control {
 public:
  BitmapControl(ParamHost* plugin, int32_t x, int32_t y, int32_t paramIndex,
                const FrameStrip& strip, int32_t blendMethod = kBlendNone);
  bool Draw(Graphics& graphics) override;
  const FrameStrip& Strip() const { return strip_; }

 protected:
  FrameStrip strip_;
};

// Steps through its frames on each click (and double click), wrapping to 0 after 1.
class SwitchControl : public BitmapControl {
 public:
  using BitmapControl::BitmapControl;
  void OnMouseDown(int32_t x, int32_t y, const MouseKeys& keys) override;
  void OnMouseDblClick(int32_t x, int32_t y, const MouseKeys& keys) override {
    OnMouseDown(x, y, keys);
  }
};

// On while pressed: a press advances like a switch, the release sets 0.
class ContactControl : public SwitchControl {
 public:
  using SwitchControl::SwitchControl;
  void OnMouseUp(int32_t x, int32_t y, const MouseKeys& keys) override;
};

class KnobControl : public Control {
 public:
  KnobControl(ParamHost* plugin, const Bounds& rect, int32_t paramIndex, int32_t direction,
              double gearing);
  int32_t Direction() const { return direction_; }
  double Gearing() const { return gearing_; }

 protected:
  int32_t direction_ = 0;  // 0 vertical, otherwise horizontal
  double gearing_ = 4.0;
};

// A knob drawn from a strip: dragging the full height adds 1 / gearing (a tenth of that with
// shift or control); a wheel notch adds 0.01 (0.001 with shift or control).
class StripKnobControl : public KnobControl {
 public:
  StripKnobControl(ParamHost* plugin, int32_t x, int32_t y, int32_t paramIndex,
                   const FrameStrip& strip, int32_t direction = 0, double gearing = 4.0);
  void OnMouseDrag(int32_t x, int32_t y, int32_t dx, int32_t dy, const MouseKeys& keys) override;
  void OnMouseWheel(int32_t x, int32_t y, const MouseKeys& keys, float notches) override;
  bool Draw(Graphics& graphics) override;

 private:
  FrameStrip strip_;
};

// A text in the control's style.
class TextControl : public Control {
 public:
  TextControl(ParamHost* plugin, const Bounds& rect, const TextStyle& style, const char* text);
  // Any thread: replaces the text and marks the control dirty when it differs.
  void SetText(const char* text);
  std::string Text() const;  // a copy (editor thread)
  bool Draw(Graphics& graphics) override;
  void RescaleText(double factor) override;

 protected:
  TextControl(ParamHost* plugin, const Bounds& rect, int32_t paramIndex, const TextStyle& style,
              const char* text);
  // Editor thread: stores the text without marking the control dirty.
  void StoreText(const char* text);
  bool DrawStoredText(Graphics& graphics);

 private:
  bool StoreLocked(const char* text, size_t length);
  mutable std::mutex textLock_;
  std::string text_;
  std::string drawCopy_;  // editor thread only
  TextStyle referenceStyle_;
};

// The bound parameter's current value as text (with its label when asked); a click or a
// double click opens a menu of the parameter's choices or a text entry.
class CaptionControl : public TextControl {
 public:
  CaptionControl(ParamHost* plugin, const Bounds& rect, int32_t paramIndex, const TextStyle& style,
                 bool showLabel);
  void OnMouseDown(int32_t x, int32_t y, const MouseKeys& keys) override;
  void OnMouseDblClick(int32_t x, int32_t y, const MouseKeys& keys) override;
  bool Draw(Graphics& graphics) override;
  bool ShowsLabel() const { return showLabel_; }

 private:
  bool showLabel_ = true;
};

}  // namespace qd
