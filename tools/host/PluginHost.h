// Loads a VST2 module with dlopen, creates one instance through its entry point and hosts
// it: answers its callback (time information at a chosen tempo, product string, automation
// it reports), sets parameters, keeps state and runs audio through the best processing
// entry it offers. Single-threaded: one HostedPlugin is used from one thread at a time.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "formats/vst2/Vst2Abi.h"

namespace qd::host {

constexpr const char* kHostProductName = "qdhost";
constexpr intptr_t kHostVersion = 10000;  // 1.0.0

// Which processing entry the host calls.
enum class Precision { kBest, kDouble, kFloat, kAccumulating };

struct AutomationRecord {
  int changes = 0;
  int gestures = 0;
  float last = 0.0f;
};

class HostedPlugin {
 public:
  // Throws HostError when the module cannot be loaded or creates no instance.
  explicit HostedPlugin(const std::string& path);
  ~HostedPlugin();
  HostedPlugin(const HostedPlugin&) = delete;
  HostedPlugin& operator=(const HostedPlugin&) = delete;

  const std::string& Path() const { return path_; }
  vst2::AEffect& Effect() { return *effect_; }
  intptr_t Dispatch(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr,
                    float opt = 0.0f);

  // ---- identity and parameters ----
  std::string EffectName();
  std::string VendorName();
  std::string ProductName();
  int ParamCount() const { return effect_->numParams; }
  int InputCount() const { return effect_->numInputs; }
  int OutputCount() const { return effect_->numOutputs; }
  std::string ParamName(int index);
  std::string ParamLabel(int index);
  std::string ParamDisplay(int index);
  float GetParam(int index);
  void SetParam(int index, float normalized);
  // The index of the parameter with this name (exact, else the only case-insensitive
  // match), or -1.
  int FindParam(const std::string& name);
  // Sets a parameter from display text through the plug-in's text conversion; false when
  // the plug-in does not accept the text.
  bool SetParamFromText(int index, const std::string& text);
  int ProgramCount() const { return effect_->numPrograms; }
  std::string ProgramName(int index);
  bool UsesChunks() const { return (effect_->flags & vst2::kEffFlagsProgramChunks) != 0; }
  // The plug-in's program chunk, empty when it gives none.
  std::vector<uint8_t> GetProgramChunk();
  bool SetProgramChunk(const std::vector<uint8_t>& bytes);

  // ---- processing ----
  // Sets rate and block size, switches processing on. tempo 0 reports no tempo.
  void Prepare(double sampleRate, int blockSize, double tempo, Precision precision, bool offline);
  // Runs frames (at most the block size) from planar inputs to planar outputs, one
  // pointer per plug-in input and output, and advances the host's transport.
  void Process(double* const* inputs, double* const* outputs, int frames);
  void Stop();
  Precision ActivePrecision() const { return active_; }
  int Latency() const { return effect_->initialDelay; }
  int BlockSize() const { return blockSize_; }

  // What the plug-in told the host, per parameter index.
  const std::map<int, AutomationRecord>& Automation() const { return automation_; }
  int TimeRequests() const { return timeRequests_; }

 private:
  static intptr_t Callback(vst2::AEffect* effect, int32_t opcode, int32_t index, intptr_t value,
                           void* ptr, float opt);
  intptr_t Answer(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt);
  std::string Text(int32_t opcode, int32_t index);

  std::string path_;
  void* module_ = nullptr;
  vst2::AEffect* effect_ = nullptr;
  vst2::VstTimeInfo time_{};
  double tempo_ = 0.0;
  int blockSize_ = 0;
  bool offline_ = false;
  bool running_ = false;
  Precision active_ = Precision::kDouble;
  std::vector<std::vector<float>> floatIn_, floatOut_;
  std::vector<float*> floatInPtrs_, floatOutPtrs_;
  std::vector<double*> doubleInPtrs_, doubleOutPtrs_;
  std::map<int, AutomationRecord> automation_;
  int timeRequests_ = 0;
};

}  // namespace qd::host
