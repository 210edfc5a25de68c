// The entry point of the LV2 DSP binary: lv2_descriptor hands the host the one plug-in's
// descriptor, whose functions forward to PluginLv2. No exception leaves them: a failed
// instantiation answers null, and the other calls do nothing on failure.
#include <lv2/core/lv2.h>

#include <memory>

#include "effect/QuarloDorvantix.h"
#include "formats/lv2/Lv2Ports.h"
#include "formats/lv2/PluginLv2.h"

namespace {

qd::PluginLv2* Self(LV2_Handle handle) {
  return static_cast<qd::PluginLv2*>(handle);
}

LV2_Handle Instantiate(const LV2_Descriptor*, double rate, const char*,
                       const LV2_Feature* const* features) {
  try {
    return qd::PluginLv2::Create(std::make_unique<qd::QuarloDorvantix>(qd::kFormatAax), rate,
                                 features)
        .release();
  } catch (...) {
    return nullptr;
  }
}

void ConnectPort(LV2_Handle handle, uint32_t port, void* data) {
  if (handle) Self(handle)->ConnectPort(port, data);
}

void Activate(LV2_Handle handle) {
  try {
    if (handle) Self(handle)->Activate();
  } catch (...) {
  }
}

void Run(LV2_Handle handle, uint32_t frames) {
  try {
    if (handle) Self(handle)->Run(frames);
  } catch (...) {
  }
}

void Deactivate(LV2_Handle handle) {
  try {
    if (handle) Self(handle)->Deactivate();
  } catch (...) {
  }
}

void Cleanup(LV2_Handle handle) {
  delete Self(handle);
}

const void* ExtensionData(const char*) {
  return nullptr;
}

const LV2_Descriptor kDescriptor = {qd::lv2::kPluginUri, Instantiate, ConnectPort,  Activate, Run,
                                    Deactivate,          Cleanup,     ExtensionData};

}  // namespace

extern "C" __attribute__((visibility("default"))) const LV2_Descriptor* lv2_descriptor(
    uint32_t index) {
  return index == 0 ? &kDescriptor : nullptr;
}
