// What a host reads from the bundle, through lilv: the plug-in by its URI, the class, the
// features, and every port's kind, symbol, name, range, default, properties, unit and scale
// points, checked against the parameter table the plug-in is built from.
#include <gtest/gtest.h>
#include <lv2/ui/ui.h>

#include <string>

#include "LilvHost.h"
#include "effect/Parameters.h"

namespace {

using qd::testing::Lv2World;
namespace lv2 = qd::lv2;

#define NS_LV2 "http://lv2plug.in/ns/lv2core#"
#define NS_UNITS "http://lv2plug.in/ns/extensions/units#"

bool PortIs(const LilvPlugin* plugin, const LilvPort* port, const char* classUri) {
  return lilv_port_is_a(plugin, port, Lv2World::Get().Uri(classUri));
}

bool HasProperty(const LilvPlugin* plugin, const LilvPort* port, const char* uri) {
  return lilv_port_has_property(plugin, port, Lv2World::Get().Uri(uri));
}

std::string Symbol(const LilvPlugin* plugin, const LilvPort* port) {
  return lilv_node_as_string(lilv_port_get_symbol(plugin, port));
}

std::string Unit(const LilvPlugin* plugin, const LilvPort* port) {
  LilvNodes* units = lilv_port_get_value(plugin, port, Lv2World::Get().Uri(NS_UNITS "unit"));
  std::string unit;
  if (units && lilv_nodes_size(units) == 1) {
    const LilvNode* u = lilv_nodes_get_first(units);
    unit = lilv_node_is_uri(u) ? lilv_node_as_uri(u) : "(described)";
  }
  lilv_nodes_free(units);
  return unit;
}

struct Range {
  float def = 0, min = 0, max = 0;
};

Range RangeOf(const LilvPlugin* plugin, const LilvPort* port) {
  LilvNode *def = nullptr, *min = nullptr, *max = nullptr;
  lilv_port_get_range(plugin, port, &def, &min, &max);
  Range r;
  EXPECT_TRUE(def && min && max) << Symbol(plugin, port);
  if (def) r.def = lilv_node_as_float(def);
  if (min) r.min = lilv_node_as_float(min);
  if (max) r.max = lilv_node_as_float(max);
  lilv_node_free(def);
  lilv_node_free(min);
  lilv_node_free(max);
  return r;
}

TEST(Lv2Description, ThePluginIsFoundByItsUriAsALimiterNeedingOnlyUridMap) {
  const LilvPlugin* plugin = Lv2World::Get().Plugin();
  ASSERT_NE(plugin, nullptr) << "no plug-in " << lv2::kPluginUri << " in " << QD_LV2_BUNDLE_DIR;
  EXPECT_TRUE(lilv_plugin_verify(plugin));
  LilvNode* name = lilv_plugin_get_name(plugin);
  EXPECT_STREQ(lilv_node_as_string(name), "QuarloDorvantix");
  lilv_node_free(name);
  LilvNodes* types = lilv_plugin_get_value(
      plugin, Lv2World::Get().Uri("http://www.w3.org/1999/02/22-rdf-syntax-ns#type"));
  EXPECT_TRUE(lilv_nodes_contains(types, Lv2World::Get().Uri(NS_LV2 "LimiterPlugin")));
  lilv_nodes_free(types);
  EXPECT_EQ(lilv_plugin_get_num_ports(plugin), lv2::kPortCount);

  LilvNodes* required = lilv_plugin_get_required_features(plugin);
  ASSERT_EQ(lilv_nodes_size(required), 1u);
  EXPECT_STREQ(lilv_node_as_uri(lilv_nodes_get_first(required)), LV2_URID__map);
  lilv_nodes_free(required);
  EXPECT_TRUE(lilv_plugin_has_feature(plugin, Lv2World::Get().Uri(NS_LV2 "hardRTCapable")));
  EXPECT_TRUE(lilv_plugin_has_latency(plugin));
  EXPECT_EQ(lilv_plugin_get_latency_port_index(plugin), lv2::kLatencyPort);
}

TEST(Lv2Description, ControlInputsFollowTheParameterTable) {
  const LilvPlugin* plugin = Lv2World::Get().Plugin();
  ASSERT_NE(plugin, nullptr);
  ASSERT_EQ(qd::kParamTable.Count(), static_cast<int>(lv2::kParamPorts));
  for (uint32_t i = 0; i < lv2::kParamPorts; ++i) {
    const qd::ParamDefinition& row = *qd::kParamTable.Row(static_cast<int>(i));
    const LilvPort* port = lilv_plugin_get_port_by_index(plugin, i);
    ASSERT_NE(port, nullptr);
    SCOPED_TRACE(row.name);
    EXPECT_TRUE(PortIs(plugin, port, NS_LV2 "InputPort"));
    EXPECT_TRUE(PortIs(plugin, port, NS_LV2 "ControlPort"));
    EXPECT_EQ(Symbol(plugin, port), row.identifier);
    EXPECT_EQ(lilv_plugin_get_port_by_symbol(plugin, Lv2World::Get().String(row.identifier)), port);
    LilvNode* name = lilv_port_get_name(plugin, port);
    EXPECT_STREQ(lilv_node_as_string(name), row.name);
    lilv_node_free(name);
    const Range r = RangeOf(plugin, port);
    EXPECT_EQ(r.def, static_cast<float>(row.defaultValue));
    EXPECT_EQ(r.min, static_cast<float>(row.minValue));
    EXPECT_EQ(r.max, static_cast<float>(row.maxValue));

    const bool toggle = row.kind == qd::kParamBool;
    const bool choice = row.kind == qd::kParamEnum;
    EXPECT_EQ(HasProperty(plugin, port, NS_LV2 "toggled"), toggle);
    EXPECT_EQ(HasProperty(plugin, port, NS_LV2 "enumeration"), choice);
    EXPECT_EQ(HasProperty(plugin, port, NS_LV2 "integer"), toggle || choice);
    const std::string unit = row.unit;
    EXPECT_EQ(Unit(plugin, port), unit == "dB" ? NS_UNITS "db" : unit == "ms" ? NS_UNITS "ms" : "");

    LilvScalePoints* points = lilv_port_get_scale_points(plugin, port);
    if (choice) {
      ASSERT_NE(points, nullptr);
      size_t texts = 0;
      while (texts < row.texts.size() && row.texts[texts]) ++texts;
      EXPECT_EQ(lilv_scale_points_size(points), texts);
      LILV_FOREACH(scale_points, it, points) {
        const LilvScalePoint* point = lilv_scale_points_get(points, it);
        const float value = lilv_node_as_float(lilv_scale_point_get_value(point));
        ASSERT_LT(static_cast<size_t>(value), texts);
        EXPECT_STREQ(lilv_node_as_string(lilv_scale_point_get_label(point)),
                     row.texts[static_cast<size_t>(value)]);
      }
    } else {
      EXPECT_EQ(points, nullptr);
    }
    lilv_scale_points_free(points);
  }
}

TEST(Lv2Description, AudioTimeMeterAndLatencyPorts) {
  const LilvPlugin* plugin = Lv2World::Get().Plugin();
  ASSERT_NE(plugin, nullptr);
  for (uint32_t i = 0; i < 4; ++i) {
    const LilvPort* port = lilv_plugin_get_port_by_index(plugin, lv2::kInputLeftPort + i);
    EXPECT_TRUE(PortIs(plugin, port, NS_LV2 "AudioPort"));
    EXPECT_TRUE(
        PortIs(plugin, port, lv2::kAudioPorts[i].input ? NS_LV2 "InputPort" : NS_LV2 "OutputPort"));
    EXPECT_EQ(Symbol(plugin, port), lv2::kAudioPorts[i].symbol);
  }
  const LilvPort* time = lilv_plugin_get_port_by_index(plugin, lv2::kTimePort);
  EXPECT_TRUE(PortIs(plugin, time, LV2_ATOM__AtomPort));
  EXPECT_TRUE(lilv_port_supports_event(plugin, time, Lv2World::Get().Uri(LV2_TIME__Position)));
  for (uint32_t i = 0; i < lv2::kMeterCount; ++i) {
    const LilvPort* port = lilv_plugin_get_port_by_index(plugin, lv2::kFirstMeterPort + i);
    SCOPED_TRACE(lv2::kMeterPorts[i].symbol);
    EXPECT_TRUE(PortIs(plugin, port, NS_LV2 "OutputPort"));
    EXPECT_TRUE(PortIs(plugin, port, NS_LV2 "ControlPort"));
    EXPECT_EQ(Symbol(plugin, port), lv2::kMeterPorts[i].symbol);
    const Range r = RangeOf(plugin, port);
    EXPECT_EQ(r.min, lv2::kMeterPorts[i].minimum);
    EXPECT_EQ(r.max, lv2::kMeterPorts[i].maximum);
  }
  const LilvPort* latency = lilv_plugin_get_port_by_index(plugin, lv2::kLatencyPort);
  EXPECT_TRUE(HasProperty(plugin, latency, NS_LV2 "reportsLatency"));
  EXPECT_EQ(Symbol(plugin, latency), "latency");
}

TEST(Lv2Description, TheX11EditorIsOfferedWithIdleCalls) {
  const LilvPlugin* plugin = Lv2World::Get().Plugin();
  ASSERT_NE(plugin, nullptr);
  LilvUIs* uis = lilv_plugin_get_uis(plugin);
  ASSERT_EQ(lilv_uis_size(uis), 1u);
  const LilvUI* ui = lilv_uis_get(uis, lilv_uis_begin(uis));
  EXPECT_STREQ(lilv_node_as_uri(lilv_ui_get_uri(ui)), lv2::kUiUri);
  EXPECT_TRUE(lilv_ui_is_a(ui, Lv2World::Get().Uri(LV2_UI__X11UI)));
  lilv_uis_free(uis);
}

}  // namespace
