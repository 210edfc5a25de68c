// A cairo image surface and context over the editor's draw bitmap. Owned by the plug-in
// base (as its EditorSurfaceBridge); attached when the editor is attached and again after
// the draw bitmap is re-created. Editor thread, under the plug-in mutex; nothing else in
// the editor draws through the context.
#pragma once

#include <cairo.h>

#include "framework/EditorInterfaces.h"
#include "graphics/bitmap/PixBitmap.h"

namespace qd {

// Implemented by an editor that has a draw bitmap the bridge can cover.
class DrawBitmapOwner {
 public:
  virtual PixBitmap* DrawBitmap() = 0;

 protected:
  ~DrawBitmapOwner() = default;
};

class CairoBridge : public EditorSurfaceBridge {
 public:
  // `module` is the resource table the plug-in was built with (opaque).
  explicit CairoBridge(ParamHost* plugin, const void* module = nullptr);
  ~CairoBridge() override;
  CairoBridge(const CairoBridge&) = delete;
  CairoBridge& operator=(const CairoBridge&) = delete;

  // Binds to the editor's draw bitmap; an editor without one releases the surface.
  void SetEditor(PluginEditor* editor) override;
  // The draw bitmap was re-created at a new size: re-attach to the current one.
  void RecreateSurface(int width, int height) override;
  // Creates the surface over the bitmap's pixels and fills it with the background colour.
  // A bitmap without pixels leaves no surface.
  void Attach(PixBitmap* drawBitmap);

  cairo_surface_t* Surface() const { return surface_; }
  cairo_t* Context() const { return context_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  ParamHost* Plugin() const { return plugin_; }
  const void* Module() const { return module_; }
  void SetBackground(double red, double green, double blue);

 private:
  void Release();
  cairo_surface_t* surface_ = nullptr;
  cairo_t* context_ = nullptr;
  int width_ = 0;
  int height_ = 0;
  double red_ = 0.0, green_ = 0.0, blue_ = 0.0;
  ParamHost* plugin_ = nullptr;
  DrawBitmapOwner* owner_ = nullptr;
  const void* module_ = nullptr;
};

}  // namespace qd
