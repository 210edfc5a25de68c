// The one-line editor behind the X11 text entry's box: text, selection and caret, the length
// limit, and the entry's character rule (graphics/TextEntry.h) applied to what is typed. It
// stores bytes, so only printable ASCII is typed in. Plain data, editor thread only; no window
// system.
#pragma once

#include <cstdint>
#include <string>

#include "graphics/TextEntry.h"

namespace qd {

class LineEditor {
 public:
  // Which characters typing accepts (backspace and deletion are always allowed).
  using Filter = EntryCharacters;

  // Starts editing `text` with all of it selected and the caret at the end.
  void Reset(const char* text, int32_t limit, Filter filter);

  // Types one character: replaces the selection, or inserts at the caret. False when the
  // filter drops the character or the text would grow past the limit.
  bool Type(char c);
  void Backspace();
  void DeleteForward();
  // Moves the caret by `delta` characters; `extend` grows the selection instead.
  void MoveCaret(int32_t delta, bool extend);
  void Home(bool extend);
  void End(bool extend);
  void SelectAll();

  const std::string& Text() const { return text_; }
  int32_t Caret() const { return caret_; }
  int32_t SelectionStart() const { return caret_ < anchor_ ? caret_ : anchor_; }
  int32_t SelectionEnd() const { return caret_ < anchor_ ? anchor_ : caret_; }
  bool HasSelection() const { return caret_ != anchor_; }
  int32_t Limit() const { return limit_; }
  bool Accepts(char c) const;

 private:
  void SetCaret(int32_t position, bool extend);
  void EraseSelection();

  std::string text_;
  int32_t caret_ = 0;
  int32_t anchor_ = 0;  // the other end of the selection
  int32_t limit_ = 0;
  Filter filter_ = Filter::kAnyText;
};

}  // namespace qd
