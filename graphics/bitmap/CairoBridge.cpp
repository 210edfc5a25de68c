#include "graphics/bitmap/CairoBridge.h"

#include "graphics/bitmap/LibraryLifetime.h"

namespace qd {

CairoBridge::CairoBridge(ParamHost* plugin, const void* module)
    : plugin_(plugin), module_(module) {}

CairoBridge::~CairoBridge() {
  Release();
}

void CairoBridge::Release() {
  if (context_) cairo_destroy(context_);
  if (surface_) cairo_surface_destroy(surface_);
  context_ = nullptr;
  surface_ = nullptr;
}

void CairoBridge::SetBackground(double red, double green, double blue) {
  red_ = red;
  green_ = green;
  blue_ = blue;
}

void CairoBridge::SetEditor(PluginEditor* editor) {
  owner_ = dynamic_cast<DrawBitmapOwner*>(editor);
  Attach(owner_ ? owner_->DrawBitmap() : nullptr);
}

void CairoBridge::RecreateSurface(int, int) {
  Attach(owner_ ? owner_->DrawBitmap() : nullptr);
}

void CairoBridge::Attach(PixBitmap* drawBitmap) {
  Release();
  width_ = height_ = 0;
  if (!drawBitmap || !drawBitmap->HasPixels()) return;
  // Cairo (and pixman with it) outlives the module: see KeepLibraryLoaded.
  static const bool kept = (KeepLibraryLoaded(reinterpret_cast<const void*>(&cairo_create)), true);
  (void)kept;
  width_ = drawBitmap->Width();
  height_ = drawBitmap->Height();
  int stride = cairo_format_stride_for_width(CAIRO_FORMAT_RGB24, drawBitmap->RowSpan());
  // The bitmap's rows are RowSpan() * 4 bytes apart; a stride cairo would choose
  // differently cannot describe them, so no surface is made then.
  if (stride != drawBitmap->RowSpan() * 4) {
    width_ = height_ = 0;
    return;
  }
  surface_ =
      cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(drawBitmap->Pixels()),
                                          CAIRO_FORMAT_RGB24, width_, height_, stride);
  context_ = cairo_create(surface_);
  cairo_set_source_rgb(context_, red_, green_, blue_);
  cairo_rectangle(context_, 0, 0, width_, height_);
  cairo_fill(context_);
  cairo_surface_flush(surface_);
}

}  // namespace qd
