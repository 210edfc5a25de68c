// The meters as the DSP binary reports them on its control outputs and as the UI binary
// reads them back: one conversion each way, so the editor apart from the processor shows
// what the processor's own editor would. Pure functions; any thread, the audio thread
// included (no allocation).
#pragma once

#include "effect/Meters.h"
#include "formats/lv2/Lv2Ports.h"

namespace qd::lv2 {

// Writes the snapshot and the output gain in effect (dB) into the meter outputs' values,
// in kMeterPorts order, each clamped into its port's range (a value that is no number reads
// as the range's minimum).
void MetersToPorts(const MeterSnapshot& meters, double outputGainDb, float* values);

// The snapshot the meter outputs stand for.
MeterSnapshot MetersFromPorts(const float* values);

}  // namespace qd::lv2
