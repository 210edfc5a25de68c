// The plug-in's description for the host: one effect with a component per channel
// configuration (stem formats, four-character IDs, property map, render procedure and its
// context layout) and the two create procedures; and the render procedure the host calls.
//
// Threads: DescribeEffect runs on the host's thread during registration; RenderDispatch on
// its audio thread.
#pragma once

#include <cstdint>

#include "formats/aax/AaxProxies.h"
#include "formats/aax/acf/AaxInterfaces.h"

namespace qd {

struct ComponentSetupRecord {
  bool wantsGlobalMidi = false;
  const char* globalMidiName = "GlobalMIDI";
  uint32_t globalMidiEventMask = 0xffff;
  bool wantsLocalMidiInput = true;
  const char* localMidiName = "QuarloDorvantix Midi";
  uint32_t localMidiChannelMask = 1;
  bool wantsTransport = true;
  const char* transportName = "Transport";
  int32_t meterCount = 0;
  const uint32_t* meterIds = nullptr;
  int32_t auxOutputStemCount = 0;
  const void* reserved = nullptr;
  const char* auxOutputStemNames[aax::kMaxAuxOutputStems] = {};
  int32_t auxOutputStemFormats[aax::kMaxAuxOutputStems] = {1, 1, 1, 1, 1, 1, 1, 1,
                                                           1, 1, 1, 1, 1, 1, 1, 1};
  int32_t inputStemFormat = aax::kStemNone;
  int32_t outputStemFormat = aax::kStemNone;
  bool usesClientGui = false;
  bool canBypass = true;
  uint32_t manufacturerId = 0;
  uint32_t productId = 0;
  uint32_t nativePluginId = 0;
  uint32_t audioSuitePluginId = 0;
  int32_t latency = 0;
};

// What DescribeEffect tells the host about one plug-in.
struct EffectDescription {
  const char* pluginNames = "";    // names separated by "\n"
  const char* channelConfig = "";  // "in-out" pairs separated by " "
  const char* manufacturerNames = "";
  const char* effectId = "";
  uint32_t manufacturerId = 0;
  uint32_t productId = 0;
  uint32_t packageVersion = 0;
  // Plug-in IDs per configuration, in the order the configurations are parsed.
  static constexpr int kMaxConfigurations = 2;
  uint32_t nativeIds[kMaxConfigurations] = {};
  uint32_t audioSuiteIds[kMaxConfigurations] = {};
  aax::CreateProc createEffectParameters = nullptr;
  aax::CreateProc createGui = nullptr;
};

// Channel count -> stem format; counts without a layout give aax::kStemNone.
int32_t StemFormatForChannels(int channels);

aax::Result DescribeComponent(AAX_VEffectDescriptor& effect, const ComponentSetupRecord& setup);
aax::Result DescribeEffect(AAX_VCollection& collection, const EffectDescription& description);

// The native render procedure: renders every instance whose context names one.
void RenderDispatch(void* const contexts[], const void* end);

}  // namespace qd
