// A small plug-in over the base and a binding that records what the base tells the host.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "framework/PluginBase.h"

namespace qd::testing {

struct RecordingHost : HostServices {
  std::vector<std::string> calls;
  double tempo = 0.0;
  void BeginParamEdit(int i) override { Record("begin %d", i); }
  void ReportParamChange(int i, double n) override { Record("change %d %f", i, n); }
  void EndParamEdit(int i) override { Record("end %d", i); }
  template <typename... Args>
  void Record(const char* format, Args... args) {
    char text[64];
    std::snprintf(text, sizeof(text), format, args...);
    calls.emplace_back(text);
  }
  double HostTempo() override { return tempo; }
};

inline PluginIdentity TestIdentity(int params = 3, int presets = 2, const char* io = "1-1 2-2") {
  PluginIdentity id;
  id.paramCount = params;
  id.channelConfig = io;
  id.presetCount = presets;
  id.effectName = "Test";
  id.makerName = "Maker";
  id.version = 0x20006;
  id.uniqueId = 0x44565832;
  id.makerId = 0x51754C6F;
  return id;
}

class TestPlugin : public PluginBase {
 public:
  explicit TestPlugin(const PluginIdentity& id = TestIdentity()) : PluginBase(id) {
    for (int i = 0; i < ParamCount(); ++i) {
      char name[16];
      std::snprintf(name, sizeof(name), "p%d", i);
      GetParam(i)->DefineDouble(name, 0.0, -10.0, 10.0, 0.1, "dB",
                                "", 1.0);
    }
  }
  void ParamChanged(int index, int source) override {
    std::unique_lock<std::recursive_mutex> lock(Mutex(), std::try_to_lock);
    changes.push_back({index, source});
    heldMutex.push_back(lock.owns_lock());
  }
  void ResetProcessing() override { ++resets; }

  struct Change {
    int index, source;
    bool operator==(const Change&) const = default;
  };
  std::vector<Change> changes;
  std::vector<bool> heldMutex;
  int resets = 0;
};

}  // namespace qd::testing
