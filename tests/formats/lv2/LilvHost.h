// An LV2 host for tests, built on lilv: loads the built bundle once per program, maps URIs,
// and runs instances with every port connected to buffers the test owns. Writing a tempo
// puts one time:Position object into the time port's sequence for the next run only.
#pragma once

#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/options/options.h>
#include <lv2/time/time.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "effect/Parameters.h"
#include "formats/lv2/Lv2Ports.h"

namespace qd::testing {

// The text a host types into a VST2 plug-in for a real value of parameter `index`: the
// display text for switches and choices, else the number, exact to the double.
inline std::string HostText(int index, float value) {
  const ParamDefinition& row = kParamRows[static_cast<size_t>(index)];
  char text[64];
  if (row.texts[0]) {
    std::snprintf(text, sizeof text, "%s", row.texts[static_cast<size_t>(value)]);
  } else {
    std::snprintf(text, sizeof text, "%.17g", static_cast<double>(value));
  }
  return text;
}

class UridMap {
 public:
  UridMap() {
    map_.handle = this;
    map_.map = &Map;
    unmap_.handle = this;
    unmap_.unmap = &Unmap;
  }
  LV2_URID_Map* MapFeature() { return &map_; }
  LV2_URID_Unmap* UnmapFeature() { return &unmap_; }
  LV2_URID operator()(const char* uri) { return Map(this, uri); }

 private:
  static LV2_URID Map(LV2_URID_Map_Handle handle, const char* uri) {
    auto* self = static_cast<UridMap*>(handle);
    std::lock_guard<std::mutex> lock(self->mutex_);
    for (size_t i = 0; i < self->uris_.size(); ++i) {
      if (self->uris_[i] == uri) return static_cast<LV2_URID>(i + 1);
    }
    self->uris_.emplace_back(uri);
    return static_cast<LV2_URID>(self->uris_.size());
  }
  static const char* Unmap(LV2_URID_Unmap_Handle handle, LV2_URID urid) {
    auto* self = static_cast<UridMap*>(handle);
    std::lock_guard<std::mutex> lock(self->mutex_);
    return urid >= 1 && urid <= self->uris_.size() ? self->uris_[urid - 1].c_str() : nullptr;
  }
  std::mutex mutex_;
  std::vector<std::string> uris_;
  LV2_URID_Map map_{};
  LV2_URID_Unmap unmap_{};
};

// The world with the built bundle loaded, once per program.
class Lv2World {
 public:
  static Lv2World& Get() {
    static Lv2World world;
    return world;
  }
  LilvWorld* World() const { return world_; }
  const LilvPlugin* Plugin() const { return plugin_; }
  UridMap& Urids() { return urids_; }
  LilvNode* Uri(const char* uri) { return Keep(lilv_new_uri(world_, uri)); }
  LilvNode* String(const char* text) { return Keep(lilv_new_string(world_, text)); }

 private:
  Lv2World() {
    world_ = lilv_world_new();
    const std::string dir = std::string(QD_LV2_BUNDLE_DIR) + "/";
    LilvNode* bundle = lilv_new_file_uri(world_, nullptr, dir.c_str());
    lilv_world_load_bundle(world_, bundle);
    lilv_node_free(bundle);
    LilvNode* uri = lilv_new_uri(world_, lv2::kPluginUri);
    plugin_ = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world_), uri);
    lilv_node_free(uri);
  }
  ~Lv2World() {
    for (LilvNode* n : nodes_) lilv_node_free(n);
    lilv_world_free(world_);
  }
  LilvNode* Keep(LilvNode* n) {
    nodes_.push_back(n);
    return n;
  }
  LilvWorld* world_ = nullptr;
  const LilvPlugin* plugin_ = nullptr;
  UridMap urids_;
  std::vector<LilvNode*> nodes_;
};

