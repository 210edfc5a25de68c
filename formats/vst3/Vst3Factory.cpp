#include "formats/vst3/Vst3Factory.h"

#include <cstring>
#include <new>

#include "formats/vst3/Vst3Plugin.h"
#include "formats/vst3/Vst3Text.h"
#include "framework/Text.h"

namespace qd::vst3 {

tresult Factory::queryInterface(const TUID iid, void** obj) {
  if (!obj) return kInvalidArgument;
  if (SameUid(iid, FUnknown::kIid) || SameUid(iid, IPluginFactory::kIid) ||
      SameUid(iid, IPluginFactory2::kIid) || SameUid(iid, IPluginFactory3::kIid)) {
    addRef();
    *obj = static_cast<IPluginFactory3*>(this);
    return kResultOk;
  }
  *obj = nullptr;
  return kNoInterface;
}

uint32 Factory::addRef() {
  return ++references_;
}

uint32 Factory::release() {
  uint32 now = references_.load();
  while (now > 0 && !references_.compare_exchange_weak(now, now - 1)) {
  }
  return now > 0 ? now - 1 : 0;
}

tresult Factory::getFactoryInfo(PFactoryInfo* info) {
  if (!info) return kInvalidArgument;
  std::memset(info, 0, sizeof(*info));
  CopyText(info->vendor, description_.vendor);
  info->flags = PFactoryInfo::kUnicode;
  return kResultOk;
}

namespace {

// What every form of class information says alike: the ID, the count and the category.
template <typename Info>
tresult StartClassInfo(const ClassDescription& description, int32 index, Info* info) {
  if (!info || index != 0) return kInvalidArgument;
  std::memset(info, 0, sizeof(*info));
  std::memcpy(info->cid, description.classId.bytes, sizeof(info->cid));
  info->cardinality = PClassInfo::kManyInstances;
  CopyText(info->category, kVstAudioEffectClass);
  return kResultOk;
}

}  // namespace

tresult Factory::getClassInfo(int32 index, PClassInfo* info) {
  const tresult result = StartClassInfo(description_, index, info);
  if (result == kResultOk) CopyText(info->name, description_.name);
  return result;
}

tresult Factory::getClassInfo2(int32 index, PClassInfo2* info) {
  const tresult result = StartClassInfo(description_, index, info);
  if (result != kResultOk) return result;
  CopyText(info->name, description_.name);
  CopyText(info->subCategories, description_.subCategories);
  CopyText(info->vendor, description_.vendor);
  CopyText(info->version, description_.version);
  CopyText(info->sdkVersion, kVstVersionString);
  return kResultOk;
}

tresult Factory::getClassInfoUnicode(int32 index, PClassInfoW* info) {
  const tresult result = StartClassInfo(description_, index, info);
  if (result != kResultOk) return result;
  CopyToUtf16(info->name, description_.name);
  CopyText(info->subCategories, description_.subCategories);
  CopyToUtf16(info->vendor, description_.vendor);
  CopyToUtf16(info->version, description_.version);
  CopyToUtf16(info->sdkVersion, kVstVersionString);
  return kResultOk;
}

tresult Factory::createInstance(FIDString cid, FIDString iid, void** obj) {
  if (!obj) return kInvalidArgument;
  *obj = nullptr;
  if (!cid || !iid) return kInvalidArgument;
  if (!SameUid(cid, description_.classId)) return kNoInterface;
  try {
    // The new object starts with one reference, which queryInterface's own replaces.
    auto* plugin = new Plugin(description_.create());
    const tresult result = plugin->queryInterface(iid, obj);
    plugin->release();
    return result;
  } catch (const std::bad_alloc&) {
    return kOutOfMemory;
  } catch (...) {
    return kInternalError;
  }
}

// Each instance receives the host context in initialize; the factory needs none of its own.
tresult Factory::setHostContext(FUnknown*) {
  return kResultOk;
}

}  // namespace qd::vst3
