// The editor window on X11: a child window inside the window the host passes to the editor's
// open call, with its own Xlib display connection. It has no thread and no timer of its own:
// the host's idle call (Idle, on the host's editor thread) reads the pending X events and
// runs the redraw tick once a frame period (33 ms at 30 frames per second) has passed.
//
// What it does with the events: exposures and the tick repaint dirty rectangles by copying
// them from the draw bitmap with XPutImage; button presses, releases, drags (the implicit
// pointer grab is the capture), double clicks (two left presses within kDoubleClickMs) and
// wheel notches go to the graphics core; keys are mapped to the core's key codes, and the keys
// the editor does not use are sent on to the host's top-level window. Menus run a modal loop
// on the same thread (X11PopupMenu); the text entry is a child window (X11TextEntry) whose
// states (TextEntry) are settled by the tick: committed or cancelled by the next tick after
// it loses the focus.
//
// Threads: every call comes from the host's editor thread; nothing here blocks on the audio
// thread. Protocol errors caused by host window ids are caught (X11ErrorTrap) and make the
// call fail instead of ending the host. Closing while a menu or an entry is open leaves no
// window behind; the object can open and close any number of times.
#pragma once

#include <X11/Xlib.h>

#include <chrono>
#include <memory>

#include "graphics/Graphics.h"
#include "graphics/TextEntry.h"
#include "graphics/x11/X11Image.h"
#include "graphics/x11/X11TextEntry.h"

namespace qd {

class GraphicsX11 : public Graphics {
 public:
  static constexpr int kDoubleClickMs = 500;
  static constexpr int kDoubleClickDistance = 4;

  using Graphics::Graphics;
  ~GraphicsX11() override;

  // The host's idle call: reads X events, runs the tick when it is due, paints.
  void Idle() override;
  int EventFileDescriptor() const override;

  // The text entry's state (graphics/TextEntry.h), whether its box is open, and its text.
  int32_t TextEntryState() const { return entry_.State(); }
  bool TextEntryOpen() const { return entryBox_.IsOpen(); }
  const LineEditor& TextEntryEditor() const { return entryBox_.Editor(); }

 protected:
  bool CopyToScreen(const Bounds& rect) override;
  Menu* PopupMenu(Menu& menu, const Bounds& rect) override;
  void PromptTextEntry(Control* control, int32_t paramIndex, const Bounds& rect,
                       const char* initialText) override;
  void CancelTextEntry() override;
  void* OpenNativeWindow(void* parent) override;
  void CloseNativeWindow() override;
  void* NativeWindowHandle() const override;
  const char* DrawingBackEndName() const override { return "Xlib"; }

 private:
  void ProcessEvents();
  // One event; false when the owner window is gone (ends a modal menu).
  bool HandleEvent(XEvent& event);
  void HandleButtonPress(const XButtonEvent& event);
  void HandleKey(XKeyEvent& event);
  void OnTimer();
  void FlushDamage();
  void ForwardToTopLevel(XKeyEvent event);
  MouseKeys KeysFromState(unsigned state) const;

  void SettleEntry(bool commit);
  void DestroyEntry();

  Display* display_ = nullptr;
  Window window_ = 0;
  Window parent_ = 0;
  bool windowGone_ = false;  // the host destroyed our window before closing the editor
  X11Visual visual_;
  Colormap colormap_ = 0;
  GC gc_ = nullptr;
  std::chrono::steady_clock::time_point lastTick_;
  Bounds damage_;  // exposed or invalidated, painted at the end of the idle call

  bool captured_ = false;  // a button went down in the editor and has not come up
  bool pressIsModal_ = false;
  bool menuRan_ = false;
  bool havePress_ = false;
  Time lastPressTime_ = 0;
  int lastPressX_ = 0, lastPressY_ = 0;

  TextEntry entry_;
  X11TextEntry entryBox_;
};

// Makes the plug-ins created from now on build their editors as X11 windows.
void InstallX11Graphics();

}  // namespace qd