struct HostOptions {
  double rate = 48000.0;
  int maxBlock = 1024;       // announced through the options feature; 0 announces none
  bool offerMap = true;      // false: no urid:map feature
  bool offerWorker = false;  // a worker whose jobs the test runs with RunWork()
};

class Lv2Instance {
 public:
  static constexpr int kCapacity = 1 << 17;  // frames the audio buffers hold

  explicit Lv2Instance(const HostOptions& options = {}) : options_(options) {
    Lv2World& w = Lv2World::Get();
    UridMap& urid = w.Urids();
    atomSequence_ = urid(LV2_ATOM__Sequence);
    atomObject_ = urid(LV2_ATOM__Object);
    atomFloat_ = urid(LV2_ATOM__Float);
    atomInt_ = urid(LV2_ATOM__Int);
    timePosition_ = urid(LV2_TIME__Position);
    timeBpm_ = urid(LV2_TIME__beatsPerMinute);
    maxBlockValue_ = options.maxBlock;
    options_list_[0] = {LV2_OPTIONS_INSTANCE, 0,        urid(LV2_BUF_SIZE__maxBlockLength),
                        sizeof(int32_t),      atomInt_, &maxBlockValue_};
    options_list_[1] = {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr};
    mapFeature_ = {LV2_URID__map, urid.MapFeature()};
    unmapFeature_ = {LV2_URID__unmap, urid.UnmapFeature()};
    optionsFeature_ = {LV2_OPTIONS__options, options_list_};
    int n = 0;
    if (options.offerMap) features_[n++] = &mapFeature_;
    features_[n++] = &unmapFeature_;
    if (options.maxBlock > 0) features_[n++] = &optionsFeature_;
    schedule_ = {this, &Schedule};
    workerFeature_ = {LV2_WORKER__schedule, &schedule_};
    if (options.offerWorker) features_[n++] = &workerFeature_;
    features_[n] = nullptr;

    in_[0].assign(kCapacity, 0.0f);
    in_[1].assign(kCapacity, 0.0f);
    out_[0].assign(kCapacity, 0.0f);
    out_[1].assign(kCapacity, 0.0f);
    const LilvPlugin* plugin = w.Plugin();
    if (!plugin) return;
    for (uint32_t i = 0; i < lv2::kParamPorts; ++i) {
      const LilvPort* port = lilv_plugin_get_port_by_index(plugin, i);
      LilvNode *def = nullptr, *min = nullptr, *max = nullptr;
      lilv_port_get_range(plugin, port, &def, &min, &max);
      controls[i] = def ? lilv_node_as_float(def) : 0.0f;
      lilv_node_free(def);
      lilv_node_free(min);
      lilv_node_free(max);
    }
    instance_ = lilv_plugin_instantiate(plugin, options.rate, features_);
    if (!instance_) return;
    for (uint32_t i = 0; i < lv2::kParamPorts; ++i) Connect(i, &controls[i]);
    Connect(lv2::kInputLeftPort, in_[0].data());
    Connect(lv2::kInputRightPort, in_[1].data());
    Connect(lv2::kOutputLeftPort, out_[0].data());
    Connect(lv2::kOutputRightPort, out_[1].data());
    Connect(lv2::kTimePort, time_.data());
    for (uint32_t i = 0; i < lv2::kMeterCount; ++i) Connect(lv2::kFirstMeterPort + i, &meters[i]);
    Connect(lv2::kLatencyPort, &latency);
    ClearTime();
    lilv_instance_activate(instance_);
  }
  ~Lv2Instance() {
    if (!instance_) return;
    lilv_instance_deactivate(instance_);
    lilv_instance_free(instance_);
  }
  Lv2Instance(const Lv2Instance&) = delete;
  Lv2Instance& operator=(const Lv2Instance&) = delete;

  bool Ok() const { return instance_ != nullptr; }
  LilvInstance* Instance() const { return instance_; }
  void Connect(uint32_t port, void* data) { lilv_instance_connect_port(instance_, port, data); }

