// The parameter and state bridge: the binding library under the simulated host, with the
// real plug-in observed from inside.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "AaxTestSupport.h"

namespace {

using aaxtest::LocalInstance;
using Change = aaxtest::ObservedPlugin::Change;
using SmallChange = aaxtest::ObservedSmallPlugin::Change;

std::string ValueString(aax::IEffectParameters* p, const char* id, int maxLength = 31) {
  char text[64] = {};
  EXPECT_EQ(p->GetParameterValueString(id, text, maxLength, sizeof(text)), aax::kSuccess);
  return text;
}

TEST(AaxParameters, ThirteenParametersWithIdsAndMasterBypass) {
  LocalInstance inst;
  aax::IEffectParameters* p = inst->Params();
  ASSERT_EQ(inst->InitializeResult(), aax::kSuccess);
  int32_t count = 0;
  p->GetNumberOfParameters(&count);
  EXPECT_EQ(count, 13);
  char text[64];
  p->GetMasterBypassParameter(text, sizeof(text));
  EXPECT_STREQ(text, "MasterBypassID");
  p->GetParameterName("MasterBypassID", text, sizeof(text));
  EXPECT_STREQ(text, "Master Bypass");
  EXPECT_TRUE(inst.params->IsExcludedFromComparison("MasterBypassID"));

  // ID i+1 is plug-in parameter i, with its name.
  for (int i = 0; i < 12; ++i) {
    const std::string id = std::to_string(i + 1);
    ASSERT_EQ(p->GetParameterName(id.c_str(), text, sizeof(text)), aax::kSuccess) << id;
    EXPECT_STREQ(text, inst.plugin->GetParam(i)->Name()) << id;
  }
  EXPECT_EQ(p->GetParameterName("0", text, sizeof(text)), aax::kErrorInvalidParameterId);
  EXPECT_EQ(p->GetParameterName("13", text, sizeof(text)), aax::kErrorInvalidParameterId);
  EXPECT_EQ(p->GetParameterName(nullptr, text, sizeof(text)), aax::kErrorInvalidParameterId);
  // A tiny buffer gets a cut, terminated name.
  char tiny[4];
  p->GetParameterName("1", tiny, sizeof(tiny));
  EXPECT_STREQ(tiny, "Cli");
}

TEST(AaxParameters, StepsTypesAndDisplayFollowTheParameterKind) {
  LocalInstance inst;
  aax::IEffectParameters* p = inst->Params();
  struct Case {
    const char* id;
    int32_t steps, type;
    std::string shown;
  };
  const Case cases[] = {
      {"MasterBypassID", 2, 0, "bypass"},
      {"2", 2, 0, "off"},   // Soft Clipper, bool
      {"5", 2, 0, "on"},    // AutoRelease, bool
      {"3", 3, 0, "off"},   // Clipper Oversample, enum of three
      {"11", 3, 0, "RMS"},  // Auto out type
      {"1", 128, 1, "0.00dB"},
      {"6", 128, 1, "100.00ms"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    int32_t steps = 0, type = -1;
    p->GetParameterNumberOfSteps(c.id, &steps);
    p->GetParameterType(c.id, &type);
    EXPECT_EQ(steps, c.steps);
    EXPECT_EQ(type, c.type);
    EXPECT_EQ(ValueString(p, c.id), c.shown);
  }
  // A double with label dB at -3.5.
  ASSERT_EQ(p->UpdateParameterNormalizedValue("1", 2.5 / 30.0, 0), aax::kSuccess);
  EXPECT_EQ(ValueString(p, "1"), "-3.50dB");
  // Length-limited forms: the unit only when it fits, and no "." left last by a cut.
  EXPECT_EQ(ValueString(p, "1", 6), "-3.50");
  EXPECT_EQ(ValueString(p, "1", 3), "-3");
  char text[32];
  p->GetParameterStringFromValue("2", 1.0, text, 31, sizeof(text));
  EXPECT_STREQ(text, "on");
  double n = -1;
  EXPECT_EQ(p->GetParameterValueFromString("3", &n, "4x"), aax::kSuccess);
  EXPECT_DOUBLE_EQ(n, 1.0);
}

TEST(AaxParameters, TapersMapBothWays) {
  // Shape 2: normalised 0.5 is a quarter of the range, and back.
  qd::AAX_CPluginTaperDelegate curve(-10.0, 30.0, 2.0);
  EXPECT_DOUBLE_EQ(curve.NormalizedToReal(0.5), 0.0);
  EXPECT_DOUBLE_EQ(curve.RealToNormalized(0.0), 0.5);
  EXPECT_DOUBLE_EQ(curve.NormalizedToReal(2.0), 30.0);
  EXPECT_DOUBLE_EQ(curve.RealToNormalized(-50.0), 0.0);
  EXPECT_DOUBLE_EQ(curve.NormalizedToReal(std::nan("")), -10.0);
  EXPECT_DOUBLE_EQ(qd::AAX_CPluginTaperDelegate(1.0, 1.0, 1.0).RealToNormalized(1.0), 0.0);

  qd::AAX_CLinearTaperDelegate steps(0, 2);
  EXPECT_EQ(steps.NormalizedToReal(0.49), 0);  // truncating
  EXPECT_EQ(steps.NormalizedToReal(0.5), 1);
  EXPECT_EQ(steps.NormalizedToReal(1e300), 2);
  EXPECT_DOUBLE_EQ(steps.RealToNormalized(1), 0.5);

  qd::AAX_CBinaryTaperDelegate binary;
  EXPECT_FALSE(binary.NormalizedToReal(0.0));
  EXPECT_TRUE(binary.NormalizedToReal(0.01));
}

TEST(AaxParameters, HostUpdateReachesThePluginOnceAndCounts) {
  aaxtest::SmallInstance inst(aax::kStemStereo, /*withEditor=*/true);
  aax::IEffectParameters* p = inst->Params();
  int32_t before = -1, after = -1;
  p->GetNumberOfChanges(&before);
  inst.plugin->changes.clear();
  inst.editor->updates.clear();

  ASSERT_EQ(p->UpdateParameterNormalizedValue("7", 1.0, 0), aax::kSuccess);
  EXPECT_EQ(inst.plugin->changes, (std::vector<SmallChange>{{6, qd::kSourceHost}}));
  EXPECT_DOUBLE_EQ(inst.plugin->GetParam(6)->Value(), 2.0);
  ASSERT_EQ(inst.editor->updates.size(), 1u);
  EXPECT_EQ(inst.editor->updates[0].index, 6);
  EXPECT_TRUE(inst.editor->updates[0].normalized);
  p->GetNumberOfChanges(&after);
  EXPECT_EQ(after, before + 1);
  EXPECT_EQ(inst->AutomationDelegate().Count("current"), 1);

  // An unknown ID changes nothing.
  EXPECT_EQ(p->UpdateParameterNormalizedValue("99", 1.0, 0), aax::kErrorInvalidParameterId);
  EXPECT_EQ(p->UpdateParameterNormalizedValue(nullptr, 1.0, 0), aax::kErrorInvalidParameterId);
  p->GetNumberOfChanges(&after);
  EXPECT_EQ(after, before + 1);
  EXPECT_EQ(inst.plugin->changes.size(), 1u);

  // The master bypass changes only the AAX parameter.
  ASSERT_EQ(p->UpdateParameterNormalizedValue("MasterBypassID", 1.0, 0), aax::kSuccess);
  EXPECT_EQ(inst.plugin->changes.size(), 1u);
  double bypass = 0;
  p->GetParameterNormalizedValue("MasterBypassID", &bypass);
  EXPECT_EQ(bypass, 1.0);
}

TEST(AaxParameters, EditorEditsTravelThroughTheHost) {
  LocalInstance inst;
  inst.plugin->changes.clear();
  inst.plugin->BeginParamEdit(0);
  inst.plugin->SetParameterFromGUI(0, 0.5);
  inst.plugin->EndParamEdit(0);
  const auto& posts = inst->AutomationDelegate().posts;
  std::vector<std::string> kinds;
  for (const auto& post : posts) kinds.push_back(post.kind + " " + post.id);
  EXPECT_EQ(kinds,
            (std::vector<std::string>{"touch 1", "touch 1", "set 1", "release 1", "release 1"}));
  // The host answers the request, and that is where the value lands as a host change.
  EXPECT_EQ(inst->DeliverAutomation(), 1);
  EXPECT_EQ(inst.plugin->changes,
            (std::vector<Change>{{0, qd::kSourceEditor}, {0, qd::kSourceHost}}));
  double n = 0;
  inst->Params()->GetParameterNormalizedValue("1", &n);
  EXPECT_DOUBLE_EQ(n, 0.5);
}

TEST(AaxChunks, IndexIdAndSize) {
  LocalInstance inst;
  aax::IEffectParameters* p = inst->Params();
  int32_t chunks = 0;
  p->GetNumberOfChunks(&chunks);
  EXPECT_EQ(chunks, 1);
  uint32_t id = 7;
  EXPECT_EQ(p->GetChunkIDFromIndex(0, &id), aax::kSuccess);
  EXPECT_EQ(id, 0x44565832u);
  EXPECT_EQ(p->GetChunkIDFromIndex(1, &id), aax::kErrorInvalidChunkIndex);
  EXPECT_EQ(id, 0u);
  uint32_t size = 5;
  EXPECT_EQ(p->GetChunkSize(aax::FourCc("ABCD"), &size), aax::kErrorInvalidChunkId);
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(p->GetChunkSize(0x44565832u, &size), aax::kSuccess);
  EXPECT_EQ(size, 100u);  // count + 12 doubles
}

TEST(AaxChunks, SaveCompareAndRestore) {
  LocalInstance inst;
  aax::IEffectParameters* p = inst->Params();
  aax::Result r = -1;
  const std::vector<uint8_t> saved = inst->SaveChunk(&r);
  ASSERT_EQ(r, aax::kSuccess);
  ASSERT_EQ(saved.size(), aax::kChunkHeaderSize + 100);
  EXPECT_TRUE(inst->CompareChunk(saved));

  p->UpdateParameterNormalizedValue("4", 1.0, 0);
  EXPECT_FALSE(inst->CompareChunk(saved));

  // A chunk of another ID compares equal; one too short to hold the values does not.
  std::vector<uint8_t> foreign = saved;
  reinterpret_cast<aax::ChunkRecord*>(foreign.data())->chunkId = aax::FourCc("ABCD");
  EXPECT_TRUE(inst->CompareChunk(foreign));
  std::vector<uint8_t> shortChunk(saved.begin(), saved.begin() + aax::kChunkHeaderSize + 20);
  reinterpret_cast<aax::ChunkRecord*>(shortChunk.data())->size = 20;
  EXPECT_FALSE(inst->CompareChunk(shortChunk));

  // Restoring: one set-value request per parameter, one change counted.
  inst->AutomationDelegate().posts.clear();
  int32_t before = 0, after = 0;
  p->GetNumberOfChanges(&before);
  ASSERT_EQ(inst->RestoreChunk(saved), aax::kSuccess);
  p->GetNumberOfChanges(&after);
  EXPECT_EQ(after, before + 1);
  EXPECT_EQ(inst->AutomationDelegate().Count("set"), 12);
  EXPECT_DOUBLE_EQ(inst.plugin->GetParam(3)->Value(), 0.0);
  EXPECT_TRUE(inst->CompareChunk(saved));

  EXPECT_EQ(
      p->SetChunk(aax::FourCc("ABCD"), reinterpret_cast<const aax::ChunkRecord*>(saved.data())),
      aax::kErrorInvalidChunkId);
}

// Fault found by the validator: restoring posted the AAX parameters' rounding of each
// value, so a bool or enum holding tenths (which hosts can set) came back as a whole
// number, and the host's answers turned exact values into near ones through the trip via
// the normalised value. The restored instance then rendered other audio than its source.
TEST(AaxChunks, RestoredStateComesBackBitForBitThroughTheHostsAnswers) {
  LocalInstance source;
  source->Params()->UpdateParameterNormalizedValue("5", 0.6, 0);  // AutoRelease: tenths
  source->Params()->UpdateParameterNormalizedValue("3", 0.4, 0);  // Clipper Oversample
  source->Params()->UpdateParameterNormalizedValue("8", 0.3, 0);  // Output Level
  source.plugin->GetParam(qd::kOutputLevel)->SetClamped(-0.2);    // not a normalised round trip
  const std::vector<uint8_t> saved = source->SaveChunk();

  LocalInstance restored;
  // A request posted before the restore and answered after it must not break the answer
  // to the restore.
  restored->Params()->SetParameterNormalizedValue("8", 0.25);
  ASSERT_EQ(restored->RestoreChunk(saved), aax::kSuccess);
  restored->DeliverAutomation();
  EXPECT_EQ(restored->SaveChunk(), saved);
  EXPECT_DOUBLE_EQ(restored.plugin->GetParam(qd::kAutoRelease)->Value(), 0.6);
  EXPECT_EQ(restored.plugin->GetParam(qd::kOutputLevel)->Value(), -0.2);
  // The host's own later edits still apply.
  restored->Params()->UpdateParameterNormalizedValue("5", 0.0, 0);
  EXPECT_EQ(restored.plugin->GetParam(qd::kAutoRelease)->Value(), 0.0);
}

TEST(AaxChunks, GetChunkNeverWritesPastTheRoomTheHostGave) {
  LocalInstance inst;
  std::vector<uint8_t> record(aax::kChunkHeaderSize + 100, 0xEE);
  auto* chunk = reinterpret_cast<aax::ChunkRecord*>(record.data());
  chunk->size = 40;
  EXPECT_EQ(inst->Params()->GetChunk(0x44565832u, chunk), aax::kErrorInvalidChunkId);
  EXPECT_EQ(record.back(), 0xEE);
  EXPECT_EQ(inst->Params()->GetChunk(0x44565832u, nullptr), aax::kErrorNullObject);
}

TEST(AaxChunks, MalformedChunksRestoreWhatTheyHold) {
  LocalInstance inst;
  // Count 12 but only one value: parameter 0 set, the rest follow the loader's rules.
  std::vector<uint8_t> record(aax::kChunkHeaderSize + 12);
  auto* chunk = reinterpret_cast<aax::ChunkRecord*>(record.data());
  chunk->chunkId = 0x44565832u;
  chunk->size = 12;
  const int32_t count = 12;
  const double value = 6.0;
  std::memcpy(record.data() + aax::kChunkHeaderSize, &count, 4);
  std::memcpy(record.data() + aax::kChunkHeaderSize + 4, &value, 8);
  EXPECT_EQ(inst->RestoreChunk(record), aax::kSuccess);
  EXPECT_DOUBLE_EQ(inst.plugin->GetParam(0)->Value(), 6.0);
  // A negative size reads as an empty chunk.
  chunk->size = -5;
  EXPECT_EQ(inst->RestoreChunk(record), aax::kSuccess);
}

TEST(AaxParameters, FieldDataAndUninitialize) {
  LocalInstance inst;
  aax::IEffectParameters* p = inst->Params();
  alignas(8) uint8_t data[16];
  std::memset(data, 0xAB, sizeof(data));
  p->ResetFieldData(aax::kFieldPrivateData, data, sizeof(data));
  void* stored = nullptr;
  std::memcpy(&stored, data, sizeof(stored));
  EXPECT_EQ(stored, static_cast<qd::AAX_CEffectParameters*>(inst.params));
  std::memset(data, 0xAB, sizeof(data));
  p->ResetFieldData(aax::kFieldMeters, data, 4);
  EXPECT_EQ(data[0] | data[1] | data[2] | data[3], 0);
  EXPECT_EQ(data[4], 0xAB);

  EXPECT_EQ(p->Uninitialize(), aax::kSuccess);
  int32_t count = -1;
  p->GetNumberOfParameters(&count);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(p->UpdateParameterNormalizedValue("1", 0.5, 0), aax::kErrorInvalidParameterId);
}

}  // namespace
