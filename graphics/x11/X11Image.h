// Copying pixel-layer bitmaps to X drawables, and the visual the editor's windows use.
// Editor thread only; callers hold an X11ErrorTrap.
#pragma once

#include <X11/Xlib.h>

#include "graphics/bitmap/PixBitmap.h"

namespace qd {

struct X11Visual {
  Visual* visual = nullptr;
  int depth = 0;
};

// A TrueColor visual whose pixels are 0x00RRGGBB words (depth 24, else 32); falls back to
// the screen's default visual.
X11Visual ChooseX11Visual(Display* display, int screen);

// Copies `rect` (clipped to the bitmap) of the bitmap to the same place in the drawable.
// False when nothing was copied.
bool PutBitmap(Display* display, Drawable drawable, GC gc, const X11Visual& visual,
               PixBitmap& bitmap, const Bounds& rect);

// Copies the bitmap rectangle `rect` to (dx, dy) of the drawable.
bool PutBitmapAt(Display* display, Drawable drawable, GC gc, const X11Visual& visual,
                 PixBitmap& bitmap, const Bounds& rect, int dx, int dy);

}  // namespace qd
