// One host-automatable parameter: real value, range, step, curve shape and display texts.
// Converts between the real value and the normalised 0..1 value hosts and controls exchange.
// No lock of its own: every caller holds the owning plug-in's mutex.
#pragma once

#include <cstdint>
#include <vector>

#include "framework/Text.h"

namespace qd {

enum ParamKind : int32_t { kParamUnset = 0, kParamBool = 1, kParamEnum = 3, kParamDouble = 4 };

constexpr int kParamTextSize = 32;  // name, label, group and display texts: 31 chars + NUL

class PluginParam {
 public:
  struct DisplayText {
    int32_t value;
    char text[kParamTextSize];
  };

  void DefineDouble(const char* name, double defaultValue, double minValue, double maxValue,
                    double step, const char* label, const char* group, double shape);
  void DefineBool(const char* name, bool defaultValue, const char* label, const char* group);
  void DefineEnum(const char* name, int defaultIndex, int count, const char* label,
                  const char* group);
  void AddDisplayText(int value, const char* text);
  void SetCurveShape(double shape);

  // Host and editor side. A NaN is ignored and the normalised value is clamped to 0..1,
  // so no host value can leave the parameter outside its range or non-finite.
  void SetFromNormalized(double normalized);
  double ToNormalized(double value) const;
  double Normalized() const { return ToNormalized(value_); }

  // Writes at most kParamTextSize bytes (terminated) into out.
  void FormatForHost(double v, bool isNormalized, char* out, bool useDisplayTexts) const;
  const char* DisplayTextFor(int value) const;  // "" when none
  const char* LabelForHost() const;
  bool LookupDisplayText(const char* text, int* out) const;
  // The one reader of a value typed or sent as text, for every format and the editor: a
  // parameter with display texts takes exactly one of them; any other takes a finite number
  // at the start of the text (a unit may follow), negated where the display is. False, and
  // *value untouched, for anything else (empty text, junk, "nan", "inf", null). `rule` says
  // how much of the text the number must fill (see Text.h): hosts let a unit follow, the
  // editor's text entry takes the number alone.
  bool ParseText(const char* text, double* value,
                 NumberRule rule = NumberRule::kLeadingNumber) const;
  int DisplayTextCount() const { return static_cast<int>(displayTexts_.size()); }

  // Stores a real value clamped into the range (state restore and text entry); NaN ignored.
  void SetClamped(double v);

  ParamKind Kind() const { return kind_; }
  double Value() const { return value_; }
  double MinValue() const { return minValue_; }
  double MaxValue() const { return maxValue_; }
  double Step() const { return step_; }
  double Shape() const { return shape_; }
  double DefaultValue() const { return defaultValue_; }
  int DisplayPrecision() const { return displayPrecision_; }
  const char* Name() const { return name_; }
  const char* Label() const { return label_; }
  const char* Group() const { return group_; }
  bool NegateDisplay() const { return negateDisplay_; }
  void SetNegateDisplay(bool on) { negateDisplay_ = on; }
  bool CanAutomate() const { return canAutomate_; }
  void SetCanAutomate(bool on) { canAutomate_ = on; }

 private:
  ParamKind kind_ = kParamUnset;
  double value_ = 0.0;
  double minValue_ = 0.0;
  double maxValue_ = 1.0;
  double step_ = 1.0;
  double shape_ = 1.0;
  double defaultValue_ = 0.0;
  int32_t displayPrecision_ = 0;
  char name_[kParamTextSize] = {};
  char label_[kParamTextSize] = {};
  char group_[kParamTextSize] = {};
  bool negateDisplay_ = false;
  bool canAutomate_ = true;
  std::vector<DisplayText> displayTexts_;
};

}  // namespace qd
