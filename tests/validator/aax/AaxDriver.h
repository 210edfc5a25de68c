// The validator driver for the AAX module (see Driver.h): instances made by the simulated
// host (mono or stereo, chosen per instance), float buffers through the render procedure,
// automation delivered after every block as the host does, the chunk record as the state,
// and the parameter manager's entries (by ID, valid or not) as the host's calls.
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <utility>

#include "tests/validator/Driver.h"
#include "tests/validator/aax/AaxHarness.h"

namespace qd::validator {

// An ID as a host might send it: mostly real, sometimes unknown, empty, long or null.
inline const char* RandomId(Seeded& s, std::vector<std::string>& storage) {
  static const std::vector<std::string> unknown = {
      "", "0", "13", "99", "-1", "1 ", "MasterBypassI", "01", std::string(300, '7')};
  storage.clear();
  switch (s.Int(0, 9)) {
    case 0:
      return nullptr;
    case 1:
      storage.push_back(s.Pick(unknown));
      return storage.back().c_str();
    case 2:
      return kAaxBypassId;
    default:
      storage.push_back(AaxParamId(s.Int(0, kParamCount - 1)));
      return storage.back().c_str();
  }
}

// A text a host or a user might type into a value field.
inline std::string RandomText(Seeded& s) {
  static const std::vector<std::string> texts = {"",       "0",
                                                 "-6",     "-3.5",
                                                 "2x",     "4X",
                                                 "off",    "on",
                                                 "1e308",  "-1e308",
                                                 "nan",    "inf",
                                                 "-inf",   "dBFS",
                                                 "RMS",    "LUFS",
                                                 "Off",    "0x10",
                                                 "   ",    "-0",
                                                 "1e-320", "12345678901234567890"};
  if (s.Chance(0.8)) return s.Pick(texts);
  std::string garbage(static_cast<size_t>(s.Int(0, 40)), ' ');
  for (char& c : garbage) c = static_cast<char>(s.Int(1, 255));
  return garbage;
}

// Fills the text buffer with a marker, lets `write` fill at most `outSize` bytes, and
// checks nothing past them was touched and, when it succeeded, the text ends inside them.
template <typename Write>
void ExpectTextWithin(Write&& write, int32_t outSize) {
  std::array<char, 80> text;
  text.fill('#');
  const aax::Result result = write(text.data(), outSize);
  for (size_t k = static_cast<size_t>(std::max(outSize, 0)); k < text.size(); ++k) {
    ASSERT_EQ(text[k], '#') << "byte " << k << " written beyond the room of " << outSize;
  }
  if (result == aax::kSuccess && outSize > 0) {
    ASSERT_NE(std::memchr(text.data(), '\0', static_cast<size_t>(outSize)), nullptr)
        << "text not terminated within " << outSize << " bytes";
  }
}

struct AaxDriver {
  using Sample = float;
  // The one chunk record (the program flag means nothing here).
  struct State {
    bool program = false;
    std::vector<uint8_t> bytes;
  };
  // AAX hosts set parameters from their main thread; the render procedure reads them.
  static constexpr bool kAutomatesOnAudioThread = false;
  // The host's parameter objects keep the normalised value the host set, while the chunk
  // holds the plug-in's stepped values: after a restore the host reads those. The chunk
  // itself restores byte for byte.
  static constexpr bool kRestoreReadsBackAsSaved = false;

  struct Instance {
    std::unique_ptr<sim::Instance> instance;
    int channels = 2;
    double rate = 44100.0;
    int blocks = 0;
    // MIDI the host hands the next render; a timestamp is taken modulo the block's length
    // plus 11, so some fall past the block's end.
    std::vector<aax::MidiPacket> midi;

    int Channels() const { return channels; }
    double Rate() const { return rate; }
    void Restart(double, int) {}  // the rate is the instance's for its life
    void SetParam(int index, double normalized) {
      instance->Params()->UpdateParameterNormalizedValue(AaxParamId(index).c_str(), normalized, 0);
    }
    std::vector<double> ReadParams() { return validator::ReadParams(*instance); }
    void Process(std::vector<float> (&in)[2], std::vector<float> (&out)[2], int n) {
      float* inputs[2] = {in[0].data(), in[1].data()};
      float* outputs[2] = {out[0].data(), out[1].data()};
      for (aax::MidiPacket& packet : midi) {
        packet.timestamp %= static_cast<uint32_t>(n + 11);
      }
      instance->Render(inputs, outputs, n, midi);
      midi.clear();
    }
    void VaryBetweenBlocks(std::mt19937_64&) {}
    // The host delivers what the plug-in posted; its record of them is cleared now and then.
    void AfterBlock() {
      instance->DeliverAutomation();
      if (++blocks % 64 == 0) instance->AutomationDelegate().Clear();
    }
    void MainThreadCycle() { AfterBlock(); }
    double Ceiling() { return validator::Ceiling(); }
    bool Bypassed() { return validator::Bypassed(*instance); }
    void ExpectParamsValid() { validator::ExpectParamsValid(*instance); }

