#include "formats/lv2/Lv2Meters.h"

#include <algorithm>
#include <cmath>

#include "effect/EnvelopeFollower.h"

namespace qd::lv2 {

namespace {

float Clamped(MeterIndex i, double v) {
  const MeterPort& port = kMeterPorts[i];
  if (std::isnan(v)) return port.minimum;
  return static_cast<float>(std::clamp(v, double{port.minimum}, double{port.maximum}));
}

}  // namespace

void MetersToPorts(const MeterSnapshot& m, double outputGainDb, float* values) {
  values[kMeterIntegrated] = Clamped(kMeterIntegrated, m.integratedLufs);
  values[kMeterRange] = Clamped(kMeterRange, m.rangeLu);
  // No measurement yet reads as the bottom of the range.
  values[kMeterLongTermRms] = Clamped(kMeterLongTermRms, m.hasRms ? m.rmsDb : -HUGE_VAL);
  values[kMeterRmsLeft] = Clamped(kMeterRmsLeft, GainToDb(m.rmsLeft));
  values[kMeterRmsRight] = Clamped(kMeterRmsRight, GainToDb(m.rmsRight));
  values[kMeterPeakLeft] = Clamped(kMeterPeakLeft, GainToDb(m.peakLeft));
  values[kMeterPeakRight] = Clamped(kMeterPeakRight, GainToDb(m.peakRight));
  values[kMeterClipperReduction] = Clamped(kMeterClipperReduction, m.clipperReductionDb);
  values[kMeterClipperHold] = Clamped(kMeterClipperHold, m.clipperHoldDb);
  values[kMeterLimiterReduction] = Clamped(kMeterLimiterReduction, m.limiterReductionDb);
  values[kMeterLimiterHold] = Clamped(kMeterLimiterHold, m.limiterHoldDb);
  values[kMeterOutputGain] = Clamped(kMeterOutputGain, outputGainDb);
}

MeterSnapshot MetersFromPorts(const float* values) {
  MeterSnapshot m;
  m.integratedLufs = values[kMeterIntegrated];
  m.rangeLu = values[kMeterRange];
  m.hasRms = values[kMeterLongTermRms] > kMeterPorts[kMeterLongTermRms].minimum;
  m.rmsDb = values[kMeterLongTermRms];
  m.rmsLeft = DbToGain(values[kMeterRmsLeft]);
  m.rmsRight = DbToGain(values[kMeterRmsRight]);
  m.peakLeft = DbToGain(values[kMeterPeakLeft]);
  m.peakRight = DbToGain(values[kMeterPeakRight]);
  m.clipperReductionDb = values[kMeterClipperReduction];
  m.clipperHoldDb = values[kMeterClipperHold];
  m.limiterReductionDb = values[kMeterLimiterReduction];
  m.limiterHoldDb = values[kMeterLimiterHold];
  return m;
}

}  // namespace qd::lv2
