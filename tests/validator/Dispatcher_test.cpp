// Every dispatcher opcode from -1 to 200 with random index, value and pointer arguments,
// where a pointer is either null or a valid buffer (zeroed, or holding random terminated
// text). Opcodes whose value carries a pointer or a byte count get one that fits the
// buffer, as the calling convention requires. Audio runs in between; the instance must
// stay usable throughout and afterwards.
#include <cstring>
#include <memory>

#include "tests/validator/Harness.h"

namespace qd::validator {
namespace {

constexpr size_t kBufferBytes = 4096;

struct Arguments {
  std::vector<uint8_t> buffer = std::vector<uint8_t>(kBufferBytes);
  std::vector<uint8_t> second = std::vector<uint8_t>(kBufferBytes);
  VstMidiEvent midi{};
  struct {
    int32_t numEvents;
    intptr_t reserved;
    VstEvent* events[8];
  } events{};
};

void FillText(std::vector<uint8_t>& buffer, Seeded& s) {
  static const char* const words[] = {"receiveVstTimeInfo",
                                      "hasCockosExtensions",
                                      "2x",
                                      "LUFS",
                                      "-3.5",
                                      "1e400",
                                      "nan",
                                      "bypass",
                                      "sendVstEvents",
                                      "0"};
  std::string text = s.Chance(0.5) ? words[s.Int(0, 9)] : "";
  for (int k = s.Int(0, s.Chance(0.1) ? 3000 : 40); k > 0; --k) {
    text.push_back(static_cast<char>(s.Int(1, 255)));
  }
  std::fill(buffer.begin(), buffer.end(), 0);
  std::memcpy(buffer.data(), text.data(), std::min(text.size(), kBufferBytes - 1));
}

intptr_t RandomValue(Seeded& s) {
  switch (s.Int(0, 4)) {
    case 0:
      return 0;
    case 1:
      return s.Int(-2, 2);
    case 2:
      return s.Int(0, 100000);
    case 3:
      return std::numeric_limits<intptr_t>::min() + s.Int(0, 3);
    default:
      return static_cast<intptr_t>(s.rng());
  }
}

// One call with random arguments that keep to the calling convention.
intptr_t CallRandomly(Instance& plugin, int32_t opcode, Arguments& a, Seeded& s) {
  const int32_t index = s.Chance(0.5) ? s.Int(-2, 20) : static_cast<int32_t>(s.rng());
  intptr_t value = RandomValue(s);
  const float opt = s.Chance(0.7) ? static_cast<float>(s.Real(-1e6, 2e5)) : RandomHostValue(s);
  void* ptr = nullptr;
  if (s.Chance(0.8)) {
    if (s.Chance(0.5)) {
      std::fill(a.buffer.begin(), a.buffer.end(), 0);
    } else {
      FillText(a.buffer, s);
    }
    ptr = a.buffer.data();
  }
  switch (opcode) {
    case effClose:
      return 0;  // the instance closes only at the end
    case effSetChunk:
      // The value is the byte count of the data behind the pointer.
      value = ptr ? s.Int(0, static_cast<int>(kBufferBytes)) : s.Int(0, 1 << 20);
      break;
    case effProcessEvents:
      // The pointer, when given, points at an event list.
      if (ptr) {
        a.midi = {};
        a.midi.type = kVstMidiType;
        a.midi.byteSize = sizeof(VstMidiEvent);
        a.midi.deltaFrames = s.Int(-10, 5000);
        for (char& byte : a.midi.midiData) byte = static_cast<char>(s.Int(0, 255));
        a.events.numEvents = s.Int(0, 8);
        for (VstEvent*& e : a.events.events) {
          e = s.Chance(0.8) ? reinterpret_cast<VstEvent*>(&a.midi) : nullptr;
        }
        ptr = &a.events;
      }
      break;
    case effSetSpeakerArrangement:
    case effGetSpeakerArrangement:
      // The value carries a pointer, like ptr.
      if (s.Chance(0.5)) {
        FillText(a.second, s);
        value = reinterpret_cast<intptr_t>(a.second.data());
      } else {
        value = 0;
      }
      break;
    case effEditOpen:
      // The pointer names the host's window; there is none here.
      ptr = nullptr;
      break;
    default:
      break;
  }
  return plugin.Dispatch(opcode, index, value, ptr, opt);
}

void ExpectUsable(Instance& plugin, HostBuffers& b, Program& program, const std::string& when) {
  ASSERT_NO_FATAL_FAILURE(ExpectParamsValid(plugin)) << when;
  const int n = 256;
  Fill(program, b, n, 44100.0);
  const double ceiling = CeilingFor(plugin);
  ProcessBlock(plugin, b, n, Precision::kFloat);
  ASSERT_EQ(CheckBlock(b, n, ceiling), "") << when;
}

TEST(Dispatcher, EveryOpcodeWithRandomArguments) {
  Seeded s;
  for (int round = 0; round < Iterations(4); ++round) {
    auto plugin = std::make_unique<Instance>();
    plugin->Start(44100.0f, 512);
    Arguments args;
    HostBuffers b;
    b.Resize(4096);
    Program program;
    for (int32_t opcode = -1; opcode <= 200; ++opcode) {
      for (int k = 0; k < 25; ++k) {
        CallRandomly(*plugin, opcode, args, s);
        // The host may have changed rate, block size or activation: a block at the
        // announced size must still be sound.
        ASSERT_NO_FATAL_FAILURE(
            ExpectUsable(*plugin, b, program, "after opcode " + std::to_string(opcode)));
      }
    }
    // Then in random order, as a confused host would.
    for (int k = 0; k < 3000; ++k) {
      const int32_t opcode = s.Int(-1, 200);
      CallRandomly(*plugin, opcode, args, s);
      if (k % 10 == 0) {
        ASSERT_NO_FATAL_FAILURE(
            ExpectUsable(*plugin, b, program, "after random opcode " + std::to_string(opcode)));
      }
    }
    // The state still round-trips and the instance closes cleanly.
    const std::vector<uint8_t> chunk = GetChunk(*plugin, true);
    ASSERT_FALSE(chunk.empty());
    EXPECT_EQ(SetChunk(*plugin, true, chunk), 1);
    plugin.reset();
  }
}

}  // namespace
}  // namespace qd::validator
