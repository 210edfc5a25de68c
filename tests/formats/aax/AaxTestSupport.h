// The plug-in observed from inside, an editor stand-in, and an in-process instance over
// the binding library, for the AAX binding's tests.
#pragma once

#include <memory>
#include <vector>

#include "SimHost.h"
#include "effect/QuarloDorvantix.h"
#include "formats/aax/AaxDescription.h"
#include "formats/aax/AaxGui.h"
#include "formats/aax/PluginAax.h"

namespace aaxtest {

// The real plug-in, with what the binding makes it do recorded.
class ObservedPlugin : public qd::QuarloDorvantix {
 public:
  ObservedPlugin() : QuarloDorvantix(qd::kFormatAax) {}
  struct Change {
    int index, source;
    bool operator==(const Change&) const = default;
  };
  void ParamChanged(int index, int source) override {
    changes.push_back({index, source});
    QuarloDorvantix::ParamChanged(index, source);
  }
  void ResetProcessing() override {
    ++resets;
    QuarloDorvantix::ResetProcessing();
  }
  void SetMaxBlockSize(int n) override {
    if (n != MaxBlockSize()) blockSizes.push_back(n);
    QuarloDorvantix::SetMaxBlockSize(n);
  }
  void ProcessAudio(double** inputs, double** outputs, int nFrames) override {
    ++processCalls;
    lastInput1.assign(inputs[1], inputs[1] + nFrames);
    QuarloDorvantix::ProcessAudio(inputs, outputs, nFrames);
  }
  void OnMidiMessage(const qd::ShortMidiEvent& event) override { midi.push_back(event); }

  std::vector<Change> changes;
  std::vector<int> blockSizes;
  std::vector<double> lastInput1;
  std::vector<qd::ShortMidiEvent> midi;
  int resets = 0;
  int processCalls = 0;
};

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
struct LocalInstance {
  explicit LocalInstance(int32_t stem = aax::kStemStereo, bool withEditor = false,
                         double rate = 44100.0) {
    auto owned = std::make_unique<ObservedPlugin>();
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

  ObservedPlugin* plugin = nullptr;
  FakeEditor* editor = nullptr;
  qd::AAX_CPluginParameters* params = nullptr;  // owned by the host's reference
  std::unique_ptr<sim::Instance> host;
};

}  // namespace aaxtest
