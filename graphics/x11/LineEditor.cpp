#include "graphics/x11/LineEditor.h"

#include <algorithm>

namespace qd {

void LineEditor::Reset(const char* text, int32_t limit, Filter filter) {
  text_ = text ? text : "";
  limit_ = std::max<int32_t>(limit, 0);
  filter_ = filter;
  SelectAll();
}

bool LineEditor::Accepts(char c) const {
  return c >= 32 && c <= 126 && AcceptEntryCharacter(filter_, static_cast<unsigned char>(c));
}

void LineEditor::EraseSelection() {
  const int32_t start = SelectionStart();
  text_.erase(static_cast<size_t>(start), static_cast<size_t>(SelectionEnd() - start));
  caret_ = anchor_ = start;
}

bool LineEditor::Type(char c) {
  if (!Accepts(c)) return false;
  const int32_t selected = SelectionEnd() - SelectionStart();
  if (static_cast<int32_t>(text_.size()) - selected + 1 > limit_) return false;
  EraseSelection();
  text_.insert(static_cast<size_t>(caret_), 1, c);
  caret_ = anchor_ = caret_ + 1;
  return true;
}

void LineEditor::Backspace() {
  if (HasSelection()) {
    EraseSelection();
  } else if (caret_ > 0) {
    text_.erase(static_cast<size_t>(caret_ - 1), 1);
    caret_ = anchor_ = caret_ - 1;
  }
}

void LineEditor::DeleteForward() {
  if (HasSelection()) {
    EraseSelection();
  } else if (caret_ < static_cast<int32_t>(text_.size())) {
    text_.erase(static_cast<size_t>(caret_), 1);
  }
}

void LineEditor::SetCaret(int32_t position, bool extend) {
  caret_ = std::clamp<int32_t>(position, 0, static_cast<int32_t>(text_.size()));
  if (!extend) anchor_ = caret_;
}

void LineEditor::MoveCaret(int32_t delta, bool extend) {
  if (!extend && HasSelection()) {
    // Like common edit boxes: an arrow key collapses the selection to its near end.
    SetCaret(delta < 0 ? SelectionStart() : SelectionEnd(), false);
    return;
  }
  SetCaret(caret_ + delta, extend);
}

void LineEditor::Home(bool extend) {
  SetCaret(0, extend);
}

void LineEditor::End(bool extend) {
  SetCaret(static_cast<int32_t>(text_.size()), extend);
}

void LineEditor::SelectAll() {
  anchor_ = 0;
  caret_ = static_cast<int32_t>(text_.size());
}

}  // namespace qd
