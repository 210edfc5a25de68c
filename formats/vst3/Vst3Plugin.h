// The VST3 binding: one object per host instance that is at once the component (buses,
// state, activation), the audio processor and the edit controller (parameters, editor view)
// over one plug-in. It translates the host's calls into the plug-in base's host entry
// points and answers the host; no parameter, text or state byte is handled here.
//
// Threads, as the format assigns them: the audio processor's process() on the host's audio
// thread; everything else on the host's user-interface thread (component and controller
// calls, the view, the run-loop timer). Every entry takes the plug-in's recursive mutex, so
// calls from threads a host chooses otherwise are serialised too. process() allocates
// nothing and calls no host interface but the ones in its ProcessData.
//
// What the plug-in tells the host (the automatic "Output Level", editor gestures) waits in
// the base's outgoing queue and is delivered on the user-interface thread through the
// component handler's beginEdit / performEdit / endEdit: from the host's run loop (a timer
// registered where the handler or the host context offers a run loop on Linux; a timer of the
// user-interface thread's message loop on Windows) and from the editor view's tick. Nothing
// reaches the component handler from the audio thread.
//
// Parameter changes from the host's input queues take effect at the sample offset each
// point names: the block is processed in pieces between the points.
#pragma once

#include <atomic>
#include <memory>

#include "formats/vst3/Vst3Abi.h"
#include "framework/ChunkBuffer.h"
#include "framework/HostServices.h"
#include "framework/PluginBase.h"

namespace qd::vst3 {

class Ticker;
class View;

// The bypass parameter: after the plug-in's own parameters, whose IDs are their indices.
constexpr ParamID kBypassId = 0x62797073;  // 'byps'

// The two roles' state calls share names and arguments; these bases give each role its own.
class ComponentRole : public IComponent {
 public:
  tresult QD_VST3_CALL setState(IBStream* state) final { return LoadComponentState(state); }
  tresult QD_VST3_CALL getState(IBStream* state) final { return SaveComponentState(state); }

 protected:
  virtual tresult LoadComponentState(IBStream* state) = 0;
  virtual tresult SaveComponentState(IBStream* state) = 0;
  ~ComponentRole() = default;
};

class ControllerRole : public IEditController {
 public:
  tresult QD_VST3_CALL setState(IBStream* state) final { return LoadControllerState(state); }
  tresult QD_VST3_CALL getState(IBStream* state) final { return SaveControllerState(state); }

