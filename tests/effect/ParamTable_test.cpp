// Physical facts of the plug-in's parameter table, and what every format derives from it.
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstring>
#include <set>
#include <string>

#include "effect/Parameters.h"
#include "effect/QuarloDorvantix.h"

namespace qd {
namespace {

TEST(ParamTable, RowsAreSaneAndIdentifiersStable) {
  ASSERT_EQ(kParamTable.Count(), kNumParams);
  std::set<std::string> ids, names;
  for (int i = 0; i < kParamTable.Count(); ++i) {
    const ParamDefinition& row = *kParamTable.Row(i);
    SCOPED_TRACE(row.identifier);
    for (const char* c = row.identifier; *c; ++c) {
      EXPECT_TRUE(std::islower(static_cast<unsigned char>(*c)) || *c == '_');
    }
    EXPECT_TRUE(ids.insert(row.identifier).second) << "identifiers are unique";
    EXPECT_TRUE(names.insert(row.name).second) << "names are unique";
    EXPECT_LT(std::strlen(row.name), static_cast<size_t>(kParamTextSize));
    EXPECT_LT(row.minValue, row.maxValue);
    EXPECT_GE(row.defaultValue, row.minValue);
    EXPECT_LE(row.defaultValue, row.maxValue);
    EXPECT_GT(row.shape, 0.0);
    EXPECT_EQ(kParamTable.Find(row.identifier), i);
  }
  EXPECT_EQ(kParamTable.Find("no_such_parameter"), -1);
  EXPECT_EQ(kParamTable.Find(nullptr), -1);
  // The identifiers hosts store: fixed for good.
  EXPECT_EQ(kParamTable.Find("clipper_level"), kClipperLevel);
  EXPECT_EQ(kParamTable.Find("reset_meters"), kResetMeters);
  EXPECT_EQ(kParamTable.Find("auto_type"), kAutoOutType);
}

TEST(ParamTable, DefinedParametersFollowTheirRows) {
  QuarloDorvantix p(PortLabels::kPerBus, false);
  for (int i = 0; i < kParamTable.Count(); ++i) {
    const ParamDefinition& row = *kParamTable.Row(i);
    const PluginParam& param = *p.GetParam(i);
    SCOPED_TRACE(row.identifier);
    EXPECT_STREQ(param.Name(), row.name);
    EXPECT_EQ(param.Kind(), row.kind);
    EXPECT_EQ(param.MinValue(), row.minValue);
    EXPECT_EQ(param.MaxValue(), row.maxValue);
    EXPECT_EQ(param.DefaultValue(), row.defaultValue);
    EXPECT_EQ(param.Value(), row.defaultValue);
    // The range's ends are normalised 0 and 1 and map back to themselves.
    EXPECT_EQ(param.ToNormalized(row.minValue), 0.0);
    EXPECT_EQ(param.ToNormalized(row.maxValue), 1.0);
    // Every display text names its value, and reads back as that value.
    for (int t = 0; t < kMaxParamTexts && row.texts[t]; ++t) {
      const double v = t;
      char text[kParamTextSize];
      ASSERT_TRUE(p.FormatParameter(i, &v, false, text, sizeof(text)));
      EXPECT_STREQ(text, row.texts[t]);
      double back = -1;
      EXPECT_TRUE(p.ParameterValueFromText(i, row.texts[t], &back));
      EXPECT_EQ(back, v);
    }
    // Every format's ID names this row.
    char id[16];
    ASSERT_TRUE(AaxParamId(i, id, sizeof(id)));
    EXPECT_EQ(ParamIndexFromAaxId(id, kNumParams), i);
  }
  // Physical facts: a quarter turn of the output level (shape 0.5) reaches the middle of its
  // range, -15 dB, and a number with its unit reads back.
  EXPECT_NEAR(p.GetParam(kOutputLevel)->ToNormalized(-15.0), 0.25, 1e-12);
  double v = 0;
  EXPECT_TRUE(p.ParameterValueFromText(kReleaseTime, "250 ms", &v));
  EXPECT_EQ(v, 250.0);
  for (const char* id : {"0", "13", "01", "+1", "1x", "", "MasterBypassID"}) {
    EXPECT_EQ(ParamIndexFromAaxId(id, kNumParams), -1) << id;
  }
}

}  // namespace
}  // namespace qd
