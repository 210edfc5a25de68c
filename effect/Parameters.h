// The plug-in's parameters, declared once: index, stable identifier, name, unit, range, step,
// curve shape, default and display texts. Index, name and order are part of the saved state
// and of the host interface, and identifiers are what LV2 and VST3 hosts store: never reorder
// or rename. Everything a format shows or stores of a parameter derives from its row.
#pragma once

#include <array>

#include "framework/ParamTable.h"

namespace qd {

enum ParamIndex : int {
  kClipperLevel = 0,
  kSoftClipper = 1,
  kClipperOversample = 2,
  kLimiterLevel = 3,
  kAutoRelease = 4,
  kReleaseTime = 5,
  kLimiterOversample = 6,
  kOutputLevel = 7,
  kAutoOutputLevel = 8,
  kAutoOutputTarget = 9,
  kAutoOutType = 10,
  kResetMeters = 11,
  kNumParams = 12,
};

// Rows in ParamIndex order. Bool and enum rows keep the step of tenths PluginParam gives them.
// clang-format off
inline constexpr std::array<ParamDefinition, kNumParams> kParamRows = {{
    {"clipper_level", "Clipper Level", "dB", kParamDouble, -6.0, 24.0, 0.1, 1.0, 0.0},
    {"soft_clipper", "Soft Clipper", "", kParamBool, 0.0, 1.0, 0.1, 1.0, 0.0, {"off", "on"}},
    {"clipper_oversample", "Clipper Oversample", "", kParamEnum, 0.0, 2.0, 0.1, 1.0, 0.0,
     {"off", "2x", "4x"}},
    {"limiter_level", "Limiter Level", "dB", kParamDouble, -6.0, 24.0, 0.1, 1.0, 0.0},
    {"auto_release", "AutoRelease", "", kParamBool, 0.0, 1.0, 0.1, 1.0, 1.0, {"off", "on"}},
    {"release_time", "Release Time", "ms", kParamDouble, 1.0, 500.0, 1.0, 1.0, 100.0},
    {"limiter_oversample", "Limiter Oversample", "", kParamEnum, 0.0, 2.0, 0.1, 1.0, 0.0,
     {"off", "2x", "4x"}},
    {"output_level", "Output Level", "dB", kParamDouble, -30.0, -0.0, 0.1, 0.5, -0.2},
    {"auto_output", "Auto output level", "", kParamBool, 0.0, 1.0, 0.1, 1.0, 0.0,
     {"off", "on"}},
    {"auto_target", "Auto output target", "dB", kParamDouble, -48.0, 0.0, 1.0, 1.0, -12.0},
    {"auto_type", "Auto out type", "", kParamEnum, 0.0, 2.0, 0.1, 1.0, 1.0,
     {"dBFS", "RMS", "LUFS"}},
    {"reset_meters", "Reset Meters", "", kParamBool, 0.0, 1.0, 0.1, 1.0, 0.0, {"off", "on"}},
}};
// clang-format on

inline constexpr ParamTable kParamTable{kParamRows};

// Identity of the plug-in as hosts see it.
constexpr const char* kEffectName = "QuarloDorvantix";
constexpr const char* kMakerName = "Quarlo";
constexpr int kPluginVersion = 0x20006;          // 2.0.6
constexpr int kPluginUniqueId = 0x44565832;      // 'DVX2'
constexpr int kPluginManufacturerId = 0x51754C6F;  // 'QuLo'
constexpr const char* kChannelConfig = "1-1 2-2";

}  // namespace qd
