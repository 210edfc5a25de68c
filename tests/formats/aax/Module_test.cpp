// The built module driven through its exports by the simulated host.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "SimHost.h"

namespace {

constexpr uint32_t kManufacturer = 0x51754C6F;  // QuLo
constexpr uint32_t kProduct = 0x44565832;       // DVX2

class ModuleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(host.Loaded()) << QD_AAX_MODULE_PATH;
    ASSERT_EQ(host.StartAndRegister(), aax::kSuccess);
    ASSERT_NE(host.Effect(), nullptr);
  }
  sim::ModuleHost host{QD_AAX_MODULE_PATH};
};

TEST_F(ModuleTest, DescribesOneEffectWithMonoAndStereoComponents) {
  const sim::Collection& c = *host.Description();
  ASSERT_EQ(c.effects.size(), 1u);
  EXPECT_EQ(c.effects[0].first, "com.Quarlo.aax.QuarloDorvantix");
  EXPECT_EQ(c.packageNames, std::vector<std::string>{"QuarloDorvantix"});
  EXPECT_EQ(c.manufacturerNames, std::vector<std::string>{"Quarlo"});
  EXPECT_EQ(c.packageVersion, 0x20006u);

  const sim::EffectDescriptor& e = *host.Effect();
  EXPECT_EQ(e.names, std::vector<std::string>{"QuarloDorvantix"});
  EXPECT_EQ(e.categories, std::vector<uint32_t>{aax::kCategoryDynamics});
  EXPECT_EQ(e.procs.size(), 2u);
  EXPECT_NE(e.procs.at(aax::kProcCreateEffectParameters), nullptr);
  EXPECT_NE(e.procs.at(aax::kProcCreateEffectGui), nullptr);

  ASSERT_EQ(e.components.size(), 2u);
  struct Expected {
    int32_t stem;
    const char native[5], suite[5];
  };
  const Expected expected[] = {{aax::kStemMono, "EFN1", "EFA1"},
                               {aax::kStemStereo, "EFN2", "EFA2"}};
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    const sim::ComponentDescriptor& comp = *e.components[i];
    ASSERT_NE(comp.properties, nullptr);
    ASSERT_NE(comp.render, nullptr);
    const std::vector<std::pair<uint32_t, int32_t>> props = {
        {aax::kPropLatency, 0},
        {aax::kPropInputStemFormat, expected[i].stem},
        {aax::kPropOutputStemFormat, expected[i].stem},
        {aax::kPropCanBypass, 1},
        {aax::kPropManufacturerId, static_cast<int32_t>(kManufacturer)},
        {aax::kPropProductId, static_cast<int32_t>(kProduct)},
        {aax::kPropNativePluginId, static_cast<int32_t>(aax::FourCc(expected[i].native))},
        {aax::kPropAudioSuitePluginId, static_cast<int32_t>(aax::FourCc(expected[i].suite))}};
    EXPECT_EQ(comp.properties->properties, props);

    // Context layout: fields 2 and 4 unregistered; 6 and 9 are 4-byte private data.
    std::vector<int> fieldIndices;
    for (const auto& [field, entry] : comp.fields) fieldIndices.push_back(field);
    EXPECT_EQ(fieldIndices, (std::vector<int>{0, 1, 3, 5, 6, 7, 8, 9}));
    EXPECT_EQ(comp.fields.at(0).kind, "audio in");
    EXPECT_EQ(comp.fields.at(1).kind, "audio out");
    EXPECT_EQ(comp.fields.at(3).kind, "buffer length");
    EXPECT_EQ(comp.fields.at(5).kind, "midi");
    EXPECT_EQ(comp.fields.at(5).nodeType, aax::kNodeLocalMidiInput);
    EXPECT_EQ(comp.fields.at(5).name, "QuarloDorvantix Midi");
    EXPECT_EQ(comp.fields.at(5).mask, 1u);
    EXPECT_EQ(comp.fields.at(6).kind, "private");
    EXPECT_EQ(comp.fields.at(6).size, 4);
    EXPECT_EQ(comp.fields.at(7).kind, "midi");
    EXPECT_EQ(comp.fields.at(7).nodeType, aax::kNodeTransport);
    EXPECT_EQ(comp.fields.at(7).name, "Transport");
    EXPECT_EQ(comp.fields.at(8).kind, "private");
    EXPECT_EQ(comp.fields.at(8).size, 8);
    EXPECT_EQ(comp.fields.at(9).kind, "private");
    EXPECT_EQ(comp.fields.at(9).size, 4);
  }
}

