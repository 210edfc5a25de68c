// The editor bridge the host creates when it shows an instance's editor: it finds the
// instance through the controller, and opens the plug-in's existing editor window inside
// the native parent window of the view container the host gives.
//
// Threads: the host's main thread only. The bridge takes no lock of its own; the editor
// window synchronises with the plug-in itself. No entry lets an exception out.
#pragma once

#include <memory>

#include "formats/aax/AaxProxies.h"
#include "formats/aax/AcfObject.h"
#include "formats/aax/acf/AaxInterfaces.h"
#include "framework/EditorInterfaces.h"

namespace qd {

class AAX_CPluginParameters;

class AAX_CEffectGUI : public aax::IEffectGui, public CACFUnknown {
 public:
  AAX_CEffectGUI();
  ~AAX_CEffectGUI() override;

  aax::Result QueryInterface(const aax::Uid& iid, void** out) noexcept override;
  uint32_t AddRef() noexcept override { return InternalAddRef(); }
  uint32_t Release() noexcept override { return InternalRelease(); }

  aax::Result Initialize(aax::IUnknown* controller) noexcept override;
  aax::Result Uninitialize() noexcept override;
  aax::Result SetViewContainer(aax::IUnknown* container) noexcept override;
  aax::Result GetViewSize(aax::Point*) noexcept override { return aax::kSuccess; }
  aax::Result Draw(const aax::Rect*) noexcept override { return aax::kSuccess; }
  aax::Result TimerWakeup() noexcept override;
  aax::Result ParameterUpdated(const char*) noexcept override { return aax::kSuccess; }
  aax::Result NotificationReceived(uint32_t, const void*, uint32_t) noexcept override {
    return aax::kSuccess;
  }
  aax::Result SetControlHighlightInfo(const char*, bool, int32_t) noexcept override {
    return aax::kSuccess;
  }
  aax::Result GetCustomLabel(const char*, char*, int32_t) noexcept override {
    return aax::kErrorNullObject;
  }

 protected:
  virtual void CreateViewContents() {}
  virtual void CreateViewContainer() {}
  virtual void DeleteViewContainer() {}
  virtual void DeleteViewContents() {}

  AAX_VViewContainer* ViewContainer() const { return viewContainer_.get(); }
  // The instance's effect-parameters object, when it is one of this module's.
  AAX_CPluginParameters* PluginParameters() const { return pluginParameters_; }

 private:
  std::unique_ptr<AAX_VController> controller_;
  std::unique_ptr<AAX_VTransport> transport_;
  std::unique_ptr<AAX_VViewContainer> viewContainer_;
  HostRef<aax::IEffectParameters> effectParameters_;
  AAX_CPluginParameters* pluginParameters_ = nullptr;
};

class AAX_CEffectGUI_Plugin final : public AAX_CEffectGUI {
 public:
  ~AAX_CEffectGUI_Plugin() override;
  // Horizontal = editor width, vertical = editor height; untouched before the view
  // contents exist.
  aax::Result GetViewSize(aax::Point* size) noexcept override;
  PluginEditor* Graphics() const { return graphics_; }
  // The host's periodic call: on a window system without a timer of the editor's own (X11),
  // it drives the editor's redraw tick and event handling, as a VST2 host's idle call does.
  aax::Result TimerWakeup() noexcept override;

 protected:
  void CreateViewContents() override;
  void CreateViewContainer() override;
  void DeleteViewContainer() override;
  void DeleteViewContents() override { graphics_ = nullptr; }

 private:
  PluginEditor* graphics_ = nullptr;  // owned by the plug-in
  bool windowOpen_ = false;
};

}  // namespace qd
