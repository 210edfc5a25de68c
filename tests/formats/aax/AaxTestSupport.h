// The plug-in observed from inside, an editor stand-in, and an in-process instance over
// the binding library, for the AAX binding's tests.
#pragma once

#include <cstdio>
#include <memory>
#include <type_traits>
#include <utility>
#include <vector>

#include "SimHost.h"
#include "effect/Parameters.h"
#include "effect/QuarloDorvantix.h"
#include "formats/aax/AaxDescription.h"
#include "formats/aax/AaxGui.h"
#include "formats/aax/PluginAax.h"

namespace aaxtest {

// A plug-in with what the binding makes it do recorded.
template <typename Base>
class Observed : public Base {
 public:
  template <typename... Args>
  explicit Observed(Args&&... args) : Base(std::forward<Args>(args)...) {}
  struct Change {
    int index, source;
    bool operator==(const Change&) const = default;
  };
  void ParamChanged(int index, int source) override {
    changes.push_back({index, source});
    Base::ParamChanged(index, source);
  }
  void ResetProcessing() override {
    ++resets;
    Base::ResetProcessing();
  }
  void SetMaxBlockSize(int n) override {
    if (n != this->MaxBlockSize()) blockSizes.push_back(n);
    Base::SetMaxBlockSize(n);
  }
  void ProcessAudio(double** inputs, double** outputs, int nFrames) override {
    ++processCalls;
    lastInput1.assign(inputs[1], inputs[1] + nFrames);
    Base::ProcessAudio(inputs, outputs, nFrames);
  }
  void OnMidiMessage(const qd::ShortMidiEvent& event) override { midi.push_back(event); }

  std::vector<Change> changes;
  std::vector<int> blockSizes;
  std::vector<double> lastInput1;
  std::vector<qd::ShortMidiEvent> midi;
  int resets = 0;
  int processCalls = 0;
};

// The plug-in's identity and parameter kinds over the bare base, with no editor of its
// own, so that a test editor can be attached without replacing the plug-in's editor.
class SmallPlugin : public qd::PluginBase {
 public:
  SmallPlugin() : PluginBase(Identity()) {
    for (int i = 0; i < ParamCount(); ++i) {
      qd::PluginParam* p = GetParam(i);
      if (i == qd::kLimiterOversample) {
        p->DefineEnum("Limiter Oversample", 0, 3, "", "");
        p->AddDisplayText(0, "off");
        p->AddDisplayText(1, "2x");
        p->AddDisplayText(2, "4x");
      } else {
        char name[16];
        std::snprintf(name, sizeof(name), "p%d", i);
        p->DefineDouble(name, 0.0, -10.0, 10.0, 0.1, "dB", "", 1.0);
      }
    }
  }

 private:
  static qd::PluginIdentity Identity() {
    qd::PluginIdentity id;
    id.paramCount = qd::kNumParams;
    id.channelConfig = qd::kChannelConfig;
    id.presetCount = 1;
    id.effectName = qd::kEffectName;
    id.makerName = qd::kMakerName;
    id.version = qd::kPluginVersion;
    id.uniqueId = qd::kPluginUniqueId;
    id.makerId = qd::kPluginManufacturerId;
    id.doesMidi = true;
    return id;
  }
};

using ObservedPlugin = Observed<qd::QuarloDorvantix>;
using ObservedSmallPlugin = Observed<SmallPlugin>;

class FakeEditor : public qd::PluginEditor {
 public:
  void PrepareDraw() override {}
  void UpdateParamControls(int index, double value, bool normalized) override {
    updates.push_back({index, value, normalized});
  }
  void UpdateControlValue(int, double) override {}
  void GrayParamControls(int, bool) override {}
  void MarkAllControlsDirty() override {}
  int Width() const override { return 640; }
  int Height() const override { return 480; }
  void* OpenWindow(void* parent) override {
    ++opens;
    lastParent = parent;
    open = true;
    return this;
  }
  void CloseWindow() override {
    ++closes;
    open = false;
  }
  bool WindowIsOpen() override { return open; }

  struct Update {
    int index;
    double value;
    bool normalized;
  };
  std::vector<Update> updates;
  int opens = 0, closes = 0;
  void* lastParent = nullptr;
  bool open = false;
};

// The GUI create procedure of the binding library.
inline aax::IUnknown* CreateGui() {
  return static_cast<aax::IEffectGui*>(new qd::AAX_CEffectGUI_Plugin());
}

// An instance over the binding library with an observed plug-in (and, if asked, a fake
// editor attached), rendered through the library's render procedure.
template <typename Plugin>
struct LocalInstanceOf {
  explicit LocalInstanceOf(int32_t stem = aax::kStemStereo, bool withEditor = false,
                           double rate = 44100.0) {
    std::unique_ptr<Plugin> owned;
    if constexpr (std::is_same_v<Plugin, ObservedPlugin>) {
      owned = std::make_unique<Plugin>(qd::PortLabels::kPerBus);
    } else {
      owned = std::make_unique<Plugin>();
    }
    plugin = owned.get();
    if (withEditor) {
      auto e = std::make_unique<FakeEditor>();
      editor = e.get();
      plugin->AttachEditor(std::move(e));
    }
    params = new qd::AAX_CPluginParameters(std::move(owned));
    host = std::make_unique<sim::Instance>(static_cast<aax::IEffectParameters*>(params),
                                           &qd::RenderDispatch, &CreateGui, stem, stem, rate);
  }
  sim::Instance* operator->() { return host.get(); }

  Plugin* plugin = nullptr;
  FakeEditor* editor = nullptr;
  qd::AAX_CPluginParameters* params = nullptr;  // owned by the host's reference
  std::unique_ptr<sim::Instance> host;
};

// The real plug-in (with whatever editor it builds for itself).
using LocalInstance = LocalInstanceOf<ObservedPlugin>;
// The small plug-in, to which a test editor may be attached.
using SmallInstance = LocalInstanceOf<ObservedSmallPlugin>;

}  // namespace aaxtest
