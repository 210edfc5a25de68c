// Drives the built QuarloDorvantix.so through its entry point and the VST2 records, as a
// host does: identity, texts, parameters, state chunks, processing and host requests.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <set>
#include <thread>
#include <vector>

#include "tests/formats/vst2/TestHost.h"

namespace qd::testing {
namespace {

using namespace vst2;

constexpr int kOutputLevel = 7;

// A stereo test signal: two detuned tones with a slow swell, peaking near `peak`.
std::vector<std::vector<double>> Signal(int frames, double peak, double rate = 44100.0) {
  std::vector<std::vector<double>> s(2, std::vector<double>(frames));
  for (int i = 0; i < frames; ++i) {
    const double t = i / rate;
    const double swell = 0.75 + 0.25 * std::sin(2.0 * M_PI * 0.7 * t);
    s[0][i] = peak * swell *
              (0.6 * std::sin(2.0 * M_PI * 110.0 * t) + 0.4 * std::sin(2.0 * M_PI * 553.0 * t));
    s[1][i] =
        peak * swell *
        (0.6 * std::sin(2.0 * M_PI * 111.0 * t + 0.5) + 0.4 * std::sin(2.0 * M_PI * 557.0 * t));
  }
  return s;
}

enum class Path { kDouble, kFloat, kAccumulate };

// Processes `in` in blocks of `block` frames through one entry and returns the output.
// For the accumulating entry the output buffers start at `preset`.
std::vector<std::vector<double>> RunThrough(Instance& plugin,
                                            const std::vector<std::vector<double>>& in, int block,
                                            Path path, float preset = 0.0f) {
  const int frames = static_cast<int>(in[0].size());
  std::vector<std::vector<double>> out(2, std::vector<double>(frames));
  std::vector<std::vector<double>> inD(2), outD(2);
  std::vector<std::vector<float>> inF(2), outF(2);
  for (int pos = 0; pos < frames; pos += block) {
    const int n = std::min(block, frames - pos);
    plugin.host.processing = true;
    if (path == Path::kDouble) {
      for (int c = 0; c < 2; ++c) {
        inD[c].assign(in[c].begin() + pos, in[c].begin() + pos + n);
        outD[c].assign(n, 0.0);
      }
      double* ip[2] = {inD[0].data(), inD[1].data()};
      double* op[2] = {outD[0].data(), outD[1].data()};
      plugin.effect->processDoubleReplacing(plugin.effect, ip, op, n);
      for (int c = 0; c < 2; ++c) std::copy(outD[c].begin(), outD[c].end(), out[c].begin() + pos);
    } else {
      for (int c = 0; c < 2; ++c) {
        inF[c].assign(n, 0.0f);
        for (int k = 0; k < n; ++k) inF[c][k] = static_cast<float>(in[c][pos + k]);
        outF[c].assign(n, path == Path::kAccumulate ? preset : 0.0f);
      }
      float* ip[2] = {inF[0].data(), inF[1].data()};
      float* op[2] = {outF[0].data(), outF[1].data()};
      if (path == Path::kFloat) {
        plugin.effect->processReplacing(plugin.effect, ip, op, n);
      } else {
        plugin.effect->process(plugin.effect, ip, op, n);
      }
      for (int c = 0; c < 2; ++c) {
        for (int k = 0; k < n; ++k) out[c][pos + k] = outF[c][k];
      }
    }
    plugin.host.processing = false;
  }
  return out;
}

// True while the effect still copies its input: tests of engine behaviour skip then.
bool EngineIsPassThrough() {
  Instance plugin;
  plugin.Start();
  const auto in = Signal(4096, 1.5);
  const auto out = RunThrough(plugin, in, 512, Path::kDouble);
  return out == in;
}

double MaxDifference(const std::vector<std::vector<double>>& a,
                     const std::vector<std::vector<double>>& b) {
  double worst = 0.0;
  for (size_t c = 0; c < a.size(); ++c) {
    for (size_t i = 0; i < a[c].size(); ++i) worst = std::max(worst, std::fabs(a[c][i] - b[c][i]));
  }
  return worst;
}

TEST(Vst2Module, LoadsAndBothEntryPointsCreateInstances) {
  ASSERT_NE(Module::Get().Handle(), nullptr) << Module::Get().Error();
  for (const char* entry : {"VSTPluginMain", "main"}) {
    Instance plugin(entry);
    ASSERT_NE(plugin.effect, nullptr) << entry;
    EXPECT_EQ(plugin.effect->magic, kEffectMagic);
    EXPECT_TRUE(plugin.host.calls.empty()) << "the host is not queried at creation";
  }
}

TEST(Vst2Module, ExportsOnlyTheTwoEntryPoints) {
  char command[4096];
  std::snprintf(command, sizeof(command), "nm -D --defined-only '%s'", QD_VST2_MODULE_PATH);
  FILE* pipe = popen(command, "r");
  ASSERT_NE(pipe, nullptr);
  std::set<std::string> symbols;
  char line[1024];
  while (std::fgets(line, sizeof(line), pipe)) {
    char address[64], type[8], name[900];
    if (std::sscanf(line, "%63s %7s %899s", address, type, name) == 3) symbols.insert(name);
  }
  ASSERT_EQ(pclose(pipe), 0);
  EXPECT_EQ(symbols, (std::set<std::string>{"VSTPluginMain", "main"}));
}

TEST(Vst2Module, EffectRecord) {
  Instance plugin;
  AEffect& e = *plugin.effect;
  EXPECT_EQ(e.numParams, 12);
  EXPECT_EQ(e.numPrograms, 1);
  EXPECT_EQ(e.numInputs, 2);
  EXPECT_EQ(e.numOutputs, 2);
  EXPECT_EQ(e.uniqueID, 0x44565832);
  EXPECT_EQ(e.version, 20006);
  EXPECT_EQ(e.initialDelay, 0);
  EXPECT_EQ(e.ioRatio, 1.0f);
  EXPECT_NE(e.object, nullptr);
  EXPECT_NE(e.process, nullptr);
  EXPECT_NE(e.processReplacing, nullptr);
  EXPECT_NE(e.processDoubleReplacing, nullptr);
  // Editor, replacing, double replacing, mono-capable; the editor flag goes with an edit
  // rectangle.
  EXPECT_EQ(e.flags, 0x1019);
  ERect* rect = nullptr;
  const intptr_t hasRect = plugin.Dispatch(effEditGetRect, 0, 0, &rect);
  EXPECT_EQ(hasRect != 0, (e.flags & kEffFlagsHasEditor) != 0);
  if (hasRect) {
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->right, 640);
    EXPECT_EQ(rect->bottom, 480);
  } else {
    EXPECT_EQ(plugin.Dispatch(effEditOpen), 0);
    EXPECT_EQ(plugin.Dispatch(effEditClose), 0);
  }
}

TEST(Vst2Module, IdentityAnswers) {
  Instance plugin;
  EXPECT_EQ(plugin.Text(effGetEffectName), "QuarloDorvantix");
  EXPECT_EQ(plugin.Text(effGetVendorString), "Quarlo");
  EXPECT_EQ(plugin.Text(effGetProductString), "");
  EXPECT_EQ(plugin.Dispatch(effGetVendorVersion), 20006);
  EXPECT_EQ(plugin.Dispatch(effGetVstVersion), 2400);
  EXPECT_EQ(plugin.Dispatch(effGetPlugCategory), kPlugCategEffect);
  EXPECT_EQ(plugin.Dispatch(effIdentify), 0x4E764566);
  EXPECT_EQ(plugin.Dispatch(effGetTailSize), 0);
  EXPECT_EQ(plugin.Dispatch(effCanBeAutomated, 99), 1);
  EXPECT_EQ(plugin.Dispatch(effGetEffectName), 0) << "no buffer";
  // Opcodes without an answer, and numbers outside the table.
  for (int32_t opcode : {9, 16, 28, 41, 44, 46, 56, 70, 71, 72, 1000, -1}) {
    char buffer[256] = {};
    EXPECT_EQ(plugin.Dispatch(opcode, 0, 0, buffer), 0) << opcode;
  }
  EXPECT_EQ(plugin.effect->dispatcher(nullptr, effGetVendorVersion, 0, 0, nullptr, 0), 0);
}

TEST(Vst2Module, CanDoAnswersTheWholeTextExactly) {
  Instance plugin;
  const std::vector<std::pair<const char*, intptr_t>> table = {
      {"receiveVstTimeInfo", 1},
      {"sendVstEvents", 1},
      {"sendVstMidiEvent", 1},
      {"receiveVstEvents", 1},
      {"receiveVstMidiEvent", 1},
      {"hasCockosExtensions", 0xBEEF0000},
      {"hasCockosViewAsConfig", 0xBEEF0000},
      {"ReceiveVstMidiEvent", 0},
      {"receiveVstMidiEvents", 0},
      {"receiveVstTimeInf", 0},
      {"bypass", 0},
      {"", 0},
  };
  for (const auto& [text, answer] : table) {
    EXPECT_EQ(plugin.Dispatch(effCanDo, 0, 0, const_cast<char*>(text)), answer) << text;
  }
  EXPECT_EQ(plugin.Dispatch(effCanDo), 0);
}

TEST(Vst2Module, ParameterNamesLabelsAndDisplays) {
  Instance plugin;
  struct Row {
    const char* name;
    const char* label;
    const char* display;
  };
  const Row rows[12] = {
      {"Clipper Level", "dB", "0.0"},    {"Soft Clipper", "", "off"},
      {"Clipper Oversample", "", "off"}, {"Limiter Level", "dB", "0.0"},
      {"AutoRelease", "", "on"},         {"Release Time", "ms", "100"},
      {"Limiter Oversample", "", "off"}, {"Output Level", "dB", "-0.2"},
      {"Auto output level", "", "off"},  {"Auto output target", "dB", "-12"},
      {"Auto out type", "", "RMS"},      {"Reset Meters", "", "off"},
  };
  for (int i = 0; i < 12; ++i) {
    EXPECT_EQ(plugin.Text(effGetParamName, i), rows[i].name) << i;
    EXPECT_EQ(plugin.Text(effGetParamLabel, i), rows[i].label) << i;
    EXPECT_EQ(plugin.Text(effGetParamDisplay, i), rows[i].display) << i;
  }
  for (int i : {-1, 12, 1 << 30}) {
    EXPECT_EQ(plugin.Text(effGetParamName, i), "") << i;
    EXPECT_EQ(plugin.effect->getParameter(plugin.effect, i), 0.0f) << i;
    plugin.effect->setParameter(plugin.effect, i, 0.5f);  // ignored
  }
  EXPECT_FLOAT_EQ(plugin.effect->getParameter(plugin.effect, 5), (100.0f - 1.0f) / 499.0f);
  plugin.effect->setParameter(plugin.effect, 3, 0.4f);  // -6 + 0.4 * 30
  EXPECT_EQ(plugin.Text(effGetParamDisplay, 3), "6.0");
  plugin.effect->setParameter(plugin.effect, 3, std::nanf(""));
  EXPECT_EQ(plugin.Text(effGetParamDisplay, 3), "6.0") << "NaN from the host is ignored";
}

TEST(Vst2Module, String2Parameter) {
  Instance plugin;
  EXPECT_EQ(plugin.SetByText(2, "2x"), 1);
  EXPECT_EQ(plugin.Text(effGetParamDisplay, 2), "2x");
  EXPECT_FLOAT_EQ(plugin.effect->getParameter(plugin.effect, 2), 0.5f);
  EXPECT_EQ(plugin.SetByText(2, "4X"), 0);
  EXPECT_EQ(plugin.Text(effGetParamDisplay, 2), "2x") << "unchanged";
  EXPECT_EQ(plugin.SetByText(10, "LUFS"), 1);
  EXPECT_EQ(plugin.Text(effGetParamDisplay, 10), "LUFS");
  EXPECT_EQ(plugin.SetByText(3, "6"), 1);
  EXPECT_EQ(plugin.Text(effGetParamDisplay, 3), "6.0");
  EXPECT_EQ(plugin.SetByText(3, "100"), 1);
  EXPECT_EQ(plugin.Text(effGetParamDisplay, 3), "24.0") << "clamped to the range";
  EXPECT_EQ(plugin.SetByText(5, "-5"), 1);
  EXPECT_EQ(plugin.Text(effGetParamDisplay, 5), "1");
  // Text that is no finite number is refused, as the AAX binding refuses it.
  for (const char* junk : {"nan", "inf", "abc", "", "dB"}) {
    EXPECT_EQ(plugin.SetByText(5, "250"), 1);
    EXPECT_EQ(plugin.SetByText(5, junk), 0) << junk;
    EXPECT_EQ(plugin.Text(effGetParamDisplay, 5), "250") << junk << " leaves the value";
  }
  EXPECT_EQ(plugin.SetByText(5, "120ms"), 1) << "a unit may follow the number";
  EXPECT_EQ(plugin.Text(effGetParamDisplay, 5), "120");
  EXPECT_EQ(plugin.Dispatch(effString2Parameter, 0), 1) << "can convert";
  EXPECT_EQ(plugin.Dispatch(effString2Parameter, 12), 0);
  EXPECT_EQ(plugin.SetByText(-1, "1"), 0);
}

TEST(Vst2Module, VendorSpecificFormatsAndReportsKinds) {
  Instance plugin;
  char text[64] = "unchanged";
  EXPECT_EQ(plugin.Dispatch(effVendorSpecific, 7, 1, text, 1.0f), 0xBEEF);
  EXPECT_STREQ(text, "on");
  EXPECT_EQ(plugin.Dispatch(effVendorSpecific, 7, 0, text, 0.5f), 0xBEEF);
  EXPECT_STREQ(text, "9.0");
  std::snprintf(text, sizeof(text), "unchanged");
  EXPECT_EQ(plugin.Dispatch(effVendorSpecific, 7, 12, text, 0.5f), 0xBEEF);
  EXPECT_STREQ(text, "unchanged");
  EXPECT_EQ(plugin.Dispatch(effVendorSpecific, 7, 1, nullptr, 1.0f), 0);
  const std::vector<std::pair<intptr_t, intptr_t>> kinds = {{1, 0xBEEF}, {2, 0xBEEF}, {0, 0},
                                                            {7, 0},      {12, 0},     {-1, 0}};
  for (const auto& [param, answer] : kinds) {
    EXPECT_EQ(plugin.Dispatch(effVendorSpecific, 8, param), answer) << param;
  }
  EXPECT_EQ(plugin.Dispatch(effVendorSpecific, 9, 1, text), 0);
}

TEST(Vst2Module, ProgramNames) {
  Instance plugin;
  EXPECT_EQ(plugin.Dispatch(effGetProgram), 0);
  EXPECT_EQ(plugin.Text(effGetProgramName), "-");
  char name[256] = {};
  EXPECT_EQ(plugin.Dispatch(effGetProgramNameIndexed, 0, 0, name), 1);
  EXPECT_STREQ(name, "-");
  EXPECT_EQ(plugin.Dispatch(effGetProgramNameIndexed, 1, 0, name), 0);
  EXPECT_STREQ(name, "");
  EXPECT_EQ(plugin.Dispatch(effGetProgramNameIndexed, 0), 0) << "no buffer";
  plugin.Dispatch(effSetProgramName, 0, 0, const_cast<char*>("Loud master"));
  EXPECT_EQ(plugin.Text(effGetProgramName), "Loud master");
  plugin.Dispatch(effSetProgram, 0, 5);  // no such program
  EXPECT_EQ(plugin.Dispatch(effGetProgram), 0);
}

std::vector<uint8_t> GetChunk(Instance& plugin, bool program) {
  void* data = nullptr;
  const intptr_t size = plugin.Dispatch(effGetChunk, program ? 1 : 0, 0, &data);
  if (size <= 0 || !data) return {};
  const auto* bytes = static_cast<const uint8_t*>(data);
  return std::vector<uint8_t>(bytes, bytes + size);
}

TEST(Vst2Module, ChunkSizesAndHeader) {
  Instance plugin;
  const std::vector<uint8_t> program = GetChunk(plugin, true);
  ASSERT_EQ(program.size(), 108u);
  const std::vector<uint8_t> head = {0x74, 0x66, 0x66, 0x70, 0, 0, 1, 0, 12, 0, 0, 0};
  EXPECT_TRUE(std::equal(head.begin(), head.end(), program.begin()));
  const std::vector<uint8_t> bank = GetChunk(plugin, false);
  ASSERT_EQ(bank.size(), 114u);
  EXPECT_TRUE(std::equal(head.begin(), head.begin() + 8, bank.begin()));
  EXPECT_EQ(bank[8], 1);  // name length
  EXPECT_EQ(bank[12], '-');
  EXPECT_EQ(bank[13], 1);  // initialised
  EXPECT_EQ(plugin.Dispatch(effGetChunk, 1), 0) << "no pointer";
}

TEST(Vst2Module, StateRoundTripsThroughChunks) {
  for (bool program : {true, false}) {
    std::vector<uint8_t> saved;
    std::vector<std::string> displays;
    {
      Instance source;
      source.Start();
      source.SetByText(0, "4.5");
      source.SetByText(2, "4x");
      source.SetByText(4, "off");
      source.SetByText(5, "250");
      source.SetByText(10, "LUFS");
      for (int i = 0; i < 12; ++i) displays.push_back(source.Text(effGetParamDisplay, i));
      saved = GetChunk(source, program);
    }
    Instance target;
    target.Start();
    ASSERT_EQ(target.Dispatch(effSetChunk, program ? 1 : 0, saved.size(), saved.data()), 1);
    for (int i = 0; i < 12; ++i) {
      EXPECT_EQ(target.Text(effGetParamDisplay, i), displays[i])
          << "program " << program << " " << i;
    }
    EXPECT_EQ(GetChunk(target, program), saved);
  }
}

TEST(Vst2Module, DamagedChunksAreRefused) {
  Instance plugin;
  std::vector<uint8_t> chunk = GetChunk(plugin, true);
  plugin.SetByText(0, "3");
  std::vector<uint8_t> cut(chunk.begin(), chunk.begin() + 30);  // header, count, two values
  EXPECT_EQ(plugin.Dispatch(effSetChunk, 1, cut.size(), cut.data()), 0);
  EXPECT_EQ(plugin.Dispatch(effSetChunk, 1, -5, chunk.data()), 0);
  EXPECT_EQ(plugin.Dispatch(effSetChunk, 1, intptr_t{1} << 40, chunk.data()), 0);
  EXPECT_EQ(plugin.Dispatch(effSetChunk, 1, chunk.size(), nullptr), 0);
  // A bank whose header version is below the bank format is one program state.
  chunk[6] = 0;
  EXPECT_EQ(plugin.Dispatch(effSetChunk, 0, chunk.size(), chunk.data()), 1);
  EXPECT_EQ(plugin.Text(effGetParamDisplay, 0), "0.0");
}

TEST(Vst2Module, PinPropertiesAndSpeakerArrangements) {
  Instance plugin;
  struct Row {
    int32_t opcode;
    int index;
    int32_t flags;
    const char* label;
  };
  const Row rows[] = {{effGetInputProperties, 0, 3, "main input L"},
                      {effGetInputProperties, 1, 1, "main input R"},
                      {effGetOutputProperties, 0, 3, "output L"},
                      {effGetOutputProperties, 1, 1, "output R"}};
  for (const Row& row : rows) {
    VstPinProperties pin{};
    ASSERT_EQ(plugin.Dispatch(row.opcode, row.index, 0, &pin), 1);
    EXPECT_EQ(pin.flags, row.flags) << row.label;
    EXPECT_STREQ(pin.label, row.label);
  }
  VstPinProperties pin{};
  EXPECT_EQ(plugin.Dispatch(effGetInputProperties, 2, 0, &pin), 0);
  EXPECT_EQ(plugin.Dispatch(effGetOutputProperties, -1, 0, &pin), 0);
  EXPECT_EQ(plugin.Dispatch(effGetInputProperties, 0), 0);

  VstSpeakerArrangement* in = nullptr;
  VstSpeakerArrangement* out = nullptr;
  EXPECT_EQ(plugin.Dispatch(effGetSpeakerArrangement, 0, reinterpret_cast<intptr_t>(&in), &out), 1);
  ASSERT_TRUE(in && out);
  EXPECT_EQ(in->type, kSpeakerArrStereo);
  EXPECT_EQ(in->numChannels, 2);
  EXPECT_EQ(out->numChannels, 2);
}

TEST(Vst2Module, OpenIdentifiesTheHostOnce) {
  Instance plugin;
  plugin.host.productName = "REAPER";
  plugin.Dispatch(effOpen);
  plugin.Dispatch(effOpen);
  EXPECT_EQ(plugin.host.Count(audioMasterGetProductString), 1);
  EXPECT_EQ(plugin.host.Count(audioMasterGetVendorVersion), 1);
  EXPECT_EQ(plugin.effect->numInputs, 2);
}

TEST(Vst2Module, FloatDoubleAndAccumulatingProcessingAgree) {
  const auto in = Signal(10000, 2.0);   // loud enough to drive the clipper and limiter
  for (int block : {64, 1024, 3000}) {  // 3000 exceeds the block size the host announced
    Instance d, f, a;
    for (Instance* p : {&d, &f, &a}) {
      p->Start(44100.0f, 1024);
      p->SetByText(0, "3");
    }
    const auto outD = RunThrough(d, in, block, Path::kDouble);
    const auto outF = RunThrough(f, in, block, Path::kFloat);
    const auto outA = RunThrough(a, in, block, Path::kAccumulate, 0.25f);
    EXPECT_LT(MaxDifference(outD, outF), 1e-5) << "block " << block;
    auto shifted = outF;
    for (auto& channel : shifted) {
      for (double& v : channel) v += 0.25;
    }
    EXPECT_LT(MaxDifference(shifted, outA), 1e-5) << "block " << block;
    // Each processing call first tells the host the plug-in wants MIDI.
    const int calls = (10000 + block - 1) / block;
    EXPECT_EQ(d.host.CountDuringProcessing(audioMasterWantMidi, 0), calls);
  }
}

TEST(Vst2Module, HostileProcessingArgumentsAreSafe) {
  Instance plugin;
  plugin.Start();
  std::vector<float> buffer(4096, 0.5f);
  float* io[2] = {buffer.data(), buffer.data() + 2048};
  float* none[2] = {nullptr, nullptr};
  plugin.effect->processReplacing(plugin.effect, io, io, 0);
  plugin.effect->processReplacing(plugin.effect, io, io, -7);
  plugin.effect->processReplacing(plugin.effect, nullptr, nullptr, 2048);
  plugin.effect->processReplacing(plugin.effect, none, io, 2048);
  EXPECT_EQ(buffer[0], 0.0f) << "missing inputs read as silence";
  plugin.effect->process(plugin.effect, io, none, 2048);
  double* dnone[2] = {nullptr, nullptr};
  plugin.effect->processDoubleReplacing(plugin.effect, dnone, dnone, 2048);
  plugin.effect->processDoubleReplacing(nullptr, dnone, dnone, 2048);
  // Nonsense rates and block sizes leave the previous ones in effect.
  plugin.Dispatch(effSetBlockSize, 0, 0);
  plugin.Dispatch(effSetBlockSize, 0, -1);
  plugin.Dispatch(effSetBlockSize, 0, intptr_t{1} << 40);
  plugin.Dispatch(effSetSampleRate, 0, 0, nullptr, std::nanf(""));
  plugin.Dispatch(effSetSampleRate, 0, 0, nullptr, -44100.0f);
  plugin.Dispatch(effSetSampleRate, 0, 0, nullptr, 0.0f);
  std::fill(buffer.begin(), buffer.end(), 0.25f);
  float* in[2] = {buffer.data(), buffer.data() + 2048};
  std::vector<float> o(4096, 9.0f);
  float* out[2] = {o.data(), o.data() + 2048};
  plugin.effect->processReplacing(plugin.effect, in, out, 2048);
  EXPECT_NE(o[2047], 9.0f);
  EXPECT_NE(o[4095], 9.0f);
  EXPECT_TRUE(std::isfinite(o[4095]));
}

TEST(Vst2Module, MidiEventsPassThroughToTheHost) {
  Instance plugin;
  plugin.Start();
  VstMidiEvent note{};
  note.type = kVstMidiType;
  note.byteSize = sizeof(note);
  note.deltaFrames = 17;
  note.midiData[0] = static_cast<char>(0x90);
  note.midiData[1] = 60;
  note.midiData[2] = 100;
  VstEvent other{};
  other.type = 99;
  VstEvents list{};
  list.numEvents = 2;
  list.events[0] = reinterpret_cast<VstEvent*>(&note);
  list.events[1] = &other;
  EXPECT_EQ(plugin.Dispatch(effProcessEvents, 0, 0, &list), 1);
  ASSERT_EQ(plugin.host.midiOut.size(), 1u);
  const VstMidiEvent& sent = plugin.host.midiOut[0];
  EXPECT_EQ(sent.byteSize, 32);
  EXPECT_EQ(sent.deltaFrames, 17);
  EXPECT_EQ(static_cast<uint8_t>(sent.midiData[0]), 0x90);
  EXPECT_EQ(sent.midiData[1], 60);
  EXPECT_EQ(sent.midiData[2], 100);
  EXPECT_EQ(plugin.Dispatch(effProcessEvents), 0);
}

TEST(Vst2Module, TempoReachesThePluginThroughTimeInfo) {
  if (EngineIsPassThrough()) GTEST_SKIP() << "the effect does not read the host tempo yet";
  Instance plugin;
  plugin.Start();
  plugin.host.time.tempo = 90.0;
  plugin.host.time.sampleRate = 44100.0;
  plugin.host.time.flags = kVstTempoValid | kVstTransportPlaying;
  RunThrough(plugin, Signal(4096, 1.5), 512, Path::kDouble);
  EXPECT_GE(plugin.host.CountDuringProcessing(audioMasterGetTime, kVstTempoValid), 8);
}

TEST(Vst2Module, AutomaticOutputLevelAutomatesOutputLevel) {
  if (EngineIsPassThrough()) GTEST_SKIP() << "the effect has no automatic output level yet";
  Instance plugin;
  plugin.Start();
  plugin.SetByText(8, "on");
  plugin.SetByText(9, "-20");
  plugin.host.calls.clear();
  RunThrough(plugin, Signal(44100, 0.9), 512, Path::kDouble);
  // Every automation of "Output Level" is wrapped in begin and end gestures.
  int begins = 0, changes = 0, open = 0;
  for (const HostCall& c : plugin.host.calls) {
    if (c.index != kOutputLevel) continue;
    if (c.opcode == audioMasterBeginEdit) {
      ++begins;
      EXPECT_EQ(open++, 0);
    } else if (c.opcode == audioMasterAutomate) {
      ++changes;
      EXPECT_EQ(open, 1) << "a change outside a gesture";
      EXPECT_GE(c.opt, 0.0f);
      EXPECT_LE(c.opt, 1.0f);
    } else if (c.opcode == audioMasterEndEdit) {
      EXPECT_EQ(--open, 0);
    }
  }
  EXPECT_GT(begins, 0);
  EXPECT_GT(changes, 0);
  EXPECT_EQ(open, 0);
  EXPECT_NE(plugin.Text(effGetParamDisplay, kOutputLevel), "-0.2");
}

TEST(Vst2Module, DefaultsMakeQuietMaterial0Point2DbQuieter) {
  if (EngineIsPassThrough()) GTEST_SKIP() << "the effect has no output gain stage yet";
  Instance plugin;
  plugin.Start();
  const auto in = Signal(8192, 0.5);
  const auto out = RunThrough(plugin, in, 512, Path::kDouble);
  const double gain = std::exp(-0.2 * 0.1151292546497);
  for (int c = 0; c < 2; ++c) {
    for (int i = 0; i < 8192; i += 97) ASSERT_NEAR(out[c][i], in[c][i] * gain, 1e-9) << i;
  }
}

TEST(Vst2Module, ManyInstancesInARow) {
  const auto in = Signal(2048, 1.0);
  for (int i = 0; i < 200; ++i) {
    Instance plugin(i % 2 ? "main" : "VSTPluginMain");
    ASSERT_NE(plugin.effect, nullptr) << i;
    plugin.Start(i % 3 ? 48000.0f : 44100.0f, 256 + i);
    plugin.SetByText(2, i % 3 == 0 ? "4x" : "2x");
    RunThrough(plugin, in, 300, i % 2 ? Path::kFloat : Path::kDouble);
  }
}

TEST(Vst2Module, TwoInstancesProcessAtOnceWithDifferentSettings) {
  const auto in = Signal(44100, 1.5);
  auto configure = [](Instance& p, bool pushed) {
    p.Start();
    if (pushed) {
      p.SetByText(0, "6");
      p.SetByText(2, "4x");
      p.SetByText(3, "6");
      p.SetByText(6, "4x");
    }
  };
  std::vector<std::vector<double>> reference[2];
  for (int k = 0; k < 2; ++k) {
    Instance p;
    configure(p, k == 1);
    reference[k] = RunThrough(p, in, 256, Path::kFloat);
  }
  Instance a, b;
  configure(a, false);
  configure(b, true);
  std::vector<std::vector<double>> result[2];
  std::thread ta([&] { result[0] = RunThrough(a, in, 256, Path::kFloat); });
  std::thread tb([&] { result[1] = RunThrough(b, in, 256, Path::kFloat); });
  ta.join();
  tb.join();
  EXPECT_EQ(result[0], reference[0]);
  EXPECT_EQ(result[1], reference[1]);
}

}  // namespace
}  // namespace qd::testing
