// The same audio through the AAX module's render path and the VST2 module's float path, at
// the same settings, agrees sample for sample. Built when the VST2 module is part of the
// build.
#ifdef QD_VST2_MODULE_PATH

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "SimHost.h"
#include "formats/vst2/Vst2Abi.h"

namespace {

intptr_t SilentHost(qd::vst2::AEffect*, int32_t opcode, int32_t, intptr_t, void*, float) {
  return opcode == 1 ? 2400 : 0;  // audioMasterVersion; nothing else is answered
}

TEST(AaxVst2Parity, SameSamplesAtTheSameSettings) {
  sim::ModuleHost aaxHost(QD_AAX_MODULE_PATH);
  ASSERT_TRUE(aaxHost.Loaded());
  ASSERT_EQ(aaxHost.StartAndRegister(), aax::kSuccess);
  auto aaxInstance = aaxHost.CreateInstance(1);
  ASSERT_NE(aaxInstance, nullptr);

  void* vstModule = dlopen(QD_VST2_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(vstModule, nullptr) << dlerror();
  auto entry = reinterpret_cast<qd::vst2::EntryProc>(dlsym(vstModule, "VSTPluginMain"));
  ASSERT_NE(entry, nullptr);
  qd::vst2::AEffect* vst = entry(&SilentHost);
  ASSERT_NE(vst, nullptr);
  constexpr int kBlock = 512;
  vst->dispatcher(vst, qd::vst2::effOpen, 0, 0, nullptr, 0.0f);
  vst->dispatcher(vst, qd::vst2::effSetSampleRate, 0, 0, nullptr, 44100.0f);
  vst->dispatcher(vst, qd::vst2::effSetBlockSize, 0, kBlock, nullptr, 0.0f);
  vst->dispatcher(vst, qd::vst2::effMainsChanged, 0, 1, nullptr, 0.0f);

  // Normalised values exact in float and double: clipper pushed, soft, 4x; limiter pushed,
  // 2x, manual release.
  const std::pair<int, float> settings[] = {{0, 0.5f},  {1, 1.0f}, {2, 1.0f},
                                            {3, 0.25f}, {4, 0.0f}, {6, 0.5f}};
  for (auto [index, n] : settings) {
    vst->setParameter(vst, index, n);
    const std::string id = std::to_string(index + 1);
    aaxInstance->Params()->UpdateParameterNormalizedValue(id.c_str(), n, 0);
  }

  std::vector<float> l(kBlock), r(kBlock), al(kBlock), ar(kBlock), vl(kBlock), vr(kBlock);
  float* in[2] = {l.data(), r.data()};
  float* aaxOut[2] = {al.data(), ar.data()};
  float* vstOut[2] = {vl.data(), vr.data()};
  for (int block = 0; block < 40; ++block) {
    for (int k = 0; k < kBlock; ++k) {
      const double t = (block * kBlock + k) / 44100.0;
      l[k] = static_cast<float>(0.9 * std::sin(2 * M_PI * 110.0 * t) +
                                0.3 * std::sin(2 * M_PI * 2210.0 * t));
      r[k] = static_cast<float>(0.8 * std::sin(2 * M_PI * 137.0 * t + 0.4));
    }
    aaxInstance->Render(in, aaxOut, kBlock);
    vst->processReplacing(vst, in, vstOut, kBlock);
    ASSERT_EQ(al, vl) << "block " << block;
    ASSERT_EQ(ar, vr) << "block " << block;
  }

  vst->dispatcher(vst, qd::vst2::effMainsChanged, 0, 0, nullptr, 0.0f);
  vst->dispatcher(vst, qd::vst2::effClose, 0, 0, nullptr, 0.0f);
  dlclose(vstModule);
  aaxInstance.reset();
  EXPECT_EQ(aaxHost.Api().canUnloadNow(), 0);
}

}  // namespace

#endif  // QD_VST2_MODULE_PATH
