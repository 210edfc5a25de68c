#include "formats/lv2/ui/PluginLv2Ui.h"

#include <cmath>
#include <cstring>

#include "formats/lv2/Lv2Meters.h"

namespace qd {

namespace {

const void* FindFeature(const LV2_Feature* const* features, const char* uri) {
  for (int i = 0; features && features[i]; ++i) {
    if (features[i]->URI && std::strcmp(features[i]->URI, uri) == 0) return features[i]->data;
  }
  return nullptr;
}

}  // namespace

std::unique_ptr<PluginLv2Ui> PluginLv2Ui::Create(std::unique_ptr<PluginBase> model,
                                                 EditorBuilder build, LV2UI_Write_Function write,
                                                 LV2UI_Controller controller,
                                                 const LV2_Feature* const* features) {
  void* parent = const_cast<void*>(FindFeature(features, LV2_UI__parent));
  if (!model || !build || !write || !parent) return nullptr;
  std::unique_ptr<PluginLv2Ui> self(new PluginLv2Ui(std::move(model), write, controller));
  self->resize_ = static_cast<const LV2UI_Resize*>(FindFeature(features, LV2_UI__resize));
  self->touch_ = static_cast<const LV2UI_Touch*>(FindFeature(features, LV2_UI__touch));
  for (uint32_t i = 0; i < lv2::kMeterCount; ++i) {
    self->meterValues_[i] = lv2::kMeterPorts[i].minimum;
  }

  PluginBase& m = *self->model_;
  m.AttachEditor(build(m, *self));
  PluginEditor* editor = m.Editor();
  if (!editor) return nullptr;
  self->widget_ = editor->OpenWindow(parent);
  if (!self->widget_) return nullptr;
  self->ResizeEditor(editor->Width(), editor->Height());
  return self;
}

PluginLv2Ui::PluginLv2Ui(std::unique_ptr<PluginBase> model, LV2UI_Write_Function write,
                         LV2UI_Controller controller)
    : model_(std::move(model)), write_(write), controller_(controller) {
  model_->SetHostServices(this);
}

PluginLv2Ui::~PluginLv2Ui() {
  if (PluginEditor* editor = model_->Editor(); editor && editor->WindowIsOpen()) {
    editor->CloseWindow();
  }
  model_->SetHostServices(nullptr);
  model_.reset();
}

void PluginLv2Ui::PortEvent(uint32_t port, uint32_t size, uint32_t format, const void* buffer) {
  if (format != 0 || size != sizeof(float) || !buffer) return;
  float v;
  std::memcpy(&v, buffer, sizeof v);
  if (port < lv2::kParamPorts) {
    // The host's value for a control input: the model takes it as the DSP does.
    const PluginParam* param = model_->GetParam(static_cast<int>(port));
    if (!param || std::isnan(v)) return;
    model_->SetParameterFromHost(static_cast<int>(port), param->ToNormalized(v));
  } else if (port >= lv2::kFirstMeterPort && port < lv2::kLatencyPort) {
    meterValues_[port - lv2::kFirstMeterPort] = v;
    metersFresh_ = true;
  }
}

int PluginLv2Ui::Idle() {
  PluginEditor* editor = model_->Editor();
  if (!editor || !editor->WindowIsOpen()) return 1;
  editor->Idle();
  return 0;
}

bool PluginLv2Ui::TakeMeters(MeterSnapshot* out) {
  if (!metersFresh_ || !out) return false;
  metersFresh_ = false;
  *out = lv2::MetersFromPorts(meterValues_.data());
  return true;
}

void PluginLv2Ui::Touch(int index, bool grabbed) {
  if (touch_ && touch_->touch && index >= 0 && index < static_cast<int>(lv2::kParamPorts)) {
    touch_->touch(touch_->handle, static_cast<uint32_t>(index), grabbed);
  }
}

void PluginLv2Ui::BeginParamEdit(int index) {
  Touch(index, true);
}

void PluginLv2Ui::EndParamEdit(int index) {
  Touch(index, false);
}

void PluginLv2Ui::ReportParamChange(int index, double) {
  // The port carries the parameter's own value (in its units), as the model holds it.
  const PluginParam* param = model_->GetParam(index);
  if (!param || index >= static_cast<int>(lv2::kParamPorts)) return;
  const float value = static_cast<float>(param->Value());
  write_(controller_, static_cast<uint32_t>(index), sizeof value, 0, &value);
}

void PluginLv2Ui::ResizeEditor(int width, int height) {
  if (resize_ && resize_->ui_resize) resize_->ui_resize(resize_->handle, width, height);
}

}  // namespace qd
