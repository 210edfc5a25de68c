#include "graphics/x11/X11TextEntry.h"

#include <X11/Xutil.h>
#include <X11/keysym.h>

#include "graphics/bitmap/Blit.h"
#include "graphics/bitmap/PixFont.h"

namespace qd {

namespace {

constexpr long kEntryEvents =
    ExposureMask | ButtonPressMask | KeyPressMask | KeyReleaseMask | FocusChangeMask;
constexpr PixelWord kSelection = 0xFF3875D7;
constexpr PixelWord kSelectedText = 0xFFFFFFFF;
constexpr int32_t kEntryTextFlags = kTextNoClip | kTextSingleLine | kTextVCentre;

Bounds Rect(int x, int y, int w, int h) {
  return {x, y, x + w, y + h};
}

// The width of the first `length` bytes of text in the font.
int32_t TextWidth(PixFont* font, const std::string& text, int32_t length) {
  if (!font || length <= 0) return 0;
  Bounds extent;
  font->DrawText(nullptr, text.c_str(), length, &extent, kEntryTextFlags | kTextMeasure);
  return extent.Width();
}

}  // namespace

bool X11TextEntry::Open(Display* display, Window parent, const X11Visual& visual, Colormap colormap,
                        const Bounds& rect, const TextStyle& style, const char* text, int32_t limit,
                        EntryCharacters characters) {
  if (window_) return false;
  const int w = rect.right - rect.left + 1, h = rect.bottom - rect.top + 1;
  if (!display || w <= 0 || h <= 0) return false;
  XSetWindowAttributes attributes{};
  attributes.background_pixmap = None;
  attributes.border_pixel = 0;
  attributes.colormap = colormap;
  attributes.event_mask = kEntryEvents;
  window_ = XCreateWindow(display, parent, rect.left, rect.top, static_cast<unsigned>(w),
                          static_cast<unsigned>(h), 0, visual.depth, InputOutput, visual.visual,
                          CWBackPixmap | CWBorderPixel | CWColormap | CWEventMask, &attributes);
  if (!window_) return false;
  display_ = display;
  visual_ = visual;
  gc_ = XCreateGC(display_, window_, 0, nullptr);
  XMapRaised(display_, window_);
  XSetInputFocus(display_, window_, RevertToParent, CurrentTime);
  rect_ = Rect(rect.left, rect.top, w, h);
  style_ = style;
  editor_.Reset(text, limit, characters);
  Draw();
  return true;
}

Bounds X11TextEntry::Close() {
  if (!window_ || !display_) return {};
  if (gc_) XFreeGC(display_, gc_);
  XDestroyWindow(display_, window_);
  Forget();
  return rect_;
}

void X11TextEntry::Forget() {
  window_ = 0;
  gc_ = nullptr;
}

std::string X11TextEntry::CommitText() const {
  return editor_.Text().substr(0, kEntryCommitTextMax);
}

void X11TextEntry::HandleEvent(XEvent& event, TextEntry& entry) {
  switch (event.type) {
    case Expose:
      if (event.xexpose.count == 0) Draw();
      break;
    case FocusIn:
      if (event.xfocus.detail != NotifyPointer) entry.FocusGained();
      break;
    case FocusOut:
      if ((event.xfocus.mode == NotifyNormal || event.xfocus.mode == NotifyWhileGrabbed) &&
          event.xfocus.detail != NotifyInferior && event.xfocus.detail != NotifyPointer) {
        entry.FocusLost();
      }
      break;
    case ButtonPress:
      if (!entry.HasFocus()) XSetInputFocus(display_, window_, RevertToParent, CurrentTime);
      break;
    case KeyPress: {
      char chars[16] = {};
      KeySym key = NoSymbol;
      const int n = XLookupString(&event.xkey, chars, sizeof(chars) - 1, &key, nullptr);
      const bool shift = (event.xkey.state & ShiftMask) != 0;
      const bool control = (event.xkey.state & ControlMask) != 0;
      switch (key) {
        case XK_Return:
        case XK_KP_Enter:
          entry.Confirm();
          break;
        case XK_Escape:
          entry.Cancel();
          break;
        case XK_BackSpace:
          editor_.Backspace();
          break;
        case XK_Delete:
        case XK_KP_Delete:
          editor_.DeleteForward();
          break;
        case XK_Left:
        case XK_KP_Left:
          editor_.MoveCaret(-1, shift);
          break;
        case XK_Right:
        case XK_KP_Right:
          editor_.MoveCaret(1, shift);
          break;
        case XK_Home:
        case XK_KP_Home:
          editor_.Home(shift);
          break;
        case XK_End:
        case XK_KP_End:
          editor_.End(shift);
          break;
        default:
          if (control && (key == XK_a || key == XK_A)) {
            editor_.SelectAll();
          } else if (n == 1 && !control) {
            editor_.Type(chars[0]);
          }
          break;
      }
      Draw();
      break;
    }
    default:
      break;
  }
}

void X11TextEntry::Draw() {
  if (!window_ || !display_) return;
  const int w = rect_.Width(), h = rect_.Height();
  PixMemBitmap bitmap(w, h);
  if (!bitmap.HasPixels()) return;
  ClearBitmap(&bitmap, style_.entryBackground.Word());
  PixFont* font = style_.font;
  const std::string& text = editor_.Text();
  const int32_t length = static_cast<int32_t>(text.size());
  const int32_t textWidth = TextWidth(font, text, length);
  int32_t x0 = 2;
  if (style_.align == kAlignCentre) x0 = (w - textWidth) / 2;
  if (style_.align == kAlignRight) x0 = w - 2 - textWidth;
  const int32_t lineHeight = font ? font->LineHeight() : h;
  const int32_t top = (h - lineHeight) / 2;
  const PixelWord foreground = style_.entryForeground.Word();
  if (font && length > 0) {
    Bounds r = Rect(x0, 0, textWidth + 1, h);
    font->SetTextColour(foreground);
    font->DrawText(&bitmap, text.c_str(), length, &r, kEntryTextFlags);
    if (editor_.HasSelection()) {
      const int32_t start = editor_.SelectionStart(), end = editor_.SelectionEnd();
      const int32_t sx = x0 + TextWidth(font, text, start);
      const int32_t ex = x0 + TextWidth(font, text, end);
      FillBitmapRect(&bitmap, sx, top, ex - sx, lineHeight, kSelection, 1.0f, kBlitCopy);
      Bounds selected = Rect(sx, 0, ex - sx + 1, h);
      font->SetTextColour(kSelectedText);
      font->DrawText(&bitmap, text.c_str() + start, end - start, &selected, kEntryTextFlags);
    }
  }
  if (!editor_.HasSelection()) {
    const int32_t cx = x0 + TextWidth(font, text, editor_.Caret());
    FillBitmapRect(&bitmap, cx, top, 1, lineHeight, foreground, 1.0f, kBlitCopy);
  }
  PutBitmap(display_, window_, gc_, visual_, bitmap, Rect(0, 0, w, h));
}

}  // namespace qd
