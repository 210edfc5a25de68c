// The binding over a small test plug-in: what the module cannot show through its records
// today (an attached editor) and the mapping of the host's time information.
#include "formats/vst2/PluginVst2.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "tests/formats/vst2/TestHost.h"

namespace qd::testing {
namespace {

using namespace vst2;

struct FakeEditor : PluginEditor {
  std::vector<std::string>* log;
  bool opens = true;
  bool open = false;
  explicit FakeEditor(std::vector<std::string>* l) : log(l) {}
  void PrepareDraw() override {}
  void UpdateParamControls(int index, double value, bool normalized) override {
    char text[64];
    std::snprintf(text, sizeof(text), "update %d %g %d", index, value, normalized);
    log->push_back(text);
  }
  void UpdateControlValue(int, double) override {}
  void GrayParamControls(int, bool) override {}
  void MarkAllControlsDirty() override {}
  int Width() const override { return 640; }
  int Height() const override { return 480; }
  void* OpenWindow(void* parent) override {
    log->push_back(parent ? "open" : "open without parent");
    open = opens && parent;
    return open ? this : nullptr;
  }
  void CloseWindow() override {
    log->push_back("close");
    open = false;
  }
  bool WindowIsOpen() override { return open; }
  void Idle() override { log->push_back("idle"); }
};

class SmallPlugin : public PluginBase {
 public:
  explicit SmallPlugin(std::vector<std::string>* log) : PluginBase(Identity()) {
    GetParam(0)->DefineDouble("Gain", 0.0, -10.0, 10.0, 0.1, "dB", "", 1.0);
    if (log) AttachEditor(std::make_unique<FakeEditor>(log));
  }
  static PluginIdentity Identity() {
    PluginIdentity id;
    id.paramCount = 1;
    id.channelConfig = "2-2";
    id.presetCount = 1;
    id.effectName = "Small";
    id.makerName = "Maker";
    id.version = 0x10203;
    id.uniqueId = 0x536D6C31;
    id.doesMidi = false;
    return id;
  }
};

struct Binding {
  explicit Binding(bool withEditor) {
    TestHost::creating = &host;
    vst = std::make_unique<PluginVst2>(&TestHost::Callback,
                                       std::make_unique<SmallPlugin>(withEditor ? &log : nullptr));
    vst->FinishCreation();
    TestHost::creating = nullptr;
    vst->Effect()->user = &host;
  }
  ~Binding() {
    // effClose deletes the binding.
    AEffect* e = vst.release()->Effect();
    e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
  }
  AEffect* effect() { return vst->Effect(); }
  intptr_t Dispatch(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr) {
    return effect()->dispatcher(effect(), opcode, index, value, ptr, 0.0f);
  }
  TestHost host;
  std::vector<std::string> log;
  std::unique_ptr<PluginVst2> vst;
};

TEST(PluginVst2, AttachedEditorSetsFlagRectAndWindowCalls) {
  Binding b(true);
  EXPECT_EQ(b.effect()->flags, 0x1010 | kEffFlagsHasEditor) << "no mono for \"2-2\"";
  ERect* rect = nullptr;
  ASSERT_EQ(b.Dispatch(effEditGetRect, 0, 0, &rect), 1);
  EXPECT_EQ(rect->top, 0);
  EXPECT_EQ(rect->left, 0);
  EXPECT_EQ(rect->bottom, 480);
  EXPECT_EQ(rect->right, 640);
  EXPECT_EQ(b.Dispatch(effEditGetRect), 0) << "no pointer";
  int parent = 0;
  EXPECT_EQ(b.Dispatch(effEditOpen, 0, 0, nullptr), 0);
  EXPECT_EQ(b.Dispatch(effEditOpen, 0, 0, &parent), 1);
  b.Dispatch(effEditIdle);
  EXPECT_EQ(b.Dispatch(effEditClose), 1);
  b.Dispatch(effEditIdle);                        // closed: no idle reaches the editor
  b.log.erase(b.log.begin(), b.log.begin() + 1);  // the value pushed at attachment
  EXPECT_EQ(b.log, (std::vector<std::string>{"open without parent", "open", "idle", "close"}));
}

TEST(PluginVst2, HostValuesReachTheEditor) {
  Binding b(true);
  b.log.clear();
  b.effect()->setParameter(b.effect(), 0, 0.75f);
  b.Dispatch(effString2Parameter, 0, 0, const_cast<char*>("-20"));
  EXPECT_EQ(b.log, (std::vector<std::string>{"update 0 0.75 1", "update 0 -20 0"}));
}

TEST(PluginVst2, WithoutEditorTheEditorOpcodesAnswerZero) {
  Binding b(false);
  EXPECT_EQ(b.effect()->flags & kEffFlagsHasEditor, 0);
  ERect* rect = nullptr;
  int parent = 0;
  EXPECT_EQ(b.Dispatch(effEditGetRect, 0, 0, &rect), 0);
  EXPECT_EQ(rect, nullptr);
  EXPECT_EQ(b.Dispatch(effEditOpen, 0, 0, &parent), 0);
  EXPECT_EQ(b.Dispatch(effEditClose), 0);
  EXPECT_EQ(b.Dispatch(effEditIdle), 0);
}

TEST(PluginVst2, EditorResizeAndLatencyUpdateTheRecords) {
  Binding b(true);
  b.vst->Plugin().ResizeEditor(800, 600);
  ERect* rect = nullptr;
  b.Dispatch(effEditGetRect, 0, 0, &rect);
  EXPECT_EQ(rect->right, 800);
  EXPECT_EQ(rect->bottom, 600);
  b.vst->Plugin().SetLatencySamples(64);
  EXPECT_EQ(b.effect()->initialDelay, 64);
}

TEST(PluginVst2, TimeInformationFromTheHost) {
  Binding b(false);
  PluginBase& p = b.vst->Plugin();
  VstTimeInfo& t = b.host.time;
  const double inf = std::numeric_limits<double>::infinity();
  struct TempoCase {
    int32_t flags;
    double tempo;
    double expected;
  };
  for (const TempoCase& c :
       {TempoCase{kVstTempoValid, 128.0, 128.0}, TempoCase{0, 128.0, 0.0},
        TempoCase{kVstTempoValid, -1.0, 0.0}, TempoCase{kVstTempoValid, std::nan(""), 0.0},
        TempoCase{kVstTempoValid, inf, 0.0}}) {
    t.flags = c.flags;
    t.tempo = c.tempo;
    EXPECT_EQ(p.HostTempo(), c.expected) << c.tempo;
    EXPECT_EQ(b.host.calls.back().value, kVstTempoValid);
  }
  b.host.hasTimeInfo = false;
  EXPECT_EQ(p.HostTempo(), 0.0);
  EXPECT_EQ(p.HostSamplePosition(), 0);
  b.host.hasTimeInfo = true;

  for (const auto& [position, expected] : std::vector<std::pair<double, int64_t>>{
           {1000.49, 1000}, {1000.5, 1001}, {-3.0, 0}, {std::nan(""), 0}, {1e30, INT64_MAX}}) {
    t.samplePos = position;
    EXPECT_EQ(p.HostSamplePosition(), expected) << position;
  }

  int num = -1, den = -1;
  t.flags = kVstTimeSigValid;
  t.timeSigNumerator = 7;
  t.timeSigDenominator = 8;
  p.HostTimeSignature(&num, &den);
  EXPECT_EQ(num, 7);
  EXPECT_EQ(den, 8);
  t.flags = 0;
  p.HostTimeSignature(&num, &den);
  EXPECT_EQ(num, 0);
  EXPECT_EQ(den, 0);

  TransportInfo info;
  info.tempo = 99.0;
  t = {};
  t.samplePos = 512.0;
  t.ppqPos = 4.5;
  t.tempo = 140.0;
  t.barStartPos = -1.0;  // invalid: keeps the previous value
  t.cycleStartPos = 8.0;
  t.cycleEndPos = 16.0;
  t.flags = kVstPpqPosValid | kVstBarsValid | kVstCyclePosValid | kVstTransportPlaying;
  info.lastBarStart = 2.0;
  p.HostTransport(&info);
  EXPECT_EQ(b.host.calls.back().value, 0x3E00);
  EXPECT_EQ(info.samplePosition, 512.0);
  EXPECT_EQ(info.ppqPosition, 4.5);
  EXPECT_EQ(info.tempo, 99.0) << "tempo not marked valid";
  EXPECT_EQ(info.lastBarStart, 2.0);
  EXPECT_EQ(info.cycleStart, 8.0);
  EXPECT_EQ(info.cycleEnd, 16.0);
  EXPECT_TRUE(info.playing);
  EXPECT_FALSE(info.cycleActive);
  t.flags = kVstTransportPlaying;  // none of the position flags: nothing is taken
  info.samplePosition = -1.0;
  p.HostTransport(&info);
  EXPECT_EQ(info.samplePosition, -1.0);
}

TEST(PluginVst2, HostIdentityAndVersion) {
  Binding b(false);
  b.host.productName = "Cubase Pro";
  b.host.vendorVersion = 120304;
  b.Dispatch(effOpen);
  EXPECT_EQ(b.vst->Plugin().GetHostId(), 3);
  EXPECT_EQ(b.vst->Plugin().HostVersion(), 0x0C0304);

  Binding silent(false);
  silent.host.productName = "";
  silent.Dispatch(effOpen);
  EXPECT_EQ(silent.vst->Plugin().GetHostId(), 0);
  EXPECT_EQ(silent.host.Count(audioMasterGetVendorVersion), 0);
}

TEST(PluginVst2, GesturesOfflineStateAndSysExGoToTheHost) {
  Binding b(false);
  PluginBase& p = b.vst->Plugin();
  b.host.calls.clear();
  p.BeginParamEdit(0);
  p.SetParameterFromGUI(0, 0.25);
  p.EndParamEdit(0);
  p.ReportPresetChange();
  ASSERT_EQ(b.host.calls.size(), 4u);
  EXPECT_EQ(b.host.calls[0].opcode, audioMasterBeginEdit);
  EXPECT_EQ(b.host.calls[1].opcode, audioMasterAutomate);
  EXPECT_EQ(b.host.calls[1].opt, 0.25f);
  EXPECT_EQ(b.host.calls[2].opcode, audioMasterEndEdit);
  EXPECT_EQ(b.host.calls[3].opcode, audioMasterUpdateDisplay);
  EXPECT_FALSE(p.HostIsOffline());
  const uint8_t dump[3] = {0xF0, 0x7E, 0xF7};
  SysExEvent sysex;
  sysex.size = 3;
  sysex.bytes = dump;
  EXPECT_TRUE(p.SendSysExToHost(sysex));
  EXPECT_EQ(b.host.calls.back().opcode, audioMasterProcessEvents);
  // Without MIDI the processing entries do not ask the host for it.
  float l[4] = {}, r[4] = {};
  float* io[2] = {l, r};
  b.effect()->processReplacing(b.effect(), io, io, 4);
  EXPECT_EQ(b.host.Count(audioMasterWantMidi), 0);
}

TEST(PluginVst2, SpeakerArrangementConnectsTheGivenChannels) {
  Binding b(false);
  PluginBase& p = b.vst->Plugin();
  VstSpeakerArrangement mono{};
  mono.type = kSpeakerArrMono;
  mono.numChannels = 1;
  VstSpeakerArrangement huge{};
  huge.numChannels = 1 << 30;
  EXPECT_EQ(b.Dispatch(effSetSpeakerArrangement, 0, reinterpret_cast<intptr_t>(&mono), &huge), 1);
  EXPECT_TRUE(p.IsInputConnected(0));
  EXPECT_FALSE(p.IsInputConnected(1));
  EXPECT_TRUE(p.IsOutputConnected(1));
  VstSpeakerArrangement negative{};
  negative.numChannels = -4;
  b.Dispatch(effSetSpeakerArrangement, 0, reinterpret_cast<intptr_t>(&negative), nullptr);
  EXPECT_FALSE(p.IsInputConnected(0));
  EXPECT_TRUE(p.IsOutputConnected(0)) << "outputs not given stay as they were";
}

}  // namespace
}  // namespace qd::testing
