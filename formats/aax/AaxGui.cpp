#include "formats/aax/AaxGui.h"

#include "formats/aax/PluginAax.h"

namespace qd {

AAX_CEffectGUI::AAX_CEffectGUI() = default;

AAX_CEffectGUI::~AAX_CEffectGUI() = default;

aax::Result AAX_CEffectGUI::QueryInterface(const aax::Uid& iid, void** out) noexcept {
  if (!out) return aax::kAcfPointer;
  *out = nullptr;
  if (iid == aax::kIidUnknown || iid == aax::kIidEffectGui) {
    *out = static_cast<aax::IEffectGui*>(this);
    AddRef();
    return aax::kSuccess;
  }
  return aax::kAcfNoInterface;
}

aax::Result AAX_CEffectGUI::Initialize(aax::IUnknown* controller) noexcept {
  if (!controller) return aax::kErrorNullController;
  try {
    controller_ = std::make_unique<AAX_VController>(controller);
    aax::IUnknown* unknown = nullptr;
    controller_->GetEffectParameters(&unknown);
    effectParameters_ = HostRef<aax::IEffectParameters>::Query(unknown, aax::kIidEffectParameters);
    if (unknown) unknown->Release();
    // Only this module's own objects are reached past their interface.
    pluginParameters_ = dynamic_cast<AAX_CPluginParameters*>(effectParameters_.Get());
    transport_ = std::make_unique<AAX_VTransport>(controller);
    CreateViewContents();
    return aax::kSuccess;
  } catch (...) {
    return aax::kAcfUnexpected;
  }
}

aax::Result AAX_CEffectGUI::Uninitialize() noexcept {
  if (viewContainer_) {
    DeleteViewContainer();
    viewContainer_.reset();
  }
  DeleteViewContents();
  pluginParameters_ = nullptr;
  effectParameters_.Reset(nullptr);
  controller_.reset();
  transport_.reset();
  return aax::kSuccess;
}

aax::Result AAX_CEffectGUI::SetViewContainer(aax::IUnknown* container) noexcept {
  try {
    // A window still open in the old container is closed before another one opens.
    if (viewContainer_) DeleteViewContainer();
    viewContainer_.reset();
    if (container) {
      viewContainer_ = std::make_unique<AAX_VViewContainer>(container);
      CreateViewContainer();
    }
    return aax::kSuccess;
  } catch (...) {
    return aax::kAcfUnexpected;
  }
}

AAX_CEffectGUI_Plugin::~AAX_CEffectGUI_Plugin() {
  // A host that releases the GUI without closing the view still gets the window closed.
  DeleteViewContainer();
}

aax::Result AAX_CEffectGUI_Plugin::GetViewSize(aax::Point* size) noexcept {
  if (!size) return aax::kErrorNullObject;
  if (graphics_) {
    size->horizontal = static_cast<float>(graphics_->Width());
    size->vertical = static_cast<float>(graphics_->Height());
  }
  return aax::kSuccess;
}

void AAX_CEffectGUI_Plugin::CreateViewContents() {
  graphics_ = PluginParameters() ? PluginParameters()->Plugin().Editor() : nullptr;
}

void AAX_CEffectGUI_Plugin::CreateViewContainer() {
  void* parent = ViewContainer() ? ViewContainer()->GetPtr() : nullptr;
  if (!parent || !graphics_) return;
  PluginParameters()->SetEditorViewContainer(ViewContainer());
  windowOpen_ = graphics_->OpenWindow(parent) != nullptr;
}

void AAX_CEffectGUI_Plugin::DeleteViewContainer() {
  if (!graphics_) return;
  if (windowOpen_) graphics_->CloseWindow();
  windowOpen_ = false;
  if (PluginParameters()) PluginParameters()->SetEditorViewContainer(nullptr);
}

aax::Result AAX_CEffectGUI::TimerWakeup() noexcept { return aax::kSuccess; }

aax::Result AAX_CEffectGUI_Plugin::TimerWakeup() noexcept {
  try {
    if (windowOpen_ && graphics_) graphics_->Idle();
  } catch (...) {
  }
  return aax::kSuccess;
}

}  // namespace qd
