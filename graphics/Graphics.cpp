#include "graphics/Graphics.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "framework/PluginParam.h"
#include "graphics/Caches.h"
#include "graphics/Controls.h"
#include "graphics/bitmap/Blit.h"
#include "graphics/bitmap/PixFont.h"
#include "graphics/bitmap/Png.h"

namespace qd {

namespace {

int32_t SaturateToInt(double v) {
  if (std::isnan(v)) return 0;
  return static_cast<int32_t>(std::clamp(v, -2147483648.0, 2147483647.0));
}

bool HasPngExtension(const char* name) {
  if (!name) return false;
  const char* dot = std::strrchr(name, '.');
  if (!dot) return false;
  const char* ext = dot + 1;
  return std::strlen(ext) == 3 && std::tolower(static_cast<unsigned char>(ext[0])) == 'p' &&
         std::tolower(static_cast<unsigned char>(ext[1])) == 'n' &&
         std::tolower(static_cast<unsigned char>(ext[2])) == 'g';
}

}  // namespace

Graphics::Graphics(ParamHost* plugin, int32_t width, int32_t height, int32_t framesPerSecond)
    : plugin_(plugin),
      width_(std::max(width, 0)),
      height_(std::max(height, 0)),
      framesPerSecond_(framesPerSecond > 0 ? framesPerSecond : 30) {}

Graphics::~Graphics() {
  keyCatcher_.reset();
  controls_.clear();
}

// ------------------------------------------------------------------------------ building

std::unique_ptr<PixBitmap> Graphics::LoadBitmapResource(int32_t id, const char* name) {
  if (!HasPngExtension(name)) return nullptr;
  return std::unique_ptr<PixBitmap>(LoadPngResource(module_, id));
}

FrameStrip Graphics::LoadStrip(int32_t id, const char* name, int32_t frames, bool horizontal) {
  PixBitmap* bitmap = BitmapCache::Instance().Find(id);
  if (!bitmap) {
    std::unique_ptr<PixBitmap> loaded = LoadBitmapResource(id, name);
    if (loaded) bitmap = BitmapCache::Instance().Add(id, std::move(loaded));
  }
  FrameStrip strip;
  strip.bitmap = bitmap;
  strip.width = bitmap ? bitmap->Width() : 0;
  strip.height = bitmap ? bitmap->Height() : 0;
  strip.frames = frames;
  strip.horizontal = horizontal;
  return FrameStripList::Instance().Append(id, name, strip);
}

void Graphics::SetBackground(int32_t id, const char* name) {
  FrameStrip strip = LoadStrip(id, name, 1, false);
  auto background = std::make_unique<BitmapControl>(plugin_, 0, 0, -1, strip, kBlendClobber);
  controls_.insert(controls_.begin(), std::move(background));
  for (size_t i = 0; i < controls_.size(); ++i) controls_[i]->Attach(this, static_cast<int32_t>(i));
}

int32_t Graphics::AddControl(std::unique_ptr<Control> control) {
  if (!control) return -1;
  controls_.push_back(std::move(control));
  for (size_t i = 0; i < controls_.size(); ++i) controls_[i]->Attach(this, static_cast<int32_t>(i));
  return static_cast<int32_t>(controls_.size()) - 1;
}

Control* Graphics::GetControl(int32_t index) const {
  if (index < 0 || index >= ControlCount()) return nullptr;
  return controls_[static_cast<size_t>(index)].get();
}

// ------------------------------------------------------------------------------- drawing

bool Graphics::DrawStripFrame(const FrameStrip& strip, const Bounds& rect, int32_t frame,
                              const Blend* blend) {
  int32_t x = 0, y = 0;
  if (strip.frames >= 2 && frame >= 2) {
    if (strip.horizontal) {
      x = SaturateToInt(static_cast<double>(strip.width) * (frame - 1.0) / strip.frames + 0.5);
    } else {
      y = SaturateToInt(static_cast<double>(strip.height) * (frame - 1.0) / strip.frames + 0.5);
    }
  }
  Bounds dst = rect.Intersect(drawRect_);
  int32_t mode = blend ? BlitModeForBlend(blend->method) : kBlitAlphaCopy;
  float weight = blend ? blend->weight : 1.0f;
  auto sx = static_cast<int64_t>(dst.left) + x - rect.left;
  auto sy = static_cast<int64_t>(dst.top) + y - rect.top;
  BlitBitmap(drawBitmap_.get(), strip.bitmap, dst.left, dst.top,
             SaturateToInt(static_cast<double>(sx)), SaturateToInt(static_cast<double>(sy)),
             dst.Width(), dst.Height(), weight, mode);
  return true;
}

bool Graphics::DrawTextStyled(TextStyle& style, const char* text, Bounds* rect, bool measure) {
  if (!text || !*text || !rect) return true;
  if (!style.font) {
    style.fontName[sizeof(style.fontName) - 1] = '\0';
    PixCachedFont* font =
        FontCache::Instance().Find(style.size, style.orientation, style.style, style.fontName);
    if (!font) {
      std::unique_ptr<PlatformFont> platform =
          PlatformFont::Create(style.fontName, style.size, style.style == kTextBold,
                               style.style == kTextItalic, style.quality);
      if (!platform) return false;
      auto created = std::make_unique<PixCachedFont>();
      created->SetFromPlatformFont(platform.release(), kFontPreferNative | kFontOwnsHandle);
      font = FontCache::Instance().Add(style.size, style.orientation, style.style, style.fontName,
                                       std::move(created));
    }
    style.font = font;
  }
  style.font->SetTextColour(style.colour.Word());
  int32_t flags = kTextNoClip | kTextSingleLine | kTextVCentre;
  if ((style.colour.a & 0xFF) != 255) flags |= kTextUseAlpha;
  if (style.align == kAlignCentre) flags |= kTextCentre;
  if (style.align == kAlignRight) flags |= kTextRight;
  if (style.vertical == 1) flags |= kTextBottom;
  if (!measure) {
    if (drawBitmap_) style.font->DrawText(drawBitmap_.get(), text, -1, rect, flags);
    return true;
  }
  Bounds extent;
  style.font->DrawText(nullptr, text, -1, &extent, flags | kTextMeasure);
  const int32_t w = extent.Width(), h = extent.Height();
  int32_t left = rect->left, top = rect->top;
  if (style.align == kAlignCentre) left = rect->left + (rect->Width() - w) / 2;
  if (style.align == kAlignRight) left = rect->right - w;
  top = style.vertical == 1 ? rect->bottom - h : rect->top + (rect->Height() - h) / 2;
  *rect = {left, top, left + w, top + h};
  return true;
}

bool Graphics::MeasureTextStyled(TextStyle& style, const char* text, Bounds* rect) {
  return DrawTextStyled(style, text, rect, true);
}

bool Graphics::Draw(const Bounds& update) {
  if (controls_.empty()) return true;
  drawRect_ = update;
  for (auto& control : controls_) {
    const Bounds& r = control->Rect();
    if (!control->IsHidden() && !update.IsEmpty() && !r.IsEmpty() && update.Overlaps(r)) {
      control->Draw(*this);
    }
    control->SetClean();
  }
  return CopyToScreen(update);
}

bool Graphics::NeedsRedraw(Bounds* rect) {
  if (!rect) return false;
  if (tickHandler_) tickHandler_();
  bool dirty = false;
  for (auto& control : controls_) {
    if (control->NeedsRedraw()) {
      *rect = rect->IsEmpty() ? control->Rect() : rect->Union(control->Rect());
      dirty = true;
    }
  }
  if (!dirty) {
    if (++idleTicks_ >= 2) {
      if (plugin_) plugin_->EditorIdle();
      for (auto& control : controls_) control->OnIdle();
      idleTicks_ = 0;
    }
    return false;
  }
  idleTicks_ = 0;
  return true;
}

bool Graphics::Tick() {
  Bounds dirty;
  if (!NeedsRedraw(&dirty)) return false;
  Draw(dirty);
  return true;
}

bool Graphics::WriteSnapshot(const char* path) const {
  return drawBitmap_ && WritePngFile(*drawBitmap_, path);
}

// ------------------------------------------------------------------------- plug-in link

void Graphics::PrepareDraw() {
  drawBitmap_ = std::make_unique<PixSysBitmap>(width_, height_);
  spareBitmap_ = std::make_unique<PixMemBitmap>(0, 0, 4);
}

void Graphics::Resize(int32_t width, int32_t height) {
  width_ = std::max(width, 0);
  height_ = std::max(height, 0);
  PrepareDraw();
  if (plugin_) plugin_->ResizeEditor(width_, height_);
}

void Graphics::UpdateParamControls(int paramIndex, double value, bool normalized) {
  if (!normalized) {
    PluginParam* param = plugin_ ? plugin_->GetParam(paramIndex) : nullptr;
    if (!param) return;
    value = param->ToNormalized(value);
  }
  for (auto& control : controls_) {
    if (control->ParamIndex() == paramIndex) control->ReceiveValue(value);
    const auto& aux = control->AuxParams();
    for (size_t i = 0; i < aux.size(); ++i) {
      if (aux[i].paramIndex == paramIndex) {
        control->ReceiveAuxValue(static_cast<int32_t>(i), value);
        break;
      }
    }
  }
}

void Graphics::UpdateControlValue(int controlIndex, double normalized) {
  if (Control* control = GetControl(controlIndex)) control->ReceiveValue(normalized);
}

void Graphics::GrayParamControls(int paramIndex, bool gray) {
  for (auto& control : controls_) {
    if (control->ParamIndex() == paramIndex) control->SetGrayed(gray);
  }
}

void Graphics::MarkAllControlsDirty() {
  for (auto& control : controls_) control->SetDirty(false);
}

void* Graphics::OpenWindow(void* parent) {
  void* handle = OpenNativeWindow(parent);
  if (handle) MarkAllControlsDirty();
  return handle;
}

void Graphics::CloseWindow() {
  CloseNativeWindow();
}

// -------------------------------------------------------------------------------- events

int32_t Graphics::HitSearch(int32_t x, int32_t y) const {
  for (int32_t i = ControlCount() - 1; i >= 0; --i) {
    const Control* c = controls_[static_cast<size_t>(i)].get();
    if (!c->IsGrayed() && !c->IsHidden() && c->HitTest(x, y)) return i;
  }
  return -1;
}

void Graphics::ReleaseMouseCapture() {
  captureIndex_ = -1;
  lastMouseX_ = lastMouseY_ = -1;
}

bool Graphics::OnMouseDown(int32_t x, int32_t y, const MouseKeys& keys) {
  ReleaseMouseCapture();
  int32_t hit = HitSearch(x, y);
  if (hit < 0) return false;
  captureIndex_ = hit;
  lastMouseX_ = x;
  lastMouseY_ = y;
  Control* control = GetControl(hit);
  if (control->ParamIndex() >= 0 && plugin_) plugin_->BeginParamEdit(control->ParamIndex());
  control->OnMouseDown(x, y, keys);
  return true;
}

void Graphics::OnMouseUp(int32_t x, int32_t y, const MouseKeys& keys) {
  Control* target = captureIndex_ >= 0 ? Captured() : GetControl(HitSearch(x, y));
  ReleaseMouseCapture();
  if (!target) return;
  target->OnMouseUp(x, y, keys);
  if (target->ParamIndex() >= 0 && plugin_) plugin_->EndParamEdit(target->ParamIndex());
}

void Graphics::OnMouseDrag(int32_t x, int32_t y, const MouseKeys& keys) {
  Control* control = Captured();
  if (!control || (x == lastMouseX_ && y == lastMouseY_)) return;
  int32_t dx = SaturateToInt(static_cast<double>(x) - lastMouseX_);
  int32_t dy = SaturateToInt(static_cast<double>(y) - lastMouseY_);
  lastMouseX_ = x;
  lastMouseY_ = y;
  control->OnMouseDrag(x, y, dx, dy, keys);
}

bool Graphics::OnMouseDblClick(int32_t x, int32_t y, const MouseKeys& keys) {
  ReleaseMouseCapture();
  Control* control = GetControl(HitSearch(x, y));
  if (!control) return false;
  if (control->DoubleClickAsClick()) {
    captureIndex_ = control->Index();
    lastMouseX_ = x;
    lastMouseY_ = y;
    control->OnMouseDown(x, y, keys);
    return true;
  }
  control->OnMouseDblClick(x, y, keys);
  return false;
}

void Graphics::OnMouseWheel(int32_t x, int32_t y, const MouseKeys& keys, float notches) {
  Control* control = captureIndex_ >= 0 ? Captured() : GetControl(HitSearch(x, y));
  if (control) control->OnMouseWheel(x, y, keys, notches);
}

bool Graphics::OnMouseOver(int32_t x, int32_t y, const MouseKeys& keys) {
  if (!handleMouseOver_) return false;
  int32_t hit = HitSearch(x, y);
  if (hit != mouseOverIndex_ && GetControl(mouseOverIndex_))
    GetControl(mouseOverIndex_)->OnMouseOut();
  mouseOverIndex_ = hit;
  if (Control* control = GetControl(hit)) control->OnMouseOver(x, y, keys);
  return true;
}

void Graphics::OnMouseOut() {
  for (auto& control : controls_) control->OnMouseOut();
  mouseOverIndex_ = -1;
}

bool Graphics::OnKeyDown(int32_t x, int32_t y, int32_t key) {
  int32_t index = captureIndex_ >= 0 ? captureIndex_ : HitSearch(x, y);
  Control* control = index > 0 ? GetControl(index) : nullptr;
  if (!control) control = keyCatcher_.get();
  return control ? control->OnKeyDown(x, y, key) : false;
}

// ---------------------------------------------------------------------------- user input

void Graphics::RequestUserInput(Control* control, int32_t paramIndex, const Bounds& rect) {
  if (!control || !plugin_ || rect.IsEmpty()) return;
  PluginParam* param = plugin_->GetParam(paramIndex);
  if (!param) return;
  Menu menu;
  char current[kParamTextSize] = {};
  bool useMenu = false;
  {
    // Parameters change on other threads under the plug-in mutex; read them under it, and
    // never hold it while a menu or a text entry waits for the user.
    std::lock_guard<PluginMutex> lock(plugin_->Mutex());
    useMenu = param->Kind() == kParamEnum ||
              (param->Kind() == kParamBool && param->DisplayTextCount() > 0);
    param->FormatForHost(param->Value(), false, current, useMenu);
    if (useMenu) {
      for (int32_t i = 0; i < param->DisplayTextCount(); ++i) {
        MenuItem item;
        item.text = param->DisplayTextFor(i);
        if (item.text == current) item.flags |= kMenuChecked;
        menu.items.push_back(std::move(item));
      }
    }
  }
  if (!useMenu) {
    PromptTextEntry(control, paramIndex, rect, current);
    return;
  }
  Menu* chosen = PopupMenu(menu, rect);
  if (!chosen || chosen->chosenItem < 0 ||
      chosen->chosenItem >= static_cast<int32_t>(chosen->items.size())) {
    return;
  }
  double normalized;
  {
    std::lock_guard<PluginMutex> lock(plugin_->Mutex());
    normalized = param->ToNormalized(chosen->chosenItem);
  }
  control->ReceiveUserValue(normalized);
}

void Graphics::CommitTextEntry(Control* control, int32_t paramIndex, const char* text) {
  if (!control || !text) return;
  PluginParam* param = plugin_ ? plugin_->GetParam(paramIndex) : nullptr;
  if (!param) {
    control->TextFromTextEntry(text);
    return;
  }
  double normalized;
  {
    std::lock_guard<PluginMutex> lock(plugin_->Mutex());
    // The reader the host entry points use: a choice by one of its display texts, a number
    // alone (no unit after it), negated where the display is. Refused text changes nothing.
    double value = 0.0;
    if (!param->ParseText(text, &value, NumberRule::kWholeText)) return;
    normalized = param->ToNormalized(value);
  }
  control->ReceiveUserValue(normalized);
}

}  // namespace qd
