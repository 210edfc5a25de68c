// What a format binding does for the plug-in base: tell the host about parameter gestures,
// ask it for time information, send MIDI. The base forwards its binding operations here;
// without a binding they answer "nothing" (0, false). Called with the plug-in mutex held,
// from the audio thread (tempo, MIDI, automation) as well as the user-interface thread.
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
  virtual void BeginParamEdit(int index) = 0;
  virtual void ReportParamChange(int index, double normalized) = 0;
  virtual void EndParamEdit(int index) = 0;
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
  virtual void EditorAttached(PluginEditor*) {}
  virtual void LatencyChanged(int) {}

 protected:
  ~HostServices() = default;
};

}  // namespace qd
