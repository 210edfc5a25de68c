#include "framework/PluginParam.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace qd {
namespace {

PluginParam Enum3() {
  PluginParam p;
  p.DefineEnum("Mode", 0, 3, "", "");
  p.AddDisplayText(0, "off");
  p.AddDisplayText(1, "2x");
  p.AddDisplayText(2, "4x");
  return p;
}

TEST(PluginParam, DefinitionsSetKindRangeAndPrecision) {
  struct Case {
    double step;
    int precision;
  } cases[] = {{1, 0}, {0.5, 1}, {0.1, 1}, {0.25, 2}, {0.01, 2}, {0.001, 3}, {1e-7, 6}};
  for (const Case& c : cases) {
    PluginParam p;
    p.DefineDouble("x", 0, 0, 10, c.step, "", "", 1.0);
    EXPECT_EQ(p.DisplayPrecision(), c.precision) << "step " << c.step;
  }
  PluginParam narrow;
  narrow.DefineDouble("n", 0, 5, 4, 0.5, "", "", 1.0);
  EXPECT_EQ(narrow.MaxValue(), 5.5);  // max < min + step gives min + step

  PluginParam b;
  b.DefineBool("b", true, "", "");
  EXPECT_EQ(b.Kind(), kParamBool);
  EXPECT_EQ(b.Step(), 0.1);
  EXPECT_EQ(b.DisplayPrecision(), 1);
  EXPECT_EQ(b.Value(), 1.0);
  EXPECT_EQ(b.DisplayTextCount(), 2);

  PluginParam shaped;
  shaped.DefineDouble("s", 0, 0, 1, 0.1, "", "", 0.5);
  shaped.SetCurveShape(0.0);
  EXPECT_EQ(shaped.Shape(), 0.5);
  shaped.DefineDouble("s", 0, 0, 1, 0.1, "", "", 0.0);
  EXPECT_EQ(shaped.Shape(), 0.5);
}

TEST(PluginParam, NormalisedMappingAndSnapping) {
  PluginParam boolean;
  boolean.DefineBool("b", false, "", "");
  PluginParam release;
  release.DefineDouble("Release", 100, 1, 500, 1.0, "ms", "", 1.0);
  PluginParam fine;
  fine.DefineDouble("Fine", 0, -6, 24, 0.1, "dB", "", 1.0);
  PluginParam shaped;
  shaped.DefineDouble("Shaped", 0, -30, 0, 0.1, "dB", "", 0.5);
  PluginParam mode = Enum3();

  struct Case {
    PluginParam* p;
    double normalized;
    double expected;
  } cases[] = {
      {&boolean, 0.46, 0.5}, {&mode, 0.74, 1.5},     {&mode, 0.9, 1.8},
      {&mode, 1.0, 2.0},     {&release, 0.5, 251.0}, {&fine, 0.123, -6 + 0.123 * 30},
      {&shaped, 0.25, -15},  {&shaped, 1.0, 0.0},    {&shaped, 0.0, -30},
  };
  for (const Case& c : cases) {
    c.p->SetFromNormalized(c.normalized);
    EXPECT_NEAR(c.p->Value(), c.expected, 1e-12) << c.p->Name() << " from " << c.normalized;
  }
  EXPECT_NEAR(shaped.ToNormalized(-15), 0.25, 1e-12);
  EXPECT_EQ(shaped.ToNormalized(-100), 0.0);
  EXPECT_EQ(shaped.ToNormalized(100), 1.0);
}

TEST(PluginParam, HostilenormalisedValuesStayInRange) {
  PluginParam p;
  p.DefineDouble("x", 3, 1, 500, 1.0, "", "", 0.5);
  p.SetFromNormalized(NAN);
  EXPECT_EQ(p.Value(), 3);
  p.SetFromNormalized(INFINITY);
  EXPECT_EQ(p.Value(), 500);
  p.SetFromNormalized(-INFINITY);
  EXPECT_EQ(p.Value(), 1);
  p.SetFromNormalized(-0.5);
  EXPECT_EQ(p.Value(), 1);
  EXPECT_EQ(p.ToNormalized(NAN), 0.0);
}

TEST(PluginParam, DisplayTextsAndLabels) {
  char out[32];
  PluginParam b;
  b.DefineBool("b", false, "", "");
  b.SetFromNormalized(0.46);
  b.FormatForHost(b.Value(), false, out, true);
  EXPECT_STREQ(out, "off");
  EXPECT_STREQ(b.LabelForHost(), "");

  PluginParam mode = Enum3();
  mode.SetFromNormalized(0.74);
  mode.FormatForHost(mode.Value(), false, out, true);
  EXPECT_STREQ(out, "2x");
  mode.FormatForHost(1.0, true, out, true);
  EXPECT_STREQ(out, "4x");
  mode.FormatForHost(1.0, true, out, false);
  EXPECT_STREQ(out, "2.0");

  PluginParam db;
  db.DefineDouble("Level", 0, -6, 24, 0.1, "dB", "", 1.0);
  db.FormatForHost(-0.7, false, out, true);
  EXPECT_STREQ(out, "-0.7");
  EXPECT_STREQ(db.LabelForHost(), "dB");
  PluginParam whole;
  whole.DefineDouble("Whole", 0, -6, 24, 1.0, "ms", "", 1.0);
  whole.FormatForHost(-0.7, false, out, true);
  EXPECT_STREQ(out, "0");
  whole.FormatForHost(1e300, false, out, true);  // saturates instead of overflowing
  EXPECT_STREQ(out, "2147483647");
  db.SetNegateDisplay(true);
  db.FormatForHost(3.5, false, out, true);
  EXPECT_STREQ(out, "-3.5");

  int v = -1;
  EXPECT_TRUE(mode.LookupDisplayText("4x", &v));
  EXPECT_EQ(v, 2);
  v = -1;
  EXPECT_FALSE(b.LookupDisplayText("On", &v));
  EXPECT_EQ(v, -1);
  EXPECT_STREQ(mode.DisplayTextFor(7), "");
}

TEST(PluginParam, LongTextsAreCutNotOverflowed) {
  const std::string longName(100, 'n');
  PluginParam p;
  p.DefineDouble(longName.c_str(), 0, 0, 1, 0.1, longName.c_str(), longName.c_str(), 1.0);
  p.AddDisplayText(0, longName.c_str());
  EXPECT_EQ(std::string(p.Name()), longName.substr(0, 31));
  EXPECT_EQ(std::string(p.Label()), longName.substr(0, 31));
  EXPECT_EQ(std::string(p.DisplayTextFor(0)), longName.substr(0, 31));
}

}  // namespace
}  // namespace qd
