#include "graphics/HeadlessGraphics.h"

namespace qd {

bool HeadlessGraphics::CopyToScreen(const Bounds& rect) {
  ++copyCount;
  lastCopied = rect;
  return true;
}

Menu* HeadlessGraphics::PopupMenu(Menu& menu, const Bounds& rect) {
  ++menuCount;
  lastMenu = menu;
  lastMenuRect = rect;
  int32_t answer = -1;
  if (!menuAnswers.empty()) {
    answer = menuAnswers.front();
    menuAnswers.pop_front();
  }
  if (answer < 0 || answer >= static_cast<int32_t>(menu.items.size())) return nullptr;
  menu.chosenItem = answer;
  return &menu;
}

void HeadlessGraphics::PromptTextEntry(Control* control, int32_t paramIndex, const Bounds& rect,
                                       const char* initialText) {
  ++textEntryCount;
  lastTextEntry = {control, paramIndex, rect, initialText ? initialText : "", true};
  if (!textAnswers.empty()) {
    std::string text = std::move(textAnswers.front());
    textAnswers.pop_front();
    CommitOpenTextEntry(text.c_str());
  }
}

bool HeadlessGraphics::CommitOpenTextEntry(const char* text) {
  if (!lastTextEntry.open) return false;
  lastTextEntry.open = false;
  CommitTextEntry(lastTextEntry.control, lastTextEntry.paramIndex, text);
  return true;
}

void* HeadlessGraphics::OpenNativeWindow(void*) {
  open_ = true;
  return this;
}

}  // namespace qd
