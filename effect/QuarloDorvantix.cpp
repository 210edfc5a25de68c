#include "effect/QuarloDorvantix.h"

namespace qd {

namespace {

PluginIdentity Identity(int formatCode) {
  PluginIdentity id;
  id.paramCount = kNumParams;
  id.channelConfig = kChannelConfig;
  id.presetCount = 1;
  id.effectName = kEffectName;
  id.productName = "";
  id.makerName = kMakerName;
  id.version = kPluginVersion;
  id.uniqueId = kPluginUniqueId;
  id.makerId = kPluginManufacturerId;
  id.latency = 0;
  id.doesMidi = true;
  id.doesChunks = false;
  id.isInstrument = false;
  id.formatCode = formatCode;
  return id;
}

void DefineParameters(PluginBase& p) {
  p.GetParam(kClipperLevel)->DefineDouble("Clipper Level", 0.0, -6.0, 24.0, 0.1, "dB", "", 1.0);
  p.GetParam(kSoftClipper)->DefineBool("Soft Clipper", false, "", "");
  PluginParam* clipOs = p.GetParam(kClipperOversample);
  clipOs->DefineEnum("Clipper Oversample", 0, 3, "", "");
  clipOs->AddDisplayText(0, "off");
  clipOs->AddDisplayText(1, "2x");
  clipOs->AddDisplayText(2, "4x");
  p.GetParam(kLimiterLevel)->DefineDouble("Limiter Level", 0.0, -6.0, 24.0, 0.1, "dB", "", 1.0);
  p.GetParam(kAutoRelease)->DefineBool("AutoRelease", true, "", "");
  p.GetParam(kReleaseTime)->DefineDouble("Release Time", 100.0, 1.0, 500.0, 1.0, "ms", "", 1.0);
  PluginParam* limOs = p.GetParam(kLimiterOversample);
  limOs->DefineEnum("Limiter Oversample", 0, 3, "", "");
  limOs->AddDisplayText(0, "off");
  limOs->AddDisplayText(1, "2x");
  limOs->AddDisplayText(2, "4x");
  PluginParam* output = p.GetParam(kOutputLevel);
  output->DefineDouble("Output Level", -0.2, -30.0, -0.0, 0.1, "dB", "", 1.0);
  output->SetCurveShape(0.5);
  p.GetParam(kAutoOutputLevel)->DefineBool("Auto output level", false, "", "");
  p.GetParam(kAutoOutputTarget)
      ->DefineDouble("Auto output target", -12.0, -48.0, 0.0, 1.0, "dB", "", 1.0);
  PluginParam* type = p.GetParam(kAutoOutType);
  type->DefineEnum("Auto out type", 1, 3, "", "");
  type->AddDisplayText(0, "dBFS");
  type->AddDisplayText(1, "RMS");
  type->AddDisplayText(2, "LUFS");
  p.GetParam(kResetMeters)->DefineBool("Reset Meters", false, "", "");
}

}  // namespace

QuarloDorvantix::QuarloDorvantix(int formatCode) : PluginBase(Identity(formatCode)) {
  DefineParameters(*this);
  InitPresetsFromState("-", 1);
  if (formatCode == kFormatVst2) {
    SetInputLabel(0, "main input L");
    SetInputLabel(1, "main input R");
    SetOutputLabel(0, "output L");
    SetOutputLabel(1, "output R");
  } else {
    SetInputBusLabel(0, "main input");
    SetOutputBusLabel(0, "output");
  }
  NotifyAllParamsChanged(kSourceHostOpen);
}

QuarloDorvantix::~QuarloDorvantix() = default;

void QuarloDorvantix::ResetProcessing() {
  std::lock_guard<std::recursive_mutex> lock(Mutex());
}

void QuarloDorvantix::ParamChanged(int index, int source) {
  std::lock_guard<std::recursive_mutex> lock(Mutex());
  (void)index;
  (void)source;
}

void QuarloDorvantix::ProcessAudio(double** inputs, double** outputs, int nFrames) {
  PluginBase::ProcessAudio(inputs, outputs, nFrames);
}

}  // namespace qd
