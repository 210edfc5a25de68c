#include "formats/lv2/PluginLv2.h"

#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/options/options.h>
#include <lv2/time/time.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <mutex>
#include <system_error>

#include "formats/lv2/Lv2Meters.h"

namespace qd {

namespace {

using Lock = std::lock_guard<PluginMutex>;

const void* FindFeature(const LV2_Feature* const* features, const char* uri) {
  for (int i = 0; features && features[i]; ++i) {
    if (features[i]->URI && std::strcmp(features[i]->URI, uri) == 0) return features[i]->data;
  }
  return nullptr;
}

uint32_t Bits(float v) {
  uint32_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  return bits;
}

// Padded size of an atom body, as the atom format lays events out.
uint64_t Padded(uint64_t size) {
  return (size + 7) & ~uint64_t{7};
}

}  // namespace

std::unique_ptr<PluginLv2> PluginLv2::Create(std::unique_ptr<PluginBase> plugin,
                                             MeterReader* meters, double sampleRate,
                                             const LV2_Feature* const* features) {
  const auto* map = static_cast<const LV2_URID_Map*>(FindFeature(features, LV2_URID__map));
  if (!plugin || !meters || !map || !map->map) return nullptr;
  std::unique_ptr<PluginLv2> self(new PluginLv2(std::move(plugin), meters, *map));
  self->worker_ =
      static_cast<const LV2_Worker_Schedule*>(FindFeature(features, LV2_WORKER__schedule));
  if (!self->worker_ || !self->worker_->schedule_work) {
    self->worker_ = nullptr;
    self->StartFallbackWorker();
  }
  self->sampleRate_ = sampleRate;
  self->maxBlock_ = self->BlockSizeFromOptions(features);
  PluginBase& p = *self->plugin_;
  p.HostOpened();
  // Ready to run at once; the host's activate prepares it afresh.
  p.Activate(sampleRate, self->maxBlock_);
  return self;
}

PluginLv2::PluginLv2(std::unique_ptr<PluginBase> plugin, MeterReader* meters,
                     const LV2_URID_Map& map)
    : plugin_(std::move(plugin)), meterReader_(meters) {
  auto urid = [&](const char* uri) { return map.map(map.handle, uri); };
  uris_.atomBlank = urid(LV2_ATOM__Blank);
  uris_.atomObject = urid(LV2_ATOM__Object);
  uris_.atomSequence = urid(LV2_ATOM__Sequence);
  uris_.atomFloat = urid(LV2_ATOM__Float);
  uris_.atomDouble = urid(LV2_ATOM__Double);
  uris_.atomInt = urid(LV2_ATOM__Int);
  uris_.atomLong = urid(LV2_ATOM__Long);
  uris_.timePosition = urid(LV2_TIME__Position);
  uris_.timeBeatsPerMinute = urid(LV2_TIME__beatsPerMinute);
  uris_.maxBlockLength = urid(LV2_BUF_SIZE__maxBlockLength);
  uris_.nominalBlockLength = urid(LV2_BUF_SIZE__nominalBlockLength);
  uris_.atomChunk = urid(LV2_ATOM__Chunk);
  uris_.stateKey = urid(lv2::kStateKeyUri);

  PluginBase& p = *plugin_;
  p.SetInputConnections(0, p.InputCount(), true);
  p.SetOutputConnections(0, p.OutputCount(), true);
  p.SetHostServices(this);
}

PluginLv2::~PluginLv2() {
  if (fallbackWorker_.joinable()) {
    fallbackStop_.store(true);
    if (!fallbackWanted_.exchange(true)) fallbackWake_.release();
    fallbackWorker_.join();
  }
  plugin_->SetHostServices(nullptr);
  plugin_.reset();
}

int PluginLv2::BlockSizeFromOptions(const LV2_Feature* const* features) const {
  const auto* options =
      static_cast<const LV2_Options_Option*>(FindFeature(features, LV2_OPTIONS__options));
  int maximum = 0, nominal = 0;
  for (int i = 0; options && options[i].key != 0; ++i) {
    const LV2_Options_Option& o = options[i];
    if (o.type != uris_.atomInt || o.size != sizeof(int32_t) || !o.value) continue;
    int32_t v;
    std::memcpy(&v, o.value, sizeof v);
    if (o.key == uris_.maxBlockLength) maximum = v;
    if (o.key == uris_.nominalBlockLength) nominal = v;
  }
  // The host's maximum when it names a usable one; blocks beyond it are sliced anyway.
  const int n = maximum > 0 ? maximum : nominal > 0 ? nominal : kFallbackBlockSize;
  return std::clamp(n, 1, kMaxScratchFrames);
}

void PluginLv2::ConnectPort(uint32_t port, void* data) {
  if (port < lv2::kParamPorts) {
    controls_[port] = static_cast<const float*>(data);
  } else if (port == lv2::kInputLeftPort || port == lv2::kInputRightPort) {
    audioIn_[port - lv2::kInputLeftPort] = static_cast<const float*>(data);
  } else if (port == lv2::kOutputLeftPort || port == lv2::kOutputRightPort) {
    audioOut_[port - lv2::kOutputLeftPort] = static_cast<float*>(data);
  } else if (port == lv2::kTimePort) {
    time_ = static_cast<const LV2_Atom_Sequence*>(data);
  } else if (port >= lv2::kFirstMeterPort && port < lv2::kLatencyPort) {
    meters_[port - lv2::kFirstMeterPort] = static_cast<float*>(data);
  } else if (port == lv2::kLatencyPort) {
    latency_ = static_cast<float*>(data);
  }
}

void PluginLv2::Activate() {
  plugin_->Activate(sampleRate_, maxBlock_);
}

void PluginLv2::Deactivate() {
  plugin_->Deactivate();
}

void PluginLv2::Run(uint32_t frames) {
  Lock lock(plugin_->Mutex());
  ApplyControls();
  ReadTimePosition();
  float* in[2] = {const_cast<float*>(audioIn_[0]), const_cast<float*>(audioIn_[1])};
  // The base slices whatever it is given into blocks its buffers hold; a count beyond int
  // is handed over in parts.
  for (uint32_t done = 0; done < frames;) {
    const uint32_t n = std::min<uint32_t>(frames - done, INT_MAX / 2);
    float* inSlice[2] = {in[0] ? in[0] + done : nullptr, in[1] ? in[1] + done : nullptr};
    float* outSlice[2] = {audioOut_[0] ? audioOut_[0] + done : nullptr,
                          audioOut_[1] ? audioOut_[1] + done : nullptr};
    plugin_->ProcessFloatBlock(inSlice, outSlice, static_cast<int>(n), false);
    done += n;
  }
  // The engine's own parameter changes have no way to the host's control inputs.
  plugin_->DrainOutgoingEvents([](const OutgoingEvent&) {});
  WriteOutputs();
  if (workWanted_) {
    workWanted_ = false;
    if (worker_) {
      worker_->schedule_work(worker_->handle, 0, nullptr);
    } else if (fallbackWorker_.joinable() && !fallbackWanted_.exchange(true)) {
      fallbackWake_.release();
    }
  }
}

void PluginLv2::Work() {
  plugin_->HostIdle();
}

void PluginLv2::StartFallbackWorker() {
  try {
    fallbackWorker_ = std::thread([this] { FallbackWorkerLoop(); });
  } catch (const std::system_error&) {
    // No thread to be had: the fresh states are then prepared at the next activation, and
    // a reset until then waits for it.
  }
}

void PluginLv2::FallbackWorkerLoop() {
  for (;;) {
    fallbackWake_.acquire();
    if (fallbackStop_.load()) return;
    fallbackWanted_.store(false);
    Work();
  }
}

LV2_State_Status PluginLv2::SaveState(LV2_State_Store_Function store, LV2_State_Handle handle) {
  if (!store) return LV2_STATE_ERR_UNKNOWN;
  ChunkBuffer bytes;
  if (!plugin_->SaveStateBytes(StateLayout::kProgram, bytes)) return LV2_STATE_ERR_UNKNOWN;
  return store(handle, uris_.stateKey, bytes.Data(), static_cast<size_t>(bytes.Size()),
               uris_.atomChunk, LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
}

LV2_State_Status PluginLv2::RestoreState(LV2_State_Retrieve_Function retrieve,
                                         LV2_State_Handle handle) {
  if (!retrieve) return LV2_STATE_ERR_UNKNOWN;
  size_t size = 0;
  uint32_t type = 0, flags = 0;
  const void* data = retrieve(handle, uris_.stateKey, &size, &type, &flags);
  if (!data) return LV2_STATE_ERR_NO_PROPERTY;
  if (type != uris_.atomChunk) return LV2_STATE_ERR_BAD_TYPE;
  if (size > static_cast<size_t>(kMaxStateBytes)) return LV2_STATE_ERR_UNKNOWN;
  // A damaged state is refused whole: a session that cannot be read leaves the plug-in as
  // it was rather than half restored.
  return plugin_->LoadStateBytes(StateLayout::kProgram, data, static_cast<int64_t>(size),
                                 StateLoad::kAllOrNothing)
             ? LV2_STATE_SUCCESS
             : LV2_STATE_ERR_UNKNOWN;
}

void PluginLv2::ApplyControls() {
  for (int i = 0; i < static_cast<int>(lv2::kParamPorts); ++i) {
    const float* port = controls_[i];
    if (!port) continue;
    const float v = *port;
    const uint32_t bits = Bits(v);
    // A port is applied when the host changes it; "Output Level" also whenever the
    // automatic output level is off, so the gain in effect returns to the host's value
    // (what the session stores) once the plug-in no longer drives it.
    const bool hostOwnsOutput =
        i == kOutputLevel && plugin_->GetParam(kAutoOutputLevel)->Value() < 0.5;
    if (controlSeen_[i] && bits == lastControlBits_[i] && !hostOwnsOutput) continue;
    controlSeen_[i] = true;
    lastControlBits_[i] = bits;
    const PluginParam* param = plugin_->GetParam(i);
    // NaN names no value: the parameter keeps its own. Anything else is clamped to the
    // port's range, infinities to its ends.
    if (!param || std::isnan(v)) continue;
    // A port holds a float: the value it already shows (a default, a restored value) is no
    // change, so the parameter keeps its exact double.
    if (static_cast<float>(param->Value()) == v) continue;
    plugin_->SetParameterFromHost(i, param->ToNormalized(v));
    if (i == kResetMeters) workWanted_ = true;
  }
}

void PluginLv2::ReadTimePosition() {
  if (!time_ || time_->atom.type != uris_.atomSequence) return;
  // Every event is checked against the size the host gives the sequence, so an event that
  // claims more bytes than the sequence holds ends the walk instead of reading past it.
  const auto* base = reinterpret_cast<const uint8_t*>(&time_->body);
  const uint64_t size = time_->atom.size;
  uint64_t offset = sizeof(LV2_Atom_Sequence_Body);
  while (offset + sizeof(LV2_Atom_Event) <= size) {
    const auto* event = reinterpret_cast<const LV2_Atom_Event*>(base + offset);
    const uint64_t body = event->body.size;
    if (offset + sizeof(LV2_Atom_Event) + body > size) break;
    const LV2_Atom& atom = event->body;
    if ((atom.type == uris_.atomObject || atom.type == uris_.atomBlank) &&
        body >= sizeof(LV2_Atom_Object_Body)) {
      ReadTempo(reinterpret_cast<const LV2_Atom_Object*>(&event->body));
    }
    offset += sizeof(LV2_Atom_Event) + Padded(body);
  }
}

void PluginLv2::ReadTempo(const LV2_Atom_Object* object) {
  if (object->body.otype != uris_.timePosition) return;
  const auto* base = reinterpret_cast<const uint8_t*>(&object->body);
  const uint64_t size = object->atom.size;
  uint64_t offset = sizeof(LV2_Atom_Object_Body);
  while (offset + sizeof(LV2_Atom_Property_Body) <= size) {
    const auto* prop = reinterpret_cast<const LV2_Atom_Property_Body*>(base + offset);
    const uint64_t valueSize = prop->value.size;
    if (offset + sizeof(LV2_Atom_Property_Body) + valueSize > size) break;
    if (prop->key == uris_.timeBeatsPerMinute) {
      const void* value = reinterpret_cast<const uint8_t*>(prop) + sizeof(LV2_Atom_Property_Body);
      double bpm = -1.0;
      if (prop->value.type == uris_.atomFloat && valueSize == sizeof(float)) {
        float f;
        std::memcpy(&f, value, sizeof f);
        bpm = f;
      } else if (prop->value.type == uris_.atomDouble && valueSize == sizeof(double)) {
        std::memcpy(&bpm, value, sizeof bpm);
      } else if (prop->value.type == uris_.atomInt && valueSize == sizeof(int32_t)) {
        int32_t v;
        std::memcpy(&v, value, sizeof v);
        bpm = v;
      } else if (prop->value.type == uris_.atomLong && valueSize == sizeof(int64_t)) {
        int64_t v;
        std::memcpy(&v, value, sizeof v);
        bpm = static_cast<double>(v);
      }
      // A tempo that is not a positive finite number is no tempo; the last one holds.
      if (bpm > 0.0 && std::isfinite(bpm)) tempo_ = bpm;
    }
    offset += sizeof(LV2_Atom_Property_Body) + Padded(valueSize);
  }
}

void PluginLv2::WriteOutputs() {
  // Without a new snapshot (a run of no frames) the last one is reported again.
  meterReader_->TakeMeters(&lastMeters_);
  float values[lv2::kMeterCount];
  lv2::MetersToPorts(lastMeters_, plugin_->GetParam(kOutputLevel)->Value(), values);
  for (uint32_t i = 0; i < lv2::kMeterCount; ++i) {
    if (meters_[i]) *meters_[i] = values[i];
  }
  if (latency_) *latency_ = static_cast<float>(plugin_->Latency());
}

}  // namespace qd