    void ExpectEditorSize() {}  // the host takes the view's size from the view itself
    void OpenEditor(void* parent) { instance->OpenEditor(parent); }
    // The host's timer, and the display texts it asks for while the editor is open.
    void EditorIdle(std::mt19937_64& rng) {
      instance->EditorTimer();
      const std::string id = AaxParamId(static_cast<int>(rng() % kParamCount));
      char text[32];
      instance->Params()->GetParameterValueString(id.c_str(), text, 31, sizeof(text));
    }
    void CloseEditor() { instance->CloseEditor(); }

    State Save(bool program) {
      aax::Result result = -1;
      std::vector<uint8_t> bytes = instance->SaveChunk(&result);
      if (result != aax::kSuccess) bytes.clear();
      return {program, std::move(bytes)};
    }
    bool Restore(const State& state) {
      return instance->RestoreChunk(state.bytes) == aax::kSuccess;
    }
    std::optional<bool> Compare(const State& state) { return instance->CompareChunk(state.bytes); }

    void StateEvents(Seeded&) {}
    void BeforeClose(Seeded&) {}
  };

  // The test fixture that owns the loaded module.
  explicit AaxDriver(AaxValidator& fixture) : fixture_(fixture) {}

  // Mono or stereo; the rate is fixed for the instance's life (AAX announces no block size).
  std::unique_ptr<Instance> Create(std::mt19937_64& rng, double rate, int) {
    const int component = static_cast<int>(rng() % 2);
    auto made = fixture_.CreateInstance(component, rate);
    if (!made || made->InitializeResult() != aax::kSuccess) return nullptr;
    auto instance = std::make_unique<Instance>();
    instance->instance = std::move(made);
    instance->channels = component + 1;
    instance->rate = rate;
    return instance;
  }

  std::pair<std::unique_ptr<Instance>, std::unique_ptr<Instance>> CreatePair(Seeded& s, double rate,
                                                                             int) {
    const int component = s.Int(0, 1);
    auto a = std::make_unique<Instance>();
    auto b = std::make_unique<Instance>();
    a->instance = fixture_.CreateInstance(component, rate);
    b->instance = fixture_.CreateInstance(component, rate);
    if (!a->instance || !b->instance) return {};
    a->channels = b->channels = component + 1;
    a->rate = b->rate = rate;
    return {std::move(a), std::move(b)};
  }

  void ExpectInstancesAlive() { EXPECT_GT(fixture_.Module().Api().canUnloadNow(), 0); }

  // A chunk from a damaged project: its bytes flipped, cut short, replaced or given another
  // ID, always with a size that matches the bytes the host holds.
  State Damage(State state, Seeded& s) {
    std::vector<uint8_t>& record = state.bytes;
    auto* chunk = reinterpret_cast<aax::ChunkRecord*>(record.data());
    const size_t dataSize = static_cast<size_t>(chunk->size);
    switch (s.Int(0, 4)) {
      case 0:  // flipped bytes in the data
        for (int k = s.Int(1, 8); k > 0 && dataSize > 0; --k) {
          record[aax::kChunkHeaderSize + static_cast<size_t>(s.Int(0, int(dataSize) - 1))] ^=
              static_cast<uint8_t>(s.Int(1, 255));
        }
        break;
      case 1: {  // cut short
        const int keep = s.Int(0, static_cast<int>(dataSize));
        chunk->size = keep;
        record.resize(aax::kChunkHeaderSize + static_cast<size_t>(keep));
        break;
      }
      case 2: {  // other bytes altogether
        const int size = s.Int(0, 300);
        record.resize(aax::kChunkHeaderSize + static_cast<size_t>(size));
        chunk = reinterpret_cast<aax::ChunkRecord*>(record.data());
        chunk->size = size;
        for (size_t k = aax::kChunkHeaderSize; k < record.size(); ++k) {
          record[k] = static_cast<uint8_t>(s.Int(0, 255));
        }
        break;
      }
      case 3:  // another plug-in's chunk ID
        chunk->chunkId = static_cast<uint32_t>(s.rng());
        break;
      default:  // a negative size: no data
        chunk->size = -s.Int(1, 1 << 30);
        record.resize(aax::kChunkHeaderSize);
        break;
    }
    return state;
  }

