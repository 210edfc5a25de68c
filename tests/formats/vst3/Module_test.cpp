// The built bundle as a host finds it: the bundle layout, the module's exports, the factory
// and its class information, interface identifiers in the platform's byte order.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>

#include "tests/formats/vst3/Vst3TestHost.h"

namespace qd::testing {
namespace {

TEST(Vst3Module, LoadsThroughItsEntryAndGivesTheFactory) {
  Vst3Module& module = Vst3Module::Get();
  ASSERT_NE(module.Handle(), nullptr) << module.Error();
  ASSERT_NE(module.Factory(), nullptr) << module.Error();
  EXPECT_TRUE(module.Error().empty()) << module.Error();
  // Every call hands out a counted reference to the same factory.
  auto get = module.Symbol<GetFactoryProc>("GetPluginFactory");
  IPluginFactory* again = get();
  EXPECT_EQ(again, module.Factory());
  again->release();
}

#ifndef _WIN32
TEST(Vst3Module, ExportsOnlyTheModuleFunctions) {
  char command[1024];
  std::snprintf(command, sizeof(command), "nm -D --defined-only '%s'", QD_VST3_MODULE_PATH);
  FILE* pipe = popen(command, "r");
  ASSERT_NE(pipe, nullptr);
  std::set<std::string> names;
  char line[512];
  while (std::fgets(line, sizeof(line), pipe)) {
    std::istringstream fields(line);
    std::string address, type, name;
    fields >> address >> type >> name;
    if (!name.empty()) names.insert(name);
  }
  pclose(pipe);
  EXPECT_EQ(names, (std::set<std::string>{"GetPluginFactory", "ModuleEntry", "ModuleExit"}));
}

TEST(Vst3Module, EntryAndExitPairUp) {
  Vst3Module& module = Vst3Module::Get();
  auto enter = module.Symbol<ModuleEntryProc>("ModuleEntry");
  auto exit = module.Symbol<ModuleExitProc>("ModuleExit");
  ASSERT_TRUE(enter && exit);
  EXPECT_TRUE(enter(module.Handle()));
  EXPECT_TRUE(exit());  // the nested entry
  EXPECT_TRUE(exit());  // the test host's own entry
  EXPECT_FALSE(exit()) << "an exit without an entry";
  EXPECT_TRUE(enter(module.Handle()));  // back to what the test host holds
}
#endif

std::string ReadFile(const std::string& path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

TEST(Vst3Module, BundleLayoutAndModuleInfoAgreeWithTheFactory) {
  const std::string binary = QD_VST3_MODULE_PATH;
#ifdef _WIN32
  const std::string tail = "/QuarloDorvantix.vst3/Contents/x86_64-win/QuarloDorvantix.vst3";
#else
  const std::string tail = "/QuarloDorvantix.vst3/Contents/x86_64-linux/QuarloDorvantix.so";
#endif
  ASSERT_GE(binary.size(), tail.size());
  EXPECT_EQ(binary.substr(binary.size() - tail.size()), tail);
  const std::string bundle =
      binary.substr(0, binary.size() - tail.size()) + "/QuarloDorvantix.vst3";
  const std::string info = ReadFile(bundle + "/Contents/Resources/moduleinfo.json");
  ASSERT_FALSE(info.empty());

  IPluginFactory* factory = Vst3Module::Get().Factory();
  ASSERT_NE(factory, nullptr);
  PClassInfo c{};
  ASSERT_EQ(factory->getClassInfo(0, &c), kResultOk);
  // The CID as the four words of the class ID, in hex.
  char cid[33] = {};
  const auto* b = reinterpret_cast<const uint8_t*>(c.cid);
#ifdef _WIN32
  const int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
#else
  const int order[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
#endif
  for (int i = 0; i < 16; ++i) std::snprintf(cid + 2 * i, 3, "%02X", b[order[i]]);
  for (const std::string& needle :
       {std::string("\"CID\": \"") + cid + "\"",
        std::string("\"Category\": \"Audio Module Class\""),
        std::string("\"Name\": \"QuarloDorvantix\""), std::string("\"Vendor\": \"Quarlo\""),
        std::string("\"Version\": \"2.0.6\""), std::string("\"SDKVersion\": \"VST 3.7.14\""),
        std::string("\"Fx\",\n        \"Dynamics\"")}) {
    EXPECT_NE(info.find(needle), std::string::npos) << needle;
  }
}

TEST(Vst3Module, FactoryAndClassInformation) {
  IPluginFactory* factory = Vst3Module::Get().Factory();
  ASSERT_NE(factory, nullptr);
  PFactoryInfo f{};
  ASSERT_EQ(factory->getFactoryInfo(&f), kResultOk);
  EXPECT_STREQ(f.vendor, "Quarlo");
  EXPECT_EQ(f.flags & PFactoryInfo::kUnicode, PFactoryInfo::kUnicode);
  EXPECT_EQ(factory->countClasses(), 1);

  PClassInfo c{};
  ASSERT_EQ(factory->getClassInfo(0, &c), kResultOk);
  EXPECT_STREQ(c.category, "Audio Module Class");
  EXPECT_STREQ(c.name, "QuarloDorvantix");
  EXPECT_EQ(c.cardinality, PClassInfo::kManyInstances);

  IPluginFactory2* f2 = nullptr;
  ASSERT_EQ(factory->queryInterface(IPluginFactory2::kIid.bytes, reinterpret_cast<void**>(&f2)),
            kResultOk);
  PClassInfo2 c2{};
  ASSERT_EQ(f2->getClassInfo2(0, &c2), kResultOk);
  EXPECT_EQ(std::memcmp(c2.cid, c.cid, 16), 0);
  EXPECT_STREQ(c2.category, "Audio Module Class");
  EXPECT_STREQ(c2.subCategories, "Fx|Dynamics");
  EXPECT_STREQ(c2.vendor, "Quarlo");
  EXPECT_STREQ(c2.version, "2.0.6");
  EXPECT_STREQ(c2.sdkVersion, "VST 3.7.14");
  f2->release();

  IPluginFactory3* f3 = nullptr;
  ASSERT_EQ(factory->queryInterface(IPluginFactory3::kIid.bytes, reinterpret_cast<void**>(&f3)),
            kResultOk);
  PClassInfoW w{};
  ASSERT_EQ(f3->getClassInfoUnicode(0, &w), kResultOk);
  EXPECT_EQ(Utf8(w.name, 64), "QuarloDorvantix");
  EXPECT_EQ(Utf8(w.vendor, 64), "Quarlo");
  EXPECT_EQ(Utf8(w.version, 64), "2.0.6");
  EXPECT_STREQ(w.subCategories, "Fx|Dynamics");
  EXPECT_EQ(f3->setHostContext(nullptr), kResultOk);
  f3->release();

  // Indexes, arguments and class IDs the factory does not have.
  EXPECT_EQ(factory->getClassInfo(1, &c), kInvalidArgument);
  EXPECT_EQ(factory->getClassInfo(-1, &c), kInvalidArgument);
  EXPECT_EQ(factory->getClassInfo(0, nullptr), kInvalidArgument);
  void* obj = reinterpret_cast<void*>(1);
  TUID other{};
  EXPECT_EQ(factory->createInstance(other, IComponent::kIid.bytes, &obj), kNoInterface);
  EXPECT_EQ(obj, nullptr);
  EXPECT_EQ(factory->createInstance(c.cid, IPlugView::kIid.bytes, &obj), kNoInterface);
  EXPECT_EQ(obj, nullptr);
  EXPECT_EQ(factory->createInstance(nullptr, IComponent::kIid.bytes, &obj), kInvalidArgument);
  void* unknown = nullptr;
  EXPECT_EQ(factory->queryInterface(IComponent::kIid.bytes, &unknown), kNoInterface);
}

TEST(Vst3Module, InterfaceIdsUseThePlatformByteOrder) {
  const Uid id = IComponent::kIid;  // E831FF31 F2D54301 928EBBEE 25697802
#ifdef _WIN32
  const uint8_t expected[16] = {0x31, 0xFF, 0x31, 0xE8, 0xD5, 0xF2, 0x01, 0x43,
                                0x92, 0x8E, 0xBB, 0xEE, 0x25, 0x69, 0x78, 0x02};
#else
  const uint8_t expected[16] = {0xE8, 0x31, 0xFF, 0x31, 0xF2, 0xD5, 0x43, 0x01,
                                0x92, 0x8E, 0xBB, 0xEE, 0x25, 0x69, 0x78, 0x02};
#endif
  EXPECT_EQ(std::memcmp(id.bytes, expected, 16), 0);
}

TEST(Vst3Module, InstancesAnswerEveryRoleAndLiveByTheirReferences) {
  Vst3Instance plugin;
  ASSERT_TRUE(plugin.Valid());
  void* obj = nullptr;
  for (const Uid& iid : {FUnknown::kIid, IPluginBase::kIid, IComponent::kIid, IAudioProcessor::kIid,
                         IEditController::kIid, IProcessContextRequirements::kIid}) {
    ASSERT_EQ(plugin.component->queryInterface(iid.bytes, &obj), kResultOk);
    static_cast<FUnknown*>(obj)->release();
  }
  EXPECT_EQ(plugin.component->queryInterface(IPlugView::kIid.bytes, &obj), kNoInterface);
  EXPECT_EQ(obj, nullptr);
  EXPECT_EQ(plugin.component->queryInterface(IComponent::kIid.bytes, nullptr), kInvalidArgument);
  // The same object through any role.
  FUnknown* a = nullptr;
  FUnknown* b = nullptr;
  plugin.processor->queryInterface(FUnknown::kIid.bytes, reinterpret_cast<void**>(&a));
  plugin.controller->queryInterface(FUnknown::kIid.bytes, reinterpret_cast<void**>(&b));
  EXPECT_EQ(a, b);
  a->release();
  b->release();
}

// Ardour's order: both roles initialised with one context, the handler (with its run loop)
// set, then at the end the handler taken away and both roles terminated before the last
// release. Terminate lets go of every host object; a host that releases without terminating
// leaves none referenced either.
TEST(Vst3Module, TerminateAndTheLastReleaseLetGoOfEveryHostObject) {
  for (const bool terminate : {true, false}) {
    SCOPED_TRACE(terminate ? "terminated" : "released only");
    Vst3Instance plugin;
    ASSERT_TRUE(plugin.Valid());
    ASSERT_EQ(plugin.component->initialize(&plugin.app), kResultOk);
    EXPECT_EQ(plugin.controller->initialize(&plugin.app), kResultOk);
    ASSERT_EQ(plugin.controller->setComponentHandler(&plugin.handler), kResultOk);
#if !defined(_WIN32)
    // On Windows the outgoing events ride on a window timer of the plug-in's own instead.
    EXPECT_EQ(plugin.runLoop.timers.size(), 1u) << "the outgoing events' timer";
#endif
    ProcessSetup setup{kRealtime, kSample32, 512, 48000.0};
    plugin.processor->setupProcessing(setup);
    plugin.component->setActive(1);
    plugin.processor->setProcessing(1);
    plugin.runLoop.RunOnce(0, true);
    if (terminate) {
      plugin.processor->setProcessing(0);
      plugin.component->setActive(0);
      plugin.controller->setComponentHandler(nullptr);
      EXPECT_EQ(plugin.controller->terminate(), kResultOk);
      EXPECT_EQ(plugin.component->terminate(), kResultOk);
      EXPECT_TRUE(plugin.runLoop.timers.empty());
      EXPECT_EQ(plugin.runLoop.references, 0);
      EXPECT_EQ(plugin.handler.references, 0);
      EXPECT_EQ(plugin.app.references, 0);
    }
    plugin.Close();
    EXPECT_TRUE(plugin.runLoop.timers.empty());
    EXPECT_EQ(plugin.runLoop.references, 0);
    EXPECT_EQ(plugin.handler.references, 0);
    EXPECT_EQ(plugin.app.references, 0);
  }
}

}  // namespace
}  // namespace qd::testing
