// The entry point of the LV2 DSP binary: lv2_descriptor hands the host the one plug-in's
// descriptor, whose functions forward to PluginLv2, with the worker and state interfaces as
// its extension data. No exception leaves them: a failed instantiation answers null, and the
// other calls do nothing on failure.
#include <lv2/core/lv2.h>
#include <lv2/state/state.h>
#include <lv2/worker/worker.h>

#include <cstring>
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
    // No editor in the DSP binary: the UI binary builds its own.
    auto plugin = std::make_unique<qd::QuarloDorvantix>(qd::PortLabels::kPerBus, false);
    qd::MeterReader* meters = plugin.get();
    return qd::PluginLv2::Create(std::move(plugin), meters, rate, features).release();
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

LV2_Worker_Status Work(LV2_Handle handle, LV2_Worker_Respond_Function, LV2_Worker_Respond_Handle,
                       uint32_t, const void*) {
  try {
    if (handle) Self(handle)->Work();
    return LV2_WORKER_SUCCESS;
  } catch (...) {
    return LV2_WORKER_ERR_UNKNOWN;
  }
}

LV2_Worker_Status WorkResponse(LV2_Handle, uint32_t, const void*) {
  return LV2_WORKER_SUCCESS;
}

const LV2_Worker_Interface kWorker = {Work, WorkResponse, nullptr};

LV2_State_Status Save(LV2_Handle handle, LV2_State_Store_Function store, LV2_State_Handle state,
                      uint32_t, const LV2_Feature* const*) {
  try {
    return handle ? Self(handle)->SaveState(store, state) : LV2_STATE_ERR_UNKNOWN;
  } catch (...) {
    return LV2_STATE_ERR_UNKNOWN;
  }
}

LV2_State_Status Restore(LV2_Handle handle, LV2_State_Retrieve_Function retrieve,
                         LV2_State_Handle state, uint32_t, const LV2_Feature* const*) {
  try {
    return handle ? Self(handle)->RestoreState(retrieve, state) : LV2_STATE_ERR_UNKNOWN;
  } catch (...) {
    return LV2_STATE_ERR_UNKNOWN;
  }
}

const LV2_State_Interface kState = {Save, Restore};

const void* ExtensionData(const char* uri) {
  if (!uri) return nullptr;
  if (std::strcmp(uri, LV2_WORKER__interface) == 0) return &kWorker;
  if (std::strcmp(uri, LV2_STATE__interface) == 0) return &kState;
  return nullptr;
}

const LV2_Descriptor kDescriptor = {qd::lv2::kPluginUri, Instantiate, ConnectPort,  Activate, Run,
                                    Deactivate,          Cleanup,     ExtensionData};

}  // namespace

extern "C" __attribute__((visibility("default"))) const LV2_Descriptor* lv2_descriptor(
    uint32_t index) {
  return index == 0 ? &kDescriptor : nullptr;
}