  // Every parameter entry called with what hosts send, valid or not; the transport reporting
  // hostile tempos; and now and then the session's rate changing: the host saves the state,
  // creates the instance anew at the new rate and restores the state into it. AAX announces
  // no maximum block, so any size may come.
  void HostileCalls(std::unique_ptr<Instance>& instance, Seeded& s, int& maxBlock) {
    maxBlock = 16384;
    sim::Instance& host = *instance->instance;
    aax::IEffectParameters* params = host.Params();
    for (int op = s.Int(0, 4); op > 0; --op) {
      const char* id = RandomId(s, idStorage_);
      switch (s.Int(0, 8)) {
        case 0:
          params->UpdateParameterNormalizedValue(id, RandomHostValue(s), s.Int(-1, 3));
          break;
        case 1:  // an edit from the host's own controls: posted, delivered on its next cycle
          params->SetParameterNormalizedValue(id, RandomHostValue(s));
          break;
        case 2:
          params->SetParameterNormalizedRelative(id, RandomHostValue(s) - 0.5);
          break;
        case 3:
          params->TouchParameter(id);
          params->UpdateParameterTouch(id, s.Chance(0.5));
          params->ReleaseParameter(id);
          break;
        case 4: {
          const int32_t maxLength = s.Int(-5, 40);
          ASSERT_NO_FATAL_FAILURE(ExpectTextWithin(
              [&](char* out, int32_t size) {
                return params->GetParameterValueString(id, out, maxLength, size);
              },
              s.Int(0, 64)));
          break;
        }
        case 5: {
          const double value = RandomHostValue(s);
          const int32_t maxLength = s.Int(-5, 40);
          ASSERT_NO_FATAL_FAILURE(ExpectTextWithin(
              [&](char* out, int32_t size) {
                return params->GetParameterStringFromValue(id, value, out, maxLength, size);
              },
              s.Int(0, 64)));
          break;
        }
        case 6: {
          const std::string text = RandomText(s);
          double n = -7.0;
          const bool nullText = s.Chance(0.05);
          if (params->GetParameterValueFromString(id, &n, nullText ? nullptr : text.c_str()) ==
              aax::kSuccess) {
            ASSERT_TRUE(std::isfinite(n) && n >= 0.0 && n <= 1.0)
                << "\"" << text << "\" for " << (id ? id : "(null)") << " gives " << n;
          }
          break;
        }
        case 7: {
          static const std::vector<double> tempos = {
              120.0, 0.0,   -5.0,  1e9,          1e-9,
              33.3,  300.0, 999.0, std::nan(""), std::numeric_limits<double>::infinity()};
          host.HostTransport().tempo = s.Pick(tempos);
          host.HostTransport().playing = s.Chance(0.5);
          break;
        }
        default: {
          uint8_t data[8] = {};
          for (uint8_t& d : data) d = static_cast<uint8_t>(s.Int(0, 255));
          const uint32_t type =
              s.Chance(0.5) ? aax::kNotificationPreview : static_cast<uint32_t>(s.rng());
          params->NotificationReceived(type, s.Chance(0.2) ? nullptr : data,
                                       static_cast<uint32_t>(s.Int(0, 8)));
          break;
        }
      }
    }
    if (s.Chance(0.7)) host.DeliverAutomation();
    for (int k = s.Chance(0.1) ? s.Int(1, 4) : 0; k > 0; --k) {
      aax::MidiPacket packet{};
      packet.timestamp = static_cast<uint32_t>(s.Int(0, 1 << 20));
      packet.length = static_cast<uint32_t>(s.Int(0, 4));
      for (uint8_t& d : packet.data) d = static_cast<uint8_t>(s.Int(0, 255));
      instance->midi.push_back(packet);
    }

    if (s.Chance(0.01)) {
      host.DeliverAutomation();
      const State saved = instance->Save(false);
      ASSERT_FALSE(saved.bytes.empty());
      instance.reset();
      instance = Create(s.rng, s.Pick(HostRates()), 0);
      ASSERT_NE(instance, nullptr);
      ASSERT_TRUE(instance->Restore(saved));
      instance->instance->DeliverAutomation();
      EXPECT_EQ(instance->Save(false).bytes, saved.bytes) << "state lost across the restart";
    }
  }

 private:
  AaxValidator& fixture_;
  std::vector<std::string> idStorage_;
};

}  // namespace qd::validator
