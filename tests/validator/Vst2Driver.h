// The validator driver for the VST2 module (see Driver.h): instances through the VST2 records,
// processed through the double or the float entry, program and bank chunks as the state, the
// dispatcher's suspend, rate and block-size changes and text entry as the host's calls.
#pragma once

#include <memory>
#include <optional>
#include <utility>

#include "tests/validator/Driver.h"
#include "tests/validator/Harness.h"

namespace qd::validator {

struct Vst2Driver {
  using Sample = double;
  struct State {
    bool program = false;
    std::vector<uint8_t> bytes;
  };
  // VST2 hosts call setParameter from their audio callback as well.
  static constexpr bool kAutomatesOnAudioThread = true;
  // setParameter snaps the value the host reads back, so a restored chunk reads as it did.
  static constexpr bool kRestoreReadsBackAsSaved = true;

  struct Instance {
    explicit Instance(const char* entry = "VSTPluginMain") : plugin(entry) {}

    qd::testing::Instance plugin;
    Precision precision = Precision::kDouble;
    HostBuffers buffers;
    double rate = 44100.0;

    int Channels() const { return 2; }
    double Rate() const { return rate; }
    void Start(double newRate, int block) {
      rate = newRate;
      plugin.Start(static_cast<float>(newRate), block);
    }
    // A VST2 host may switch a running instance on again at another rate and block size.
    void Restart(double newRate, int block) { Start(newRate, block); }
    void SetParam(int index, double normalized) {
      plugin.effect->setParameter(plugin.effect, index, static_cast<float>(normalized));
    }
    std::vector<double> ReadParams() {
      const std::vector<float> v = validator::ReadParams(plugin);
      return std::vector<double>(v.begin(), v.end());
    }
    void Process(std::vector<double> (&in)[2], std::vector<double> (&out)[2], int n) {
      buffers.Resize(n);
      for (int c = 0; c < 2; ++c)
        std::copy(in[c].begin(), in[c].begin() + n, buffers.in[c].begin());
      ProcessBlock(plugin, buffers, n, precision);
      for (int c = 0; c < 2; ++c) {
        std::copy(buffers.out[c].begin(), buffers.out[c].begin() + n, out[c].begin());
      }
    }
    // The host may use either entry for any block.
    void VaryBetweenBlocks(std::mt19937_64& rng) {
      precision = (rng() & 1) ? Precision::kDouble : Precision::kFloat;
    }
    // The record of calls the plug-in made to the host is cut now and then (single-threaded
    // use only: the audio thread adds to it).
    void AfterBlock() {
      if (plugin.host.calls.size() > 100000) plugin.host.calls.clear();
    }
    void MainThreadCycle() {}
    double Ceiling() { return CeilingFor(plugin); }
    bool Bypassed() { return false; }  // a VST2 host bypasses without calling the plug-in
    void ExpectParamsValid() { validator::ExpectParamsValid(plugin); }

    void ExpectEditorSize() {
      ASSERT_NE(plugin.effect->flags & kEffFlagsHasEditor, 0);
      ERect* rect = nullptr;
      ASSERT_EQ(plugin.Dispatch(effEditGetRect, 0, 0, &rect), 1);
      ASSERT_NE(rect, nullptr);
      EXPECT_EQ(rect->right - rect->left, 640);
      EXPECT_EQ(rect->bottom - rect->top, 480);
    }
    void OpenEditor(void* parent) { plugin.Dispatch(effEditOpen, 0, 0, parent); }
    // Idle calls, keys and the display texts a host asks for while the editor is open.
    void EditorIdle(std::mt19937_64& rng) {
      plugin.Dispatch(effEditIdle);
      plugin.Dispatch(effEditKeyDown, static_cast<int32_t>(rng() % 128),
                      static_cast<intptr_t>(rng() % 81), nullptr, 0.0f);
      plugin.Dispatch(effEditKeyUp, static_cast<int32_t>(rng() % 128),
                      static_cast<intptr_t>(rng() % 81), nullptr, 0.0f);
      char text[64] = {};
      plugin.Dispatch(effGetParamDisplay, static_cast<int32_t>(rng() % kParamCount), 0, text);
    }
    void CloseEditor() { plugin.Dispatch(effEditClose); }

    State Save(bool program) { return {program, GetChunk(plugin, program)}; }
    bool Restore(const State& state) { return SetChunk(plugin, state.program, state.bytes) == 1; }
    std::optional<bool> Compare(const State&) { return std::nullopt; }

