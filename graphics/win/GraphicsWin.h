// The editor window on Windows: a child window of the host's window with a repeating timer
// (id 2, one tick per frame) that redraws the dirty controls, paint, mouse and key messages
// routed to the graphics core, a modal pop-up menu and a one-line text entry: a native edit
// box whose states (TextEntry) the timer settles.
//
// Threads: every call runs on the host's editor (GUI) thread; the audio thread only marks
// controls dirty, which the next tick picks up. The object lives as long as the plug-in; its
// window may be opened and closed any number of times.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "graphics/Graphics.h"
#include "graphics/TextEntry.h"

namespace qd {

class GraphicsWin : public Graphics {
 public:
  // Text-entry states (graphics/TextEntry.h).
  using enum EntryState;

  GraphicsWin(ParamHost* plugin, int32_t width, int32_t height, int32_t framesPerSecond);
  ~GraphicsWin() override;

  void CancelTextEntry() override;

  // Platform services that nothing in this editor calls, kept where they cost little.
  // The folder of the host's executable and of the plug-in module, with a trailing '\'.
  std::string HostFolder() const;
  std::string PluginFolder() const;
  // The larger of the screen's horizontal and vertical pixels per inch, divided by 96.
  double ScreenScale() const;
  // The clipboard's text as UTF-8; false when it holds none.
  bool ClipboardText(std::string* text) const;
  // Makes the parent window translucent (255 opaque); false without a window.
  bool SetParentTransparency(int32_t alpha);

  // For tests: the open text entry's box, control and state.
  void* TextEntryWindow() const { return entryWindow_; }
  int32_t TextEntryState() const { return entry_.State(); }
  // Open editor windows in the process (the window class is registered while above 0).
  static int32_t OpenWindowCount();

  // The window procedures (Win32 callbacks).
  intptr_t HandleMessage(void* window, uint32_t message, uintptr_t wParam, intptr_t lParam);
  intptr_t HandleEntryMessage(void* window, uint32_t message, uintptr_t wParam, intptr_t lParam);

 protected:
  bool CopyToScreen(const Bounds& rect) override;
  Menu* PopupMenu(Menu& menu, const Bounds& rect) override;
  void PromptTextEntry(Control* control, int32_t paramIndex, const Bounds& rect,
                       const char* initialText) override;
  void* OpenNativeWindow(void* parent) override;
  void CloseNativeWindow() override;
  void* NativeWindowHandle() const override { return window_; }
  const char* DrawingBackEndName() const override { return "Windows GDI"; }

 private:
  void SettleTextEntry();
  void ForgetTextEntry();
  void* ModuleInstance() const;

  void* window_ = nullptr;
  void* parent_ = nullptr;
  void* entryWindow_ = nullptr;
  void* entryFont_ = nullptr;
  intptr_t entryPreviousProc_ = 0;
  TextEntry entry_;
  Bounds entryRect_;
  void* paintContext_ = nullptr;  // the device context between BeginPaint and EndPaint
};

// The factory the Windows deliverables install (graphics/PlatformGraphics.h).
std::unique_ptr<Graphics> CreateGraphicsWin(ParamHost* plugin, int32_t width, int32_t height,
                                            int32_t framesPerSecond);

// The native pop-up menu of a Menu: ids are handed out from *nextId, each menu reserving one
// per item before its submenus are built. The caller destroys the result (DestroyMenu).
void* BuildNativeMenu(const Menu& menu, int32_t* nextId);
// The menu and item index a command id of BuildNativeMenu stands for; null when none.
Menu* FindMenuForId(Menu& menu, int32_t id, int32_t* index);

// Maps a virtual-key code to the graphics core's key code, or -1 for keys it does not use.
int32_t KeyCodeForVirtualKey(uint32_t virtualKey);

}  // namespace qd
