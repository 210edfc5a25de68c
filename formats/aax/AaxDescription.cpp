#include "formats/aax/AaxDescription.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "formats/aax/AaxEffectParameters.h"
#include "framework/PluginBase.h"

namespace qd {

namespace {

// Calls fn for each piece of text between separators, stopping at the first empty piece.
template <typename Fn>
void ForEachPiece(const char* text, char separator, Fn&& fn) {
  if (!text) return;
  const char* p = text;
  for (;;) {
    const char* end = std::strchr(p, separator);
    const std::string piece = end ? std::string(p, end) : std::string(p);
    if (piece.empty()) return;
    fn(piece.c_str());
    if (!end) return;
    p = end + 1;
  }
}

}  // namespace

int32_t StemFormatForChannels(int channels) {
  switch (channels) {
    case 1:
      return aax::kStemMono;
    case 2:
      return aax::kStemStereo;
    case 3:
      return aax::kStemLcr;
    case 4:
      return aax::kStemQuad;
    case 5:
      return aax::kStem50;
    case 6:
      return aax::kStem51;
    case 7:
      return aax::kStem61;
    case 8:
      return aax::kStem71;
    default:
      return aax::kStemNone;
  }
}

aax::Result DescribeComponent(AAX_VEffectDescriptor& effect, const ComponentSetupRecord& s) {
  aax::Result r = aax::kSuccess;
  std::unique_ptr<AAX_VComponentDescriptor> c = effect.NewComponentDescriptor();

  r |= s.wantsGlobalMidi ? c->AddMidiNode(aax::kFieldGlobalMidi, aax::kNodeGlobalMidi,
                                          s.globalMidiName, s.globalMidiEventMask)
                         : c->AddPrivateData(aax::kFieldGlobalMidi, 4, 0);
  r |= s.wantsLocalMidiInput ? c->AddMidiNode(aax::kFieldMidiIn, aax::kNodeLocalMidiInput,
                                              s.localMidiName, s.localMidiChannelMask)
                             : c->AddPrivateData(aax::kFieldMidiIn, 4, 0);
  r |= s.wantsTransport
           ? c->AddMidiNode(aax::kFieldTransport, aax::kNodeTransport, s.transportName, 0xffff)
           : c->AddPrivateData(aax::kFieldTransport, 4, 0);

  r |= c->AddAudioIn(aax::kFieldAudioIn);
  r |= c->AddAudioOut(aax::kFieldAudioOut);
  r |= c->AddAudioBufferLength(aax::kFieldBufferLength);

  r |= s.meterCount > 0
           ? c->AddMeters(aax::kFieldMeters, s.meterIds, static_cast<uint32_t>(s.meterCount))
           : c->AddPrivateData(aax::kFieldMeters, 4, 0);

  const int stems = s.auxOutputStemCount < aax::kMaxAuxOutputStems ? s.auxOutputStemCount
                                                                   : aax::kMaxAuxOutputStems;
  for (int i = 0; i < stems; ++i) {
    r |=
        c->AddAuxOutputStem(aax::kFieldAudioIn, s.auxOutputStemFormats[i], s.auxOutputStemNames[i]);
  }

  r |= c->AddPrivateData(aax::kFieldPrivateData, 8, 0);

  std::unique_ptr<AAX_VPropertyMap> props = c->NewPropertyMap();
  if (s.usesClientGui) r |= props->AddProperty(aax::kPropUsesClientGui, 1);
  r |= props->AddProperty(aax::kPropLatency, s.latency);
  r |= props->AddProperty(aax::kPropInputStemFormat, s.inputStemFormat);
  r |= props->AddProperty(aax::kPropOutputStemFormat, s.outputStemFormat);
  r |= props->AddProperty(aax::kPropCanBypass, s.canBypass ? 1 : 0);
  r |= props->AddProperty(aax::kPropManufacturerId, static_cast<int32_t>(s.manufacturerId));
  r |= props->AddProperty(aax::kPropProductId, static_cast<int32_t>(s.productId));
  r |= props->AddProperty(aax::kPropNativePluginId, static_cast<int32_t>(s.nativePluginId));
  if (s.audioSuitePluginId != aax::kFourCcNone) {
    r |= props->AddProperty(aax::kPropAudioSuitePluginId,
                            static_cast<int32_t>(s.audioSuitePluginId));
  }

  r |= c->AddProcessProcNative(&RenderDispatch, props.get(), nullptr, nullptr);
  r |= effect.AddComponent(c.get());
  return r;
}

aax::Result DescribeEffect(AAX_VCollection& collection, const EffectDescription& d) {
  std::unique_ptr<AAX_VEffectDescriptor> effect = collection.NewDescriptor();
  if (!effect) return aax::kErrorNullObject;

  ForEachPiece(d.pluginNames, '\n', [&](const char* name) {
    effect->AddName(name);
    collection.AddPackageName(name);
  });

  aax::Result r = effect->AddCategory(aax::kCategoryDynamics);

  int configuration = 0;
  for (const ChannelConfig& config : ParseChannelConfigs(d.channelConfig, true)) {
    int in = config.numInputs, out = config.numOutputs;
    // The ID table has one row per configuration; a configuration without a row has no IDs
    // to register under and is left out.
    if (configuration >= EffectDescription::kMaxConfigurations) break;
    if (in < 1) in = 1;
    ComponentSetupRecord setup;
    setup.inputStemFormat = StemFormatForChannels(in);
    setup.outputStemFormat = StemFormatForChannels(out);
    setup.manufacturerId = d.manufacturerId;
    setup.productId = d.productId;
    setup.nativePluginId = d.nativeIds[configuration];
    setup.audioSuitePluginId = d.audioSuiteIds[configuration];
    ++configuration;
    r |= DescribeComponent(*effect, setup);
  }

  r |= effect->AddProcPtr(reinterpret_cast<void*>(d.createEffectParameters),
                          aax::kProcCreateEffectParameters);
  r |= effect->AddProcPtr(reinterpret_cast<void*>(d.createGui), aax::kProcCreateEffectGui);

  if (r == aax::kSuccess) r = collection.AddEffect(d.effectId, effect.get());

  ForEachPiece(d.manufacturerNames, '\n',
               [&](const char* name) { collection.SetManufacturerName(name); });
  collection.SetPackageVersion(d.packageVersion);
  return r;
}

void RenderDispatch(void* const contexts[], const void* end) {
  if (!contexts) return;
  for (void* const* p = contexts; static_cast<const void*>(p) < end; ++p) {
    auto* const* context = static_cast<void* const*>(*p);
    if (AAX_CEffectParameters* instance = AAX_CEffectParameters::FromContext(context)) {
      instance->RenderAudio(context);
    }
  }
}

}  // namespace qd
