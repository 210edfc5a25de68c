// The LV2 binding of the plug-in's DSP side: one instance per host instance. It owns the
// plug-in object, keeps the port pointers the host connects, and in each run call applies
// the control inputs that changed, takes the tempo from the host's time position, processes
// the audio through the plug-in base and writes the meter and latency outputs.
//
// Work the engine does off the audio thread (preparing fresh loudness states after "Reset
// Meters") runs in the host's worker thread when the host offers one; without a worker the
// binding starts one thread of its own at instantiation, which sleeps until Run wakes it
// and is joined by the destructor.
//
// Threads (the LV2 threading classes): Create, the destructor, Activate and Deactivate run in
// the host's instantiation class; ConnectPort and Run in the audio class; Work in the host's
// worker thread (or the binding's own). Run allocates nothing, takes only the plug-in mutex
// and never throws. No value a host writes into a port (NaN, infinite, out of range) and no
// frame count is unsafe.
#pragma once

#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <semaphore>
#include <thread>

#include "effect/Meters.h"
#include "formats/lv2/Lv2Ports.h"
#include "framework/HostServices.h"
#include "framework/PluginBase.h"

namespace qd {

class PluginLv2 final : public HostServices {
 public:
  // The largest block the scratch buffers take when the host names no maximum; longer
  // blocks are processed in slices.
  static constexpr int kFallbackBlockSize = 4096;

  // `meters` is the plug-in's published meter snapshot (owned by the plug-in). Null when the
  // host does not offer urid:map (the one feature the plug-in needs).
  static std::unique_ptr<PluginLv2> Create(std::unique_ptr<PluginBase> plugin, MeterReader* meters,
                                           double sampleRate, const LV2_Feature* const* features);
  ~PluginLv2();
  PluginLv2(const PluginLv2&) = delete;
  PluginLv2& operator=(const PluginLv2&) = delete;

  void ConnectPort(uint32_t port, void* data);
  void Activate();
  void Deactivate();
  void Run(uint32_t frames);
  // The worker thread's call, scheduled by Run: the engine's work off the audio thread.
  void Work();
  // state:interface: the plug-in's state as the bytes of the VST2 program chunk, stored
  // under one key and read back through the plug-in's one safe reader (bytes of another
  // type, or too short, are refused and change nothing). Save may run beside Run; Restore
  // runs in the instantiation class.
  LV2_State_Status SaveState(LV2_State_Store_Function store, LV2_State_Handle handle);
  LV2_State_Status RestoreState(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle);

  PluginBase& Plugin() { return *plugin_; }

  // ---- host services (called by the plug-in base with its mutex held) ----
  // LV2 has no way for a plug-in to write its own control inputs: the engine's own changes
  // (the automatic output level) are taken from the queue in Run and reach the host as the
  // "output gain in effect" meter instead.
  bool DeliversEventsAtOnce() const override { return false; }
  double HostTempo() override { return tempo_; }

 private:
  struct Uris {
    LV2_URID atomBlank, atomObject, atomSequence, atomFloat, atomDouble, atomInt, atomLong;
    LV2_URID timePosition, timeBeatsPerMinute;
    LV2_URID maxBlockLength, nominalBlockLength;
    LV2_URID atomChunk, stateKey;
  };

  PluginLv2(std::unique_ptr<PluginBase> plugin, MeterReader* meters, const LV2_URID_Map& map);
  int BlockSizeFromOptions(const LV2_Feature* const* features) const;
  void ApplyControls();
  void ReadTimePosition();
  void ReadTempo(const LV2_Atom_Object* object);
  void WriteOutputs();
  // The binding's own worker, for hosts without one: runs Work each time Run wakes it.
  void StartFallbackWorker();
  void FallbackWorkerLoop();

  std::unique_ptr<PluginBase> plugin_;
  MeterReader* meterReader_ = nullptr;
  const LV2_Worker_Schedule* worker_ = nullptr;
  std::thread fallbackWorker_;
  // Run wakes the thread by releasing the semaphore, at most once until the thread takes
  // the request (fallbackWanted_), so its count never passes one; neither allocates or locks.
  std::binary_semaphore fallbackWake_{0};
  std::atomic<bool> fallbackWanted_{false};
  std::atomic<bool> fallbackStop_{false};
  double sampleRate_ = 0.0;
  int maxBlock_ = 0;
  bool workWanted_ = false;
  Uris uris_{};
  std::array<const float*, kNumParams> controls_{};
  // The last value seen on each control input (bit pattern); a port is applied when it
  // changes, so the engine's own value of a parameter holds until the host moves the port.
  std::array<uint32_t, kNumParams> lastControlBits_{};
  std::array<bool, kNumParams> controlSeen_{};
  const float* audioIn_[2] = {nullptr, nullptr};
  float* audioOut_[2] = {nullptr, nullptr};
  const LV2_Atom_Sequence* time_ = nullptr;
  std::array<float*, lv2::kMeterCount> meters_{};
  MeterSnapshot lastMeters_{};
  float* latency_ = nullptr;
  double tempo_ = 0.0;
};

}  // namespace qd