  float* In(int c) { return in_[c].data(); }
  float* Out(int c) { return out_[c].data(); }

  // Runs `frames` frames (at most kCapacity) of the input buffers; the time sequence is
  // emptied afterwards, as a host does for an input sequence.
  void Run(uint32_t frames) {
    lilv_instance_run(instance_, frames);
    ClearTime();
  }

  // One time:Position object with the tempo, at frame 0 of the next run.
  void SetTempo(float bpm) {
    uint8_t* p = time_.data();
    auto* seq = reinterpret_cast<LV2_Atom_Sequence*>(p);
    auto* event = reinterpret_cast<LV2_Atom_Event*>(p + sizeof(LV2_Atom_Sequence));
    event->time.frames = 0;
    event->body.type = atomObject_;
    event->body.size = sizeof(LV2_Atom_Object_Body) + sizeof(LV2_Atom_Property_Body) + 8;
    auto* object = reinterpret_cast<LV2_Atom_Object_Body*>(event + 1);
    object->id = 0;
    object->otype = timePosition_;
    auto* prop = reinterpret_cast<LV2_Atom_Property_Body*>(object + 1);
    prop->key = timeBpm_;
    prop->context = 0;
    prop->value.size = sizeof(float);
    prop->value.type = atomFloat_;
    std::memcpy(prop + 1, &bpm, sizeof bpm);
    seq->atom.type = atomSequence_;
    seq->atom.size = sizeof(LV2_Atom_Sequence_Body) + sizeof(LV2_Atom_Event) + event->body.size;
  }
  // Jobs the plug-in scheduled on the worker; RunWork runs them as the host's worker thread
  // would, and returns how many ran.
  int Scheduled() const { return scheduled_; }
  int RunWork() {
    const auto* worker = static_cast<const LV2_Worker_Interface*>(
        lilv_instance_get_extension_data(instance_, LV2_WORKER__interface));
    const int n = scheduled_;
    for (; scheduled_ > 0; --scheduled_) {
      worker->work(lilv_instance_get_handle(instance_), nullptr, nullptr, 0, nullptr);
    }
    return n;
  }

  // Raw access for tests that write hostile sequences.
  uint8_t* TimeBuffer() { return time_.data(); }
  LV2_URID Urid(const char* uri) { return Lv2World::Get().Urids()(uri); }

  std::array<float, lv2::kParamPorts> controls{};
  std::array<float, lv2::kMeterCount> meters{};
  float latency = -1.0f;

 private:
  static LV2_Worker_Status Schedule(LV2_Worker_Schedule_Handle handle, uint32_t, const void*) {
    ++static_cast<Lv2Instance*>(handle)->scheduled_;
    return LV2_WORKER_SUCCESS;
  }
  void ClearTime() {
    auto* seq = reinterpret_cast<LV2_Atom_Sequence*>(time_.data());
    seq->atom.type = atomSequence_;
    seq->atom.size = sizeof(LV2_Atom_Sequence_Body);
    seq->body.unit = 0;
    seq->body.pad = 0;
  }

  HostOptions options_;
  LilvInstance* instance_ = nullptr;
  std::vector<float> in_[2], out_[2];
  alignas(8) std::array<uint8_t, 4096> time_{};
  LV2_URID atomSequence_ = 0, atomObject_ = 0, atomFloat_ = 0, atomInt_ = 0;
  LV2_URID timePosition_ = 0, timeBpm_ = 0;
  int32_t maxBlockValue_ = 0;
  LV2_Options_Option options_list_[2]{};
  LV2_Feature mapFeature_{}, unmapFeature_{}, optionsFeature_{};
  const LV2_Feature* features_[5] = {};
  LV2_Worker_Schedule schedule_{};
  LV2_Feature workerFeature_{};
  int scheduled_ = 0;
};

}  // namespace qd::testing
