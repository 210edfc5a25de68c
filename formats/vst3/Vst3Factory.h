// The module's class factory: one audio-module class whose object is both the component
// (processor) and its edit controller. Hosts get it from GetPluginFactory and ask it for
// class information and instances.
//
// Threads: any host thread; the factory's only mutable state is its reference count. No
// exception leaves a method.
#pragma once

#include <atomic>
#include <memory>

#include "formats/vst3/Vst3Abi.h"
#include "framework/PluginBase.h"

namespace qd::vst3 {

// What the factory says about the one class and how it makes the plug-in behind it.
struct ClassDescription {
  Uid classId;
  const char* name;           // class name: the plug-in's name
  const char* vendor;         // the maker
  const char* version;        // "major.minor.patch"
  const char* subCategories;  // '|'-separated
  std::unique_ptr<PluginBase> (*create)();
};

class Factory final : public IPluginFactory3 {
 public:
  explicit Factory(const ClassDescription& description) : description_(description) {}

  // ---- FUnknown: the factory lives as long as the module, so release never deletes ----
  tresult QD_VST3_CALL queryInterface(const TUID iid, void** obj) override;
  uint32 QD_VST3_CALL addRef() override;
  uint32 QD_VST3_CALL release() override;

  // ---- IPluginFactory, 2, 3 ----
  tresult QD_VST3_CALL getFactoryInfo(PFactoryInfo* info) override;
  int32 QD_VST3_CALL countClasses() override { return 1; }
  tresult QD_VST3_CALL getClassInfo(int32 index, PClassInfo* info) override;
  tresult QD_VST3_CALL createInstance(FIDString cid, FIDString iid, void** obj) override;
  tresult QD_VST3_CALL getClassInfo2(int32 index, PClassInfo2* info) override;
  tresult QD_VST3_CALL getClassInfoUnicode(int32 index, PClassInfoW* info) override;
  tresult QD_VST3_CALL setHostContext(FUnknown* context) override;

 private:
  ClassDescription description_;
  std::atomic<uint32> references_{0};
};

}  // namespace qd::vst3
