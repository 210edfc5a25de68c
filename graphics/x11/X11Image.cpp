#include "graphics/x11/X11Image.h"

#include <X11/Xutil.h>

#include <algorithm>

namespace qd {

X11Visual ChooseX11Visual(Display* display, int screen) {
  XVisualInfo info;
  for (int depth : {24, 32}) {
    if (XMatchVisualInfo(display, screen, depth, TrueColor, &info) && info.red_mask == 0xFF0000 &&
        info.green_mask == 0xFF00 && info.blue_mask == 0xFF) {
      return {info.visual, info.depth};
    }
  }
  return {DefaultVisual(display, screen), DefaultDepth(display, screen)};
}

bool PutBitmapAt(Display* display, Drawable drawable, GC gc, const X11Visual& visual,
                 PixBitmap& bitmap, const Bounds& rect, int dx, int dy) {
  if (!display || !drawable || !gc || !visual.visual || !bitmap.HasPixels()) return false;
  const int left = std::max(rect.left, 0);
  const int top = std::max(rect.top, 0);
  const int right = std::min(rect.right, bitmap.Width());
  const int bottom = std::min(rect.bottom, bitmap.Height());
  if (right <= left || bottom <= top) return false;
  // The image only describes the bitmap's pixels; Xlib neither copies nor frees them.
  XImage* image =
      XCreateImage(display, visual.visual, static_cast<unsigned>(visual.depth), ZPixmap, 0,
                   reinterpret_cast<char*>(bitmap.Pixels()), static_cast<unsigned>(bitmap.Width()),
                   static_cast<unsigned>(bitmap.Height()), 32, bitmap.RowSpan() * 4);
  if (!image) return false;
    // Pixel words are in the machine's byte order; Xlib swaps for the server where needed.
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  image->byte_order = LSBFirst;
#else
  image->byte_order = MSBFirst;
#endif
  bool ok = image->bits_per_pixel == 32;
  if (ok) {
    XPutImage(display, drawable, gc, image, left, top, dx + (left - rect.left),
              dy + (top - rect.top), static_cast<unsigned>(right - left),
              static_cast<unsigned>(bottom - top));
  }
  image->data = nullptr;
  XDestroyImage(image);
  return ok;
}

bool PutBitmap(Display* display, Drawable drawable, GC gc, const X11Visual& visual,
               PixBitmap& bitmap, const Bounds& rect) {
  return PutBitmapAt(display, drawable, gc, visual, bitmap, rect, rect.left, rect.top);
}

}  // namespace qd