 protected:
  virtual tresult LoadControllerState(IBStream* state) = 0;
  virtual tresult SaveControllerState(IBStream* state) = 0;
  ~ControllerRole() = default;
};

class Plugin final : public ComponentRole,
                     public IAudioProcessor,
                     public IProcessContextRequirements,
                     public ControllerRole,
                     public HostServices {
 public:
  // Takes the plug-in; starts with one reference (the creator's).
  explicit Plugin(std::unique_ptr<PluginBase> plugin);
  Plugin(const Plugin&) = delete;
  Plugin& operator=(const Plugin&) = delete;

  PluginBase& Base() { return *plugin_; }

  // ---- FUnknown ----
  tresult QD_VST3_CALL queryInterface(const TUID iid, void** obj) override;
  uint32 QD_VST3_CALL addRef() override;
  uint32 QD_VST3_CALL release() override;

  // ---- IPluginBase (both roles) ----
  tresult QD_VST3_CALL initialize(FUnknown* context) override;
  tresult QD_VST3_CALL terminate() override;

  // ---- IComponent ----
  tresult QD_VST3_CALL getControllerClassId(TUID classId) override;
  tresult QD_VST3_CALL setIoMode(IoMode mode) override;
  int32 QD_VST3_CALL getBusCount(MediaType type, BusDirection dir) override;
  tresult QD_VST3_CALL getBusInfo(MediaType type, BusDirection dir, int32 index,
                                  BusInfo& bus) override;
  tresult QD_VST3_CALL getRoutingInfo(RoutingInfo& inInfo, RoutingInfo& outInfo) override;
  tresult QD_VST3_CALL activateBus(MediaType type, BusDirection dir, int32 index,
                                   TBool state) override;
  tresult QD_VST3_CALL setActive(TBool state) override;

  // ---- IAudioProcessor ----
  tresult QD_VST3_CALL setBusArrangements(SpeakerArrangement* inputs, int32 numIns,
                                          SpeakerArrangement* outputs, int32 numOuts) override;
  tresult QD_VST3_CALL getBusArrangement(BusDirection dir, int32 index,
                                         SpeakerArrangement& arr) override;
  tresult QD_VST3_CALL canProcessSampleSize(int32 symbolicSampleSize) override;
  uint32 QD_VST3_CALL getLatencySamples() override;
  tresult QD_VST3_CALL setupProcessing(ProcessSetup& setup) override;
  tresult QD_VST3_CALL setProcessing(TBool state) override;
  tresult QD_VST3_CALL process(ProcessData& data) override;
  uint32 QD_VST3_CALL getTailSamples() override;

  // ---- IProcessContextRequirements ----
  uint32 QD_VST3_CALL getProcessContextRequirements() override;

  // ---- IEditController ----
  tresult QD_VST3_CALL setComponentState(IBStream* state) override;
  int32 QD_VST3_CALL getParameterCount() override;
  tresult QD_VST3_CALL getParameterInfo(int32 paramIndex, ParameterInfo& info) override;
  tresult QD_VST3_CALL getParamStringByValue(ParamID id, ParamValue valueNormalized,
                                             String128 string) override;
  tresult QD_VST3_CALL getParamValueByString(ParamID id, TChar* string,
                                             ParamValue& valueNormalized) override;
  ParamValue QD_VST3_CALL normalizedParamToPlain(ParamID id, ParamValue valueNormalized) override;
  ParamValue QD_VST3_CALL plainParamToNormalized(ParamID id, ParamValue plainValue) override;
  ParamValue QD_VST3_CALL getParamNormalized(ParamID id) override;
  tresult QD_VST3_CALL setParamNormalized(ParamID id, ParamValue value) override;
  tresult QD_VST3_CALL setComponentHandler(IComponentHandler* handler) override;
  IPlugView* QD_VST3_CALL createView(FIDString name) override;

  // ---- HostServices (called by the plug-in base, mutex held) ----
  bool DeliversEventsAtOnce() const override { return false; }
  double HostTempo() override { return tempo_; }
  bool QueryHost() override;

  // ---- for the view (user-interface thread) ----
  // Delivers the queued outgoing events to the component handler, and lets the plug-in do
  // its idle work. Takes and releases the mutex per event: the handler runs without it.
  void DeliverOutgoingEvents();
  // The view that holds the editor window, or null; a second view cannot attach meanwhile.
  bool ClaimEditor(View* view);
  void ReleaseEditor(View* view);

 protected:
  tresult LoadComponentState(IBStream* state) override;
  tresult SaveComponentState(IBStream* state) override;
  tresult LoadControllerState(IBStream* state) override;
  tresult SaveControllerState(IBStream* state) override;

 private:
  ~Plugin();

  // Parameter index of a host ID, or -1 (the bypass ID included).
  int IndexOf(ParamID id) const;
  // The value parameter `index` takes from a normalised value (snapped, in range).
  double PlainValue(int index, double normalized);
  // Reads the whole stream (from its position) into incoming_; false when it fails or holds
  // more than a state can.
  bool ReadStream(IBStream* stream);
  // Whether incoming_ starts with the header of this plug-in's state.
  bool IncomingHeaderIsValid();
  // Loads incoming_ as component state; on any refusal the state before stays whole.
  tresult LoadIncomingState();
  void ApplyConnections();
  void UseRunLoop(FUnknown* source);
  void DropRunLoop();

  // process() pieces (audio thread, mutex held).
  template <typename Sample>
  void ProcessAudio(ProcessData& data);
  void SetBypass(double normalized) { bypass_ = normalized >= 0.5; }

  std::unique_ptr<PluginBase> plugin_;
  std::atomic<uint32> references_{1};
  FUnknown* hostContext_ = nullptr;
  IComponentHandler* handler_ = nullptr;
  IRunLoop* runLoop_ = nullptr;  // where ticker_ is registered, or null
  Ticker* ticker_ = nullptr;
  uintptr_t timer_ = 0;   // Windows: the thread timer in its place
  View* view_ = nullptr;  // the view whose window is open, or null
  bool initialized_ = false;
  bool active_ = false;
  bool processing_ = false;
  bool bypass_ = false;
  bool inputBusActive_ = true, outputBusActive_ = true;
  SpeakerArrangement inputArrangement_ = SpeakerArr::kStereo;
  int32 sampleSize_ = kSample32;
  double sampleRate_ = 44100.0;
  int32 maxBlock_ = 1024;
  double tempo_ = 0.0;  // of the block being processed; 0 when the host gave none
  ChunkBuffer incoming_;
};

}  // namespace qd::vst3
