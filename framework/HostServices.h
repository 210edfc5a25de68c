// What a format binding does for the plug-in base: deliver the plug-in's outgoing parameter
// events to the host, ask it for time information, send MIDI. The base forwards its binding
// operations here; without a binding they answer "nothing" (0, false).
//
// Threads: every call comes from the plug-in base with the plug-in mutex held. The time
// queries and MIDI come from the audio thread inside a block; the event deliveries from the
// thread that posted the event (the audio thread for the engine's own changes, the editor
// thread for gestures); the rest from the host's main thread. An implementation must not
// allocate or block in the audio-thread calls beyond what its host's API does.
#pragma once

#include <cstdint>

namespace qd {

struct ShortMidiEvent {
  int32_t offset = 0;
  uint8_t status = 0, data1 = 0, data2 = 0;
};

struct SysExEvent {
  int32_t offset = 0;
  int32_t size = 0;
  const uint8_t* bytes = nullptr;
};

// Filled by HostTransport; a field keeps its previous content when the host marks it invalid.
struct TransportInfo {
  double tempo = 0.0;
  double samplePosition = 0.0;
  double ppqPosition = 0.0;
  double lastBarStart = 0.0;
  double cycleStart = 0.0;
  double cycleEnd = 0.0;
  int32_t timeSigNumerator = 0;
  int32_t timeSigDenominator = 0;
  bool playing = false;
  bool cycleActive = false;
};

class PluginEditor;

class HostServices {
 public:
  // Whether the base delivers each outgoing event at once, on the posting thread, through the
  // three calls below (VST2, AAX: their hosts take gestures and values from any thread).
  // A binding that answers false takes them itself with PluginBase::PopOutgoingEvent from
  // its process call or user-interface thread (a format that reports changes there).
  virtual bool DeliversEventsAtOnce() const { return true; }
  // The outgoing events, in the order they were posted.
  virtual void BeginParamEdit(int /*index*/) {}
  virtual void ReportParamChange(int /*index*/, double /*normalized*/) {}
  virtual void EndParamEdit(int /*index*/) {}
  // The current preset's name or contents changed (host's main thread).
  virtual void ReportPresetChange() {}
  virtual bool HostIsOffline() { return false; }
  virtual int64_t HostSamplePosition() { return 0; }
  virtual double HostTempo() { return 0.0; }
  virtual void HostTimeSignature(int* num, int* den) {
    *num = 0;
    *den = 0;
  }
  virtual void HostTransport(TransportInfo*) {}
  // Asks the host for its name and version and calls PluginBase::SetHost; returns false
  // when the binding has no way to ask.
  virtual bool QueryHost() { return false; }
  virtual void ResizeEditor(int, int) {}
  virtual bool SendMidiToHost(const ShortMidiEvent&) { return false; }
  virtual bool SendSysExToHost(const SysExEvent&) { return false; }
  // The editor was attached (creating thread) and the latency changed (main thread).
  virtual void EditorAttached(PluginEditor*) {}
  virtual void LatencyChanged(int) {}

 protected:
  ~HostServices() = default;
};

}  // namespace qd
