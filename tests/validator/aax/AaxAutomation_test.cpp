// Every parameter entry of the AAX module called with what hosts send, valid or not, while
// audio renders at random block sizes, the transport reports hostile tempos, and the
// instance is recreated at another rate from its saved state (as a host does when the
// session's rate changes).
#include <array>

#include "tests/validator/aax/AaxHarness.h"

namespace qd::validator {
namespace {

// An ID as a host might send it: mostly real, sometimes unknown, empty, long or null.
const char* RandomId(Seeded& s, std::vector<std::string>& storage) {
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
std::string RandomText(Seeded& s) {
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

class AaxAutomation : public AaxValidator {};

TEST_F(AaxAutomation, HostileParameterCallsWhileAudioRunsAtRandomBlockSizesAndRates) {
  Seeded s;
  int component = s.Int(0, 1);
  double rate = s.Pick(HostRates());
  auto instance = Create(component, rate);
  ASSERT_NE(instance, nullptr);
  FloatBuffers b;
  b.Resize(16384);
  Program program;
  std::vector<std::string> idStorage;
  for (int block = 0; block < Iterations(1500); ++block) {
    sim::Instance& host = *instance;
    aax::IEffectParameters* params = host.Params();
    for (int op = s.Int(0, 4); op > 0; --op) {
      const char* id = RandomId(s, idStorage);
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
    ASSERT_NO_FATAL_FAILURE(ExpectParamsValid(host));

    const int n = RandomBlockSize(s);
    Fill(program, b, n, rate);
    std::vector<aax::MidiPacket> midi;
    for (int k = s.Chance(0.1) ? s.Int(1, 4) : 0; k > 0; --k) {
      aax::MidiPacket packet{};
      packet.timestamp = static_cast<uint32_t>(s.Int(0, n + 10));
      packet.length = static_cast<uint32_t>(s.Int(0, 4));
      for (uint8_t& d : packet.data) d = static_cast<uint8_t>(s.Int(0, 255));
      midi.push_back(packet);
    }
    const bool bypassed = Bypassed(host);
    const double ceiling = Ceiling();
    host.Render(b.inputs, b.outputs, n, midi);
    const int channels = component + 1;
    if (bypassed) {
      for (int c = 0; c < channels; ++c) {
        ASSERT_EQ(0, std::memcmp(b.in[c].data(), b.out[c].data(), sizeof(float) * n))
            << "bypassed block " << block << " is not its input";
      }
    } else {
      ASSERT_EQ(CheckBlock(b, n, channels, ceiling), "") << "block " << block;
    }
    if (block % 64 == 0) host.AutomationDelegate().Clear();

    // Now and then the session's rate changes: the host saves the state, creates the
    // instance anew at the new rate and restores the state into it.
    if (s.Chance(0.01)) {
      host.DeliverAutomation();
      aax::Result saved = -1;
      const std::vector<uint8_t> chunk = host.SaveChunk(&saved);
      ASSERT_EQ(saved, aax::kSuccess);
      instance.reset();
      component = s.Int(0, 1);
      rate = s.Pick(HostRates());
      instance = Create(component, rate);
      ASSERT_NE(instance, nullptr);
      ASSERT_EQ(instance->RestoreChunk(chunk), aax::kSuccess);
      instance->DeliverAutomation();
      EXPECT_EQ(instance->SaveChunk(), chunk) << "state lost across the restart at block " << block;
    }
  }
}

}  // namespace
}  // namespace qd::validator
