// The AAX binding of one plug-in instance: the effect-parameters object the host holds,
// which owns the plug-in object, registers itself as the plug-in's host services, maps the
// plug-in's parameters to AAX parameters (ID "1" is parameter 0), keeps the state as one
// chunk, and renders the host's blocks through the plug-in's process frame.
//
// Threads: parameter updates, chunks and the editor bridge come from the host's main and
// automation threads, RenderAudio from its audio thread; each takes the plug-in's
// recursive mutex around what it changes, so an update never lands inside a block.
// RenderAudio allocates nothing and does no I/O; a host buffer longer than the block
// capacity is processed in slices, and no buffer length resets the engine.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "formats/aax/AaxEffectParameters.h"
#include "framework/HostServices.h"
#include "framework/PluginBase.h"

namespace qd {

constexpr const char* kAaxHostName = "ProTools";
// Frames per slice of the process frame, set once at construction.
constexpr int kAaxBlockCapacity = 1024;

class AAX_CPluginParameters final : public AAX_CEffectParameters, public HostServices {
 public:
  // Takes the plug-in, connects every channel, sizes the scratch buffers for 1024 frames
  // and identifies the host.
  explicit AAX_CPluginParameters(std::unique_ptr<PluginBase> plugin);
  ~AAX_CPluginParameters() override;

  PluginBase& Plugin() { return *plugin_; }
  // The AAX ID of plug-in parameter i; null for an index without one (before Initialize).
  const char* ParameterId(int index) const;

  // ---- state: one chunk, ID = the plug-in's unique ID ----
  aax::Result GetNumberOfChunks(int32_t* count) noexcept override;
  aax::Result GetChunkIDFromIndex(int32_t index, uint32_t* chunkId) noexcept override;
  aax::Result GetChunkSize(uint32_t chunkId, uint32_t* size) noexcept override;
  aax::Result GetChunk(uint32_t chunkId, aax::ChunkRecord* chunk) noexcept override;
  aax::Result SetChunk(uint32_t chunkId, const aax::ChunkRecord* chunk) noexcept override;
  aax::Result CompareActiveChunk(const aax::ChunkRecord* chunk, bool* equal) noexcept override;

  void RenderAudio(void* const* context) noexcept override;
  // The host's periodic main-thread call: the plug-in's idle work.
  aax::Result TimerWakeup() noexcept override;

  // ---- host services (called by the plug-in base with its mutex held) ----
  void BeginParamEdit(int index) override;
  void ReportParamChange(int index, double normalized) override;
  void EndParamEdit(int index) override;
  int64_t HostSamplePosition() override;
  double HostTempo() override;
  void HostTimeSignature(int* num, int* den) override;
  void HostTransport(TransportInfo* info) override;
  void ResizeEditor(int width, int height) override;
  bool SendMidiToHost(const ShortMidiEvent&) override { return false; }
  bool SendSysExToHost(const SysExEvent&) override { return false; }
  void LatencyChanged(int samples) override;

  // The view container the editor is open in (owned by the GUI object), or null.
  void SetEditorViewContainer(AAX_VViewContainer* container) { viewContainer_ = container; }

 protected:
  aax::Result EffectInit() override;
  void ParameterUpdated(const char* id, double normalized) override;
  void EffectUninit() override;

 private:
  // The transport of the block being rendered, else the one from Initialize.
  AAX_VTransport* CurrentTransport();
  bool SaveChunk(ChunkBuffer* chunk);

  std::unique_ptr<PluginBase> plugin_;
  std::vector<std::string> parameterIds_;
  AAX_VTransport renderTransport_;
  AAX_VViewContainer* viewContainer_ = nullptr;
};

}  // namespace qd
