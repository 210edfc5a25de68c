// The entry point of the LV2 UI binary: lv2ui_descriptor hands the host the X11 editor's
// descriptor, whose functions forward to PluginLv2Ui, with the idle interface as its
// extension data. No exception leaves them: a failed instantiation answers null.
#include <lv2/ui/ui.h>

#include <cstring>
#include <memory>

#include "effect/EditorLayout.h"
#include "effect/QuarloDorvantix.h"
#include "formats/lv2/Lv2Ports.h"
#include "formats/lv2/ui/PluginLv2Ui.h"
#include "graphics/Graphics.h"
#include "graphics/bitmap/CairoBridge.h"
#include "graphics/x11/GraphicsX11.h"
#include "resources/ResourceTable.h"

namespace {

qd::PluginLv2Ui* Self(LV2UI_Handle handle) {
  return static_cast<qd::PluginLv2Ui*>(handle);
}

// The plug-in's editor over the UI's model and meters, attached as the plug-in attaches its
// own.
std::unique_ptr<qd::PluginEditor> BuildPanel(qd::PluginBase& model, qd::MeterReader& meters) {
  std::unique_ptr<qd::Graphics> editor = qd::BuildEditor(model, meters);
  model.SetSurfaceBridge(std::make_unique<qd::CairoBridge>(&model, qd::PluginModule()));
  return editor;
}

LV2UI_Handle Instantiate(const LV2UI_Descriptor*, const char* pluginUri, const char*,
                         LV2UI_Write_Function write, LV2UI_Controller controller,
                         LV2UI_Widget* widget, const LV2_Feature* const* features) {
  try {
    if (!pluginUri || std::strcmp(pluginUri, qd::lv2::kPluginUri) != 0 || !widget) {
      return nullptr;
    }
    static const bool x11Installed = (qd::InstallX11Graphics(), true);
    (void)x11Installed;
    // The parameter model: the plug-in without its own editor, never processing audio.
    auto model = std::make_unique<qd::QuarloDorvantix>(qd::PortLabels::kPerBus, false);
    auto ui = qd::PluginLv2Ui::Create(std::move(model), &BuildPanel, write, controller, features);
    if (!ui) return nullptr;
    *widget = ui->Widget();
    return ui.release();
  } catch (...) {
    return nullptr;
  }
}

void Cleanup(LV2UI_Handle handle) {
  delete Self(handle);
}

void PortEvent(LV2UI_Handle handle, uint32_t port, uint32_t size, uint32_t format,
               const void* buffer) {
  try {
    if (handle) Self(handle)->PortEvent(port, size, format, buffer);
  } catch (...) {
  }
}

int Idle(LV2UI_Handle handle) {
  try {
    return handle ? Self(handle)->Idle() : 1;
  } catch (...) {
    return 1;
  }
}

const LV2UI_Idle_Interface kIdle = {Idle};

const void* ExtensionData(const char* uri) {
  return uri && std::strcmp(uri, LV2_UI__idleInterface) == 0 ? &kIdle : nullptr;
}

const LV2UI_Descriptor kDescriptor = {qd::lv2::kUiUri, Instantiate, Cleanup, PortEvent,
                                      ExtensionData};

}  // namespace

extern "C" __attribute__((visibility("default"))) const LV2UI_Descriptor* lv2ui_descriptor(
    uint32_t index) {
  return index == 0 ? &kDescriptor : nullptr;
}
