// The plug-in's parameter indices. Index, name and order are part of the saved state and
// of the host interface: never reorder.
#pragma once

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

// Identity of the plug-in as hosts see it.
constexpr const char* kEffectName = "QuarloDorvantix";
constexpr const char* kMakerName = "Quarlo";
constexpr int kPluginVersion = 0x20006;          // 2.0.6
constexpr int kPluginUniqueId = 0x44565832;      // 'DVX2'
constexpr int kPluginManufacturerId = 0x51754C6F;  // 'QuLo'
constexpr const char* kChannelConfig = "1-1 2-2";

}  // namespace qd
