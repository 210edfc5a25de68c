// The platform-neutral half of the editor: the ordered control list (index 0 is the
// background), the off-screen draw bitmap, the rules by which a tick becomes a redraw, mouse
// and key routing, and the link between controls and the plug-in's parameters.
//
// A platform window derives from Graphics and implements the platform slots (copy to the
// screen, pop-up menu, text entry, open and close the window, load a bitmap). The owning
// plug-in is reached only through ParamHost.
//
// Threads. Building (LoadStrip, SetBackground, AddControl) happens before the editor is
// attached and never afterwards. Drawing, events and user input run on the editor thread.
// UpdateControlValue, UpdateParamControls and MarkAllControlsDirty may also be called from the
// audio thread: they only store atomics in controls that never move, and allocate nothing.
// Parameter reads on the editor thread take the plug-in mutex.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/EditorInterfaces.h"
#include "graphics/GraphicsTypes.h"
#include "graphics/bitmap/CairoBridge.h"
#include "graphics/bitmap/PixBitmap.h"

namespace qd {

class Control;
class PluginParam;

class Graphics : public PluginEditor, public DrawBitmapOwner {
 public:
  // A frame rate of 0 or less means 30 frames per second.
  Graphics(ParamHost* plugin, int32_t width, int32_t height, int32_t framesPerSecond = 0);
  ~Graphics() override;
  Graphics(const Graphics&) = delete;
  Graphics& operator=(const Graphics&) = delete;

  // ---- building (editor thread, before attaching) ----
  // The resource table the bitmaps are loaded from (opaque module handle).
  void SetModule(const void* module) { module_ = module; }
  const void* Module() const { return module_; }
  FrameStrip LoadStrip(int32_t id, const char* name, int32_t frames, bool horizontal = false);
  void SetBackground(int32_t id, const char* name);
  // Takes ownership; returns the control's index in the list.
  int32_t AddControl(std::unique_ptr<Control> control);
  Control* GetControl(int32_t index) const;
  int32_t ControlCount() const { return static_cast<int32_t>(controls_.size()); }
  // Runs at the start of every tick (NeedsRedraw), on the editor thread: where the panel
  // takes what it shows from outside the parameters (meters).
  void SetTickHandler(std::function<void()> handler) { tickHandler_ = std::move(handler); }

  // ---- drawing (editor thread) ----
  // Frame numbers start at 1; a null blend draws with source alpha at full weight.
  bool DrawStripFrame(const FrameStrip& strip, const Bounds& rect, int32_t frame,
                      const Blend* blend);
  // Draws text in the style (finding or creating its font); false when no font can be made.
  bool DrawTextStyled(TextStyle& style, const char* text, Bounds* rect, bool measure = false);
  virtual bool MeasureTextStyled(TextStyle& style, const char* text, Bounds* rect);
  // Redraws the controls overlapping the rectangle and copies it to the screen.
  bool Draw(const Bounds& update);
  // The union of the dirty controls' rectangles; false (and the idle hooks every second
  // call) when nothing is dirty.
  bool NeedsRedraw(Bounds* rect);
  // One redraw tick: NeedsRedraw, then Draw of what it found. True when something was drawn.
  bool Tick();
  const Bounds& DrawRect() const { return drawRect_; }
  PixBitmap* DrawBitmap() override { return drawBitmap_.get(); }
  // Writes the draw bitmap to a PNG file.
  bool WriteSnapshot(const char* path) const;
  int32_t FramesPerSecond() const { return framesPerSecond_; }
  int32_t IdleTicks() const { return idleTicks_; }

  // ---- PluginEditor ----
  void PrepareDraw() override;
  void UpdateParamControls(int paramIndex, double value, bool normalized) override;
  void UpdateControlValue(int controlIndex, double normalized) override;
  void GrayParamControls(int paramIndex, bool gray) override;
  void MarkAllControlsDirty() override;
  int Width() const override { return width_; }
  int Height() const override { return height_; }
  void* OpenWindow(void* parent) override;
  void CloseWindow() override;
  bool WindowIsOpen() override { return NativeWindowHandle() != nullptr; }
  virtual void Resize(int32_t width, int32_t height);

  // ---- events from the window (editor thread, client coordinates) ----
  bool OnMouseDown(int32_t x, int32_t y, const MouseKeys& keys);  // true: capture the mouse
  void OnMouseUp(int32_t x, int32_t y, const MouseKeys& keys);
  void OnMouseDrag(int32_t x, int32_t y, const MouseKeys& keys);
  bool OnMouseDblClick(int32_t x, int32_t y, const MouseKeys& keys);
  void OnMouseWheel(int32_t x, int32_t y, const MouseKeys& keys, float notches);
  bool OnMouseOver(int32_t x, int32_t y, const MouseKeys& keys);
  void OnMouseOut();
  bool OnKeyDown(int32_t x, int32_t y, int32_t key);
  void ReleaseMouseCapture();
  int32_t CaptureIndex() const { return captureIndex_; }
  // The index of the topmost control that is neither grayed nor hidden and contains the
  // point, or -1.
  int32_t HitSearch(int32_t x, int32_t y) const;

  // ---- user input ----
  // Shows a menu of the parameter's choices or a text entry with its formatted value.
  void RequestUserInput(Control* control, int32_t paramIndex, const Bounds& rect);
  // The user confirmed a text entry: parses it for the parameter and hands the value to the
  // control; text that does not parse is ignored. Without a parameter the control gets the
  // text itself.
  void CommitTextEntry(Control* control, int32_t paramIndex, const char* text);

  ParamHost* Plugin() const { return plugin_; }

 protected:
  // ---- platform slots ----
  virtual bool CopyToScreen(const Bounds& rect) = 0;
  // Shows the menu at the rectangle; returns the menu whose chosenItem was set, or null.
  virtual Menu* PopupMenu(Menu& menu, const Bounds& rect) = 0;
  virtual void PromptTextEntry(Control* control, int32_t paramIndex, const Bounds& rect,
                               const char* initialText) = 0;
  virtual void CancelTextEntry() = 0;
  virtual void* OpenNativeWindow(void* parent) = 0;
  virtual void CloseNativeWindow() = 0;
  virtual void* NativeWindowHandle() const = 0;
  virtual const char* DrawingBackEndName() const { return ""; }
  // Loads the bitmap for a resource id; a name whose extension is "png" (any case) loads
  // the PNG resource from the module, anything else gives none. The caller owns the result.
  virtual std::unique_ptr<PixBitmap> LoadBitmapResource(int32_t id, const char* name);

 private:
  Control* Captured() const { return GetControl(captureIndex_); }

  ParamHost* plugin_ = nullptr;
  std::function<void()> tickHandler_;
  const void* module_ = nullptr;
  std::vector<std::unique_ptr<Control>> controls_;
  Bounds drawRect_;
  std::unique_ptr<PixSysBitmap> drawBitmap_;
  std::unique_ptr<PixMemBitmap> spareBitmap_;
  int32_t width_ = 0, height_ = 0;
  int32_t framesPerSecond_ = 30;
  int32_t idleTicks_ = 0;
  int32_t captureIndex_ = -1;
  int32_t mouseOverIndex_ = -1;
  int32_t lastMouseX_ = 0, lastMouseY_ = 0;
  bool handleMouseOver_ = false;
  std::unique_ptr<Control> keyCatcher_;
};

}  // namespace qd