TEST_F(ModuleTest, FixedAnswersOfTheOtherExports) {
  const aax::Uid any = aax::kIidUnknown;
  void* factory = &host;
  EXPECT_EQ(host.Api().getClassFactory(&host.Root(), any, any, &factory), aax::kErrorUnimplemented);
  EXPECT_EQ(factory, nullptr);
  EXPECT_EQ(host.Api().getClassFactory(nullptr, any, any, nullptr), aax::kErrorUnimplemented);

  aax::IUnknown* component = &host.Root();
  EXPECT_EQ(host.Api().registerComponent(&host.Root(), 0, &component), aax::kSuccess);
  EXPECT_EQ(component, nullptr);

  uint64_t version = 0;
  EXPECT_EQ(host.Api().getSdkVersion(&version), aax::kSuccess);
  EXPECT_EQ(version, 0x00000201007756BFull);
  EXPECT_NE(host.Api().getSdkVersion(nullptr), aax::kSuccess);
}

TEST_F(ModuleTest, HostServicesAreCreatedOnceAndDroppedAtShutdown) {
  EXPECT_EQ(host.Root().hostServicesCreated, 1);
  host.Api().startup(&host.Root());  // already there: nothing new
  EXPECT_EQ(host.Root().hostServicesCreated, 1);
  const int alive = sim::HostObjectsAlive();
  EXPECT_EQ(host.Api().shutdown(&host.Root()), aax::kSuccess);
  EXPECT_EQ(sim::HostObjectsAlive(), alive - 1);  // the proxy released the host's object
  EXPECT_EQ(host.Api().startup(nullptr), aax::kSuccess);
}

TEST_F(ModuleTest, FailedRegistrationsAnswerTheirCodes) {
  // No host object at all: no factory, no description.
  aax::IPluginDefinition* definition = nullptr;
  EXPECT_EQ(host.Api().registerPlugin(nullptr, &definition), aax::kErrorNullObject);
  EXPECT_EQ(definition, nullptr);
  // A factory that answers without an object: the error is caught at the export.
  host.Root().factoryYieldsNothing = true;
  EXPECT_EQ(host.Api().registerPlugin(&host.Root(), &definition), aax::kAcfUnexpected);
  host.Root().factoryYieldsNothing = false;
  // A description but nowhere to put the definition.
  EXPECT_EQ(host.Api().registerPlugin(&host.Root(), nullptr), aax::kErrorNullObject);
}

// A saved chunk restores into another instance; the host's parameter values follow once
// it has answered the set-value requests the restore posted.
TEST_F(ModuleTest, StateTravelsBetweenInstancesThroughTheChunk) {
  auto a = host.CreateInstance(1);
  ASSERT_EQ(a->Params()->UpdateParameterNormalizedValue("1", 0.8, 0), aax::kSuccess);
  aax::Result r = -1;
  const std::vector<uint8_t> saved = a->SaveChunk(&r);
  ASSERT_EQ(r, aax::kSuccess);

  auto b = host.CreateInstance(1);
  EXPECT_FALSE(b->CompareChunk(saved));
  ASSERT_EQ(b->RestoreChunk(saved), aax::kSuccess);
  EXPECT_TRUE(b->CompareChunk(saved));
  EXPECT_EQ(b->DeliverAutomation(), 12);
  double n = 0.0;
  b->Params()->GetParameterNormalizedValue("1", &n);
  EXPECT_NEAR(n, 0.8, 1e-12);
}

// Create, render, open and close the editor, and destroy, many times in a row: every
// object of the module and every host reference it took is gone at the end.
TEST_F(ModuleTest, HundredInstancesComeAndGoAndTheModuleMayUnload) {
  const int hostObjectsBefore = sim::HostObjectsAlive();
  std::vector<float> l(256), r(256), outL(256), outR(256);
  for (int k = 0; k < 256; ++k) {
    l[k] = 0.5f * std::sin(0.05f * k);
    r[k] = 0.5f * std::cos(0.03f * k);
  }
  float* in[2] = {l.data(), r.data()};
  float* out[2] = {outL.data(), outR.data()};
  int windowId = 0x400001;
  for (int i = 0; i < 100; ++i) {
    auto instance = host.CreateInstance(i % 2);
    ASSERT_NE(instance, nullptr);
    ASSERT_EQ(instance->InitializeResult(), aax::kSuccess);
    EXPECT_GT(host.Api().canUnloadNow(), 0);
    instance->Render(in, out, 256);
    ASSERT_EQ(instance->OpenEditor(&windowId), aax::kSuccess);
    instance->Render(in, out, 256);
    instance->CloseEditor();
  }
  EXPECT_EQ(host.Api().canUnloadNow(), 0);
  EXPECT_EQ(sim::HostObjectsAlive(), hostObjectsBefore);
}

}  // namespace