    // Calls a host makes now and then while it saves and restores states.
    void StateEvents(Seeded& s) {
      const int event = s.Int(0, 19);
      if (event == 6) {
        plugin.Dispatch(effSetProgram, 0, 0);  // the one program, re-selected
      } else if (event == 7) {
        plugin.Dispatch(effMainsChanged, 0, 0);
        plugin.Dispatch(effMainsChanged, 0, 1);
      }
    }
    void BeforeClose(Seeded& s) {
      if (s.Chance(0.3)) plugin.Dispatch(effMainsChanged, 0, 0);  // some hosts suspend first
    }
  };

  // Either exported entry makes the instance; the host switches it on at once.
  std::unique_ptr<Instance> Create(std::mt19937_64& rng, double rate, int block) {
    auto instance = std::make_unique<Instance>((rng() & 1) ? "VSTPluginMain" : "main");
    EXPECT_NE(instance->plugin.effect, nullptr) << qd::testing::Module::Get().Error();
    if (!instance->plugin.effect) return nullptr;
    instance->Start(rate, block);
    return instance;
  }

  std::pair<std::unique_ptr<Instance>, std::unique_ptr<Instance>> CreatePair(Seeded& s, double rate,
                                                                             int block) {
    auto a = Create(s.rng, rate, block);
    auto b = Create(s.rng, rate, block);
    if (!a || !b) return {};
    a->precision = b->precision = s.Chance(0.5) ? Precision::kDouble : Precision::kFloat;
    return {std::move(a), std::move(b)};
  }

  void ExpectInstancesAlive() {}

  // A chunk cut short, extended, or scribbled over.
  State Damage(State state, Seeded& s) {
    std::vector<uint8_t>& chunk = state.bytes;
    switch (s.Int(0, 3)) {
      case 0:
        chunk.resize(static_cast<size_t>(s.Int(0, static_cast<int>(chunk.size()))));
        break;
      case 1:
        for (int k = s.Int(1, 64); k > 0; --k) chunk.push_back(static_cast<uint8_t>(s.Int(0, 255)));
        break;
      default:
        for (int k = s.Int(1, 8); k > 0 && !chunk.empty(); --k) {
          chunk[static_cast<size_t>(s.Int(0, static_cast<int>(chunk.size()) - 1))] =
              static_cast<uint8_t>(s.Int(0, 255));
        }
    }
    return state;
  }

  // Between blocks, what a host does to a running plug-in: suspend and resume, new rates and
  // block sizes, sweeps, values outside 0..1 and not numbers, and text entry.
  void HostileCalls(std::unique_ptr<Instance>& instance, Seeded& s, int& maxBlock) {
    Instance& in = *instance;
    qd::testing::Instance& plugin = in.plugin;
    const int event = s.Int(0, 99);
    if (event < 3) {
      in.rate = s.Chance(0.8) ? s.Pick(HostRates()) : static_cast<float>(s.Real(22050.0, 192000.0));
      plugin.Dispatch(effMainsChanged, 0, 0);
      plugin.Dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(in.rate));
      plugin.Dispatch(effMainsChanged, 0, 1);
    } else if (event < 6) {
      maxBlock = RandomBlockSize(s);
      plugin.Dispatch(effMainsChanged, 0, 0);
      plugin.Dispatch(effSetBlockSize, 0, maxBlock);
      plugin.Dispatch(effMainsChanged, 0, 1);
    } else if (event < 9) {
      plugin.Dispatch(effMainsChanged, 0, 0);
      plugin.Dispatch(effMainsChanged, 0, 1);
    } else if (event < 12) {
      // A sweep of one parameter over its whole range in small steps.
      const int p = s.Int(0, kParamCount - 1);
      for (int k = 0; k <= 20; ++k) plugin.effect->setParameter(plugin.effect, p, k / 20.0f);
    }
    for (int k = s.Int(0, 4); k > 0; --k) {
      plugin.effect->setParameter(plugin.effect, s.Int(0, kParamCount - 1), RandomHostValue(s));
    }
    if (s.Chance(0.05)) {
      // Some hosts set parameters by text.
      const int p = s.Int(0, kParamCount - 1);
      const char* texts[] = {"0", "-3.5", "24",   "1e308",   "-1e308", "nan", "inf",
                             "",  "2x",   "LUFS", "garbage", "on",     "-0"};
      plugin.SetByText(p, texts[s.Int(0, 12)]);
    }
  }
};

}  // namespace qd::validator
