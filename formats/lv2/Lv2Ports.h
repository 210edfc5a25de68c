// The plug-in's LV2 identity and port layout, shared by the DSP binding, the UI binding and
// the build-time Turtle generator, so the description a host reads and the indices the
// binaries use cannot drift apart. Constants only; any thread.
//
// Layout: the parameters come first, port i being parameter i with the parameter table's
// stable identifier as its symbol; then the stereo audio ports, the atom input for the
// host's time position, the meter outputs and the latency output.
#pragma once

#include <cstdint>

#include "effect/Parameters.h"

namespace qd::lv2 {

// The plug-in's URI: the maker's own, never changed (hosts store sessions by it).
constexpr const char* kPluginUri = "urn:quarlo:QuarloDorvantix";
constexpr const char* kUiUri = "urn:quarlo:QuarloDorvantix#ui";
constexpr const char* kInputGroupUri = "urn:quarlo:QuarloDorvantix#main_input";
constexpr const char* kOutputGroupUri = "urn:quarlo:QuarloDorvantix#main_output";
// The key of the state bytes (the VST2 program chunk's layout) in a host's saved state.
constexpr const char* kStateKeyUri = "urn:quarlo:QuarloDorvantix#program_chunk";

// File names inside the bundle.
constexpr const char* kBundleName = "QuarloDorvantix.lv2";
constexpr const char* kPluginTurtle = "QuarloDorvantix.ttl";

constexpr uint32_t kParamPorts = kNumParams;
constexpr uint32_t kInputLeftPort = kParamPorts;
constexpr uint32_t kInputRightPort = kParamPorts + 1;
constexpr uint32_t kOutputLeftPort = kParamPorts + 2;
constexpr uint32_t kOutputRightPort = kParamPorts + 3;
constexpr uint32_t kTimePort = kParamPorts + 4;
constexpr uint32_t kFirstMeterPort = kParamPorts + 5;

// What each meter output reports, in the order of kMeterPorts.
enum MeterIndex : uint32_t {
  kMeterIntegrated,
  kMeterRange,
  kMeterLongTermRms,
  kMeterRmsLeft,
  kMeterRmsRight,
  kMeterPeakLeft,
  kMeterPeakRight,
  kMeterClipperReduction,
  kMeterClipperHold,
  kMeterLimiterReduction,
  kMeterLimiterHold,
  kMeterOutputGain,
  kMeterCount,
};

struct AudioPort {
  const char* symbol;
  const char* name;
  bool input;
  bool left;
};

constexpr AudioPort kAudioPorts[] = {
    {"in_l", "Input L", true, true},
    {"in_r", "Input R", true, false},
    {"out_l", "Output L", false, true},
    {"out_r", "Output R", false, false},
};

// A meter output: its value is clamped into minimum..maximum before the host sees it. Each
// range holds the thresholds at which the editor's readouts change to "---", so a clamped
// value reads the same as the value itself.
struct MeterPort {
  const char* symbol;
  const char* name;
  const char* unit;  // "db", "lufs" or "lu"
  float minimum;
  float maximum;
};

constexpr MeterPort kMeterPorts[kMeterCount] = {
    {"integrated_loudness", "Integrated Loudness", "lufs", -70.0f, 0.0f},
    {"loudness_range", "Loudness Range", "lu", 0.0f, 50.0f},
    {"long_term_rms", "Long-term RMS", "db", -120.0f, 6.0f},
    {"rms_left", "RMS Left", "db", -120.0f, 6.0f},
    {"rms_right", "RMS Right", "db", -120.0f, 6.0f},
    {"peak_left", "Peak Left", "db", -120.0f, 6.0f},
    {"peak_right", "Peak Right", "db", -120.0f, 6.0f},
    {"clipper_reduction", "Clipper Gain Reduction", "db", 0.0f, 48.0f},
    {"clipper_hold", "Clipper Reduction Hold", "db", 0.0f, 48.0f},
    {"limiter_reduction", "Limiter Gain Reduction", "db", 0.0f, 48.0f},
    {"limiter_hold", "Limiter Reduction Hold", "db", 0.0f, 48.0f},
    {"output_gain", "Output Gain in Effect", "db", -30.0f, 0.0f},
};

constexpr uint32_t kLatencyPort = kFirstMeterPort + kMeterCount;
constexpr uint32_t kPortCount = kLatencyPort + 1;

}  // namespace qd::lv2
