// Rules one format gives its host's view of a parameter, kept in the core so that a binding
// names the rule instead of carrying it. (The VST2 rules, exact display-text lookup and the
// parameter's own snapping, are PluginParam's ParseText, FormatForHost and SetFromNormalized.)
//
// Threads: pure functions; any thread. The text functions allocate (std::string) and are not
// for the audio thread.
#pragma once

#include <cstdint>
#include <string>

namespace qd::aax_policy {

// The curve taper of a continuous parameter:
// real = clamp(min + (max - min) * n^shape, min, max), and back; a NaN reads as 0.
double CurveToReal(double minValue, double maxValue, double shape, double normalized);
double CurveToNormalized(double minValue, double maxValue, double shape, double real);
// A shape that is not a positive finite number is taken as 1.
double SaneShape(double shape);

// The linear taper of a discrete parameter: real = trunc((max - min) * n + min), clamped;
// normalised = (real - min) / (max - min).
int32_t SteppedToReal(int32_t minValue, int32_t maxValue, double normalized);
double SteppedToNormalized(int32_t minValue, int32_t maxValue, int32_t real);

// A number in fixed notation with `precision` decimals; cut to maxLength characters (when
// maxLength >= 0) without leaving a trailing "." behind.
std::string NumberText(double value, int precision, int32_t maxLength = -1);
// Appends the unit when the result still fits in maxLength (always when maxLength < 0).
void AppendUnit(std::string* text, const std::string& unit, int32_t maxLength = -1);
// Cuts text to maxLength characters (a negative length cuts everything).
void CutText(std::string* text, int32_t maxLength);

}  // namespace qd::aax_policy
