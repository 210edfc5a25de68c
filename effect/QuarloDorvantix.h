// The plug-in: twelve parameters, the audio engine and the editor over the plug-in base.
// A format binding creates one per host instance and forwards the host's calls to it.
// Every entry holds the base's recursive mutex (see PluginBase).
#pragma once

#include "effect/Parameters.h"
#include "framework/PluginBase.h"

namespace qd {

class QuarloDorvantix : public PluginBase {
 public:
  // formatCode: kFormatVst2 labels each channel, any other format labels the buses.
  explicit QuarloDorvantix(int formatCode);
  ~QuarloDorvantix() override;

  void ResetProcessing() override;
  void ParamChanged(int index, int source) override;
  void ProcessAudio(double** inputs, double** outputs, int nFrames) override;
};

}  // namespace qd
