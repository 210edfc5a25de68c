// A Graphics without a window, for tests and tools: the screen copy records the rectangle,
// menus and text entries are answered from a script, and the window is a flag. Loading
// bitmaps uses the base's PNG resource loader. Editor thread only.
#pragma once

#include <deque>
#include <string>

#include "graphics/Graphics.h"

namespace qd {

class HeadlessGraphics : public Graphics {
 public:
  using Graphics::Graphics;

  // ---- the script ----
  // Each menu shown takes the next answer: an item index, or -1 to dismiss the menu. With
  // no answer left the menu is dismissed.
  std::deque<int32_t> menuAnswers;
  // Each text entry opened takes the next text and commits it at once. With no text left
  // the entry stays open until CommitOpenTextEntry or CancelTextEntry.
  std::deque<std::string> textAnswers;

  // ---- what happened ----
  struct TextEntry {
    Control* control = nullptr;
    int32_t paramIndex = -1;
    Bounds rect;
    std::string initialText;
    bool open = false;
  };
  int32_t copyCount = 0;
  Bounds lastCopied;
  int32_t menuCount = 0;
  Menu lastMenu;
  Bounds lastMenuRect;
  int32_t textEntryCount = 0;
  TextEntry lastTextEntry;

  // Commits text to the entry left open; false when none is open.
  bool CommitOpenTextEntry(const char* text);
  void CancelTextEntry() override { lastTextEntry.open = false; }
  void Idle() override { Tick(); }

 protected:
  bool CopyToScreen(const Bounds& rect) override;
  Menu* PopupMenu(Menu& menu, const Bounds& rect) override;
  void PromptTextEntry(Control* control, int32_t paramIndex, const Bounds& rect,
                       const char* initialText) override;
  void* OpenNativeWindow(void* parent) override;
  void CloseNativeWindow() override { open_ = false; }
  void* NativeWindowHandle() const override {
    return open_ ? const_cast<HeadlessGraphics*>(this) : nullptr;
  }
  const char* DrawingBackEndName() const override { return "Headless"; }

 private:
  bool open_ = false;
};

}  // namespace qd
