// The LV2 binding of the plug-in's editor: an X11 UI apart from the DSP instance (it holds
// no pointer into it). It keeps a parameter model of its own, a plug-in object that never
// processes audio, and shows the plug-in's editor built over that model and over the meter
// values the host sends from the DSP's control outputs. The editor's gestures and values go
// to the host through the write function (with touch notifications where the host offers
// them); the host's port notifications move the controls and the meters.
//
// Threads: every call comes from the host's UI thread (instantiate, port_event, idle,
// cleanup); there is no thread or timer of our own: the host's idle calls drive the editor.
#pragma once

#include <lv2/core/lv2.h>
#include <lv2/ui/ui.h>

#include <array>
#include <memory>

#include "effect/Meters.h"
#include "formats/lv2/Lv2Ports.h"
#include "framework/HostServices.h"
#include "framework/PluginBase.h"

namespace qd {

class PluginLv2Ui final : public HostServices, public MeterReader {
 public:
  // Makes the editor over the model and the meters (the plug-in's editor layout).
  using EditorBuilder = std::unique_ptr<PluginEditor> (*)(PluginBase& model, MeterReader& meters);

  // Null when the host gives no parent window or the editor's window cannot be opened.
  static std::unique_ptr<PluginLv2Ui> Create(std::unique_ptr<PluginBase> model, EditorBuilder build,
                                             LV2UI_Write_Function write,
                                             LV2UI_Controller controller,
                                             const LV2_Feature* const* features);
  ~PluginLv2Ui();
  PluginLv2Ui(const PluginLv2Ui&) = delete;
  PluginLv2Ui& operator=(const PluginLv2Ui&) = delete;

  // The editor's X11 window, for the host to embed.
  LV2UI_Widget Widget() const { return widget_; }
  // A port's new value (float protocol only; anything else is ignored).
  void PortEvent(uint32_t port, uint32_t size, uint32_t format, const void* buffer);
  // The host's idle call: X events, the redraw tick, the meters. 0 while the editor is open.
  int Idle();

  PluginBase& Model() { return *model_; }

  // ---- host services: the editor's gestures and values, delivered as they happen ----
  bool DeliversEventsAtOnce() const override { return true; }
  void BeginParamEdit(int index) override;
  void ReportParamChange(int index, double normalized) override;
  void EndParamEdit(int index) override;
  void ResizeEditor(int width, int height) override;

  // ---- the meters the editor shows, from the host's notifications ----
  bool TakeMeters(MeterSnapshot* out) override;

 private:
  PluginLv2Ui(std::unique_ptr<PluginBase> model, LV2UI_Write_Function write,
              LV2UI_Controller controller);
  void Touch(int index, bool grabbed);

  std::unique_ptr<PluginBase> model_;
  LV2UI_Write_Function write_ = nullptr;
  LV2UI_Controller controller_ = nullptr;
  const LV2UI_Resize* resize_ = nullptr;
  const LV2UI_Touch* touch_ = nullptr;
  LV2UI_Widget widget_ = nullptr;
  std::array<float, lv2::kMeterCount> meterValues_{};
  bool metersFresh_ = false;
};

}  // namespace qd
