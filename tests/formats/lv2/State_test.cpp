// The LV2 binary's state: a host's saved state (port values and the state bytes) restores
// the plug-in exactly; the state bytes are those of the VST2 module's program chunk, so a
// preset moves between the formats; bytes that are not a state change nothing.
#include <gtest/gtest.h>
#include <lv2/state/state.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "LilvHost.h"
#include "tests/formats/vst2/TestHost.h"

namespace {

using qd::testing::HostOptions;
using qd::testing::Lv2Instance;
using qd::testing::Lv2World;
namespace lv2 = qd::lv2;

constexpr int kBlock = 512;
using Settings = std::vector<std::pair<int, float>>;

const Settings kPushed = {{0, 7.5f}, {1, 1.0f},  {2, 1.0f},  {3, 11.0f},
                          {4, 0.0f}, {5, 37.0f}, {7, -1.5f}, {10, 0.0f}};

void Play(Lv2Instance& p, int blocks, std::vector<float>* out = nullptr) {
  for (int b = 0; b < blocks; ++b) {
    for (int k = 0; k < kBlock; ++k) {
      const int64_t n = static_cast<int64_t>(b) * kBlock + k;
      p.In(0)[k] = static_cast<float>(0.9 * std::sin(0.021 * static_cast<double>(n)));
      p.In(1)[k] = static_cast<float>(0.7 * std::sin(0.013 * static_cast<double>(n)));
    }
    p.Run(kBlock);
    if (out) out->insert(out->end(), p.Out(0), p.Out(0) + kBlock);
  }
}

// The plug-in's state interface, called as a host calls it.
struct StateBytes {
  uint32_t key = 0, type = 0;
  std::vector<uint8_t> bytes;
};

const LV2_State_Interface* Interface(Lv2Instance& p) {
  return static_cast<const LV2_State_Interface*>(
      lilv_instance_get_extension_data(p.Instance(), LV2_STATE__interface));
}

StateBytes Save(Lv2Instance& p) {
  StateBytes saved;
  auto store = [](LV2_State_Handle h, uint32_t key, const void* value, size_t size, uint32_t type,
                  uint32_t) -> LV2_State_Status {
    auto* s = static_cast<StateBytes*>(h);
    s->key = key;
    s->type = type;
    s->bytes.assign(static_cast<const uint8_t*>(value), static_cast<const uint8_t*>(value) + size);
    return LV2_STATE_SUCCESS;
  };
  EXPECT_EQ(Interface(p)->save(lilv_instance_get_handle(p.Instance()), store, &saved,
                               LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, nullptr),
            LV2_STATE_SUCCESS);
  return saved;
}

LV2_State_Status Restore(Lv2Instance& p, const StateBytes& state) {
  auto retrieve = [](LV2_State_Handle h, uint32_t key, size_t* size, uint32_t* type,
                     uint32_t* flags) -> const void* {
    auto* s = static_cast<const StateBytes*>(h);
    if (key != s->key) return nullptr;
    *size = s->bytes.size();
    *type = s->type;
    *flags = LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE;
    return s->bytes.data();
  };
  return Interface(p)->restore(lilv_instance_get_handle(p.Instance()), retrieve,
                               const_cast<StateBytes*>(&state), 0, nullptr);
}

TEST(Lv2State, ASavedSessionRestoresThePluginExactly) {
  // The host saves the running instance (lilv's state: port values and the state bytes)
  // and restores it into a new one, as when a session is reopened.
  Lv2Instance original;
  ASSERT_TRUE(original.Ok());
  for (auto [i, v] : kPushed) original.controls[static_cast<size_t>(i)] = v;
  Play(original, 4);
  LV2_URID_Map* map = Lv2World::Get().Urids().MapFeature();
  auto getValue = [](const char* symbol, void* user, uint32_t* size,
                     uint32_t* type) -> const void* {
    auto* p = static_cast<Lv2Instance*>(user);
    for (uint32_t i = 0; i < lv2::kParamPorts; ++i) {
      const LilvPort* port = lilv_plugin_get_port_by_index(Lv2World::Get().Plugin(), i);
      if (std::string(lilv_node_as_string(lilv_port_get_symbol(Lv2World::Get().Plugin(), port))) ==
          symbol) {
        *size = sizeof(float);
        *type = Lv2World::Get().Urids()(LV2_ATOM__Float);
        return &p->controls[i];
      }
    }
    *size = 0;
    *type = 0;
    return nullptr;
  };
  LilvState* state = lilv_state_new_from_instance(
      Lv2World::Get().Plugin(), original.Instance(), map, nullptr, nullptr, nullptr, nullptr,
      getValue, &original, LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, nullptr);
  ASSERT_NE(state, nullptr);
  EXPECT_EQ(lilv_state_get_num_properties(state), 1u);

  Lv2Instance reopened;
  ASSERT_TRUE(reopened.Ok());
  auto setValue = [](const char* symbol, void* user, const void* value, uint32_t size, uint32_t) {
    auto* p = static_cast<Lv2Instance*>(user);
    for (uint32_t i = 0; i < lv2::kParamPorts; ++i) {
      const LilvPort* port = lilv_plugin_get_port_by_index(Lv2World::Get().Plugin(), i);
      if (size == sizeof(float) && std::string(lilv_node_as_string(lilv_port_get_symbol(
                                       Lv2World::Get().Plugin(), port))) == symbol) {
        std::memcpy(&p->controls[i], value, sizeof(float));
      }
    }
  };
  lilv_state_restore(state, reopened.Instance(), setValue, &reopened, 0, nullptr);
  lilv_state_free(state);
  EXPECT_EQ(reopened.controls, original.controls);

  // The reopened instance plays as one set up by hand with the same values.
  Lv2Instance byHand;
  ASSERT_TRUE(byHand.Ok());
  for (auto [i, v] : kPushed) byHand.controls[static_cast<size_t>(i)] = v;
  std::vector<float> a, b;
  Play(reopened, 20, &a);
  Play(byHand, 20, &b);
  EXPECT_EQ(a, b);
}

TEST(Lv2State, TheStateBytesAreTheVst2ProgramChunk) {
  qd::testing::Instance vst;
  ASSERT_NE(vst.effect, nullptr);
  vst.Start(48000.0f, kBlock);
  Lv2Instance plugin;
  ASSERT_TRUE(plugin.Ok());
  for (auto [i, v] : kPushed) {
    ASSERT_EQ(vst.SetByText(i, qd::testing::HostText(i, v).c_str()), 1);
    plugin.controls[static_cast<size_t>(i)] = v;
  }
  Play(plugin, 1);
  void* chunk = nullptr;
  const intptr_t size = vst.Dispatch(qd::vst2::effGetChunk, 1, 0, &chunk);
  ASSERT_GT(size, 0);
  const StateBytes saved = Save(plugin);
  EXPECT_EQ(saved.type, plugin.Urid(LV2_ATOM__Chunk));
  const auto* bytes = static_cast<const uint8_t*>(chunk);
  EXPECT_EQ(saved.bytes, std::vector<uint8_t>(bytes, bytes + size));

  // And the other way: the VST2 chunk, restored into a fresh LV2 instance (with the port
  // values a host saved beside it), plays as the instance it was saved from.
  Lv2Instance restored;
  ASSERT_TRUE(restored.Ok());
  StateBytes fromVst2 = saved;
  fromVst2.bytes.assign(bytes, bytes + size);
  ASSERT_EQ(Restore(restored, fromVst2), LV2_STATE_SUCCESS);
  restored.controls = plugin.controls;
  Lv2Instance reference;
  ASSERT_TRUE(reference.Ok());
  reference.controls = plugin.controls;
  std::vector<float> a, b;
  Play(restored, 10, &a);
  Play(reference, 10, &b);
  EXPECT_EQ(a, b);
}

TEST(Lv2State, BytesOfAnotherKindChangeNothingAndCutBytesAreRefused) {
  Lv2Instance plugin, untouched;
  ASSERT_TRUE(plugin.Ok() && untouched.Ok());
  for (Lv2Instance* p : {&plugin, &untouched}) {
    for (auto [i, v] : kPushed) p->controls[static_cast<size_t>(i)] = v;
    Play(*p, 2);
  }
  const StateBytes good = Save(plugin);
  StateBytes wrongType = good;
  wrongType.type = plugin.Urid(LV2_ATOM__String);
  EXPECT_EQ(Restore(plugin, wrongType), LV2_STATE_ERR_BAD_TYPE);
  StateBytes otherKey = good;
  otherKey.key = plugin.Urid("urn:example:other");
  EXPECT_EQ(Restore(plugin, otherKey), LV2_STATE_ERR_NO_PROPERTY);
  std::vector<float> a, b;
  Play(plugin, 10, &a);
  Play(untouched, 10, &b);
  EXPECT_EQ(a, b);

  // Cut short at every length, and garbage of the full length: refused or read safely, and
  // the good bytes restore every value afterwards.
  // A cut state changes no value: the plug-in, moved away from the saved settings, keeps
  // the ones it has.
  for (auto [i, v] : kPushed) plugin.controls[static_cast<size_t>(i)] = v * 0.5f;
  Play(plugin, 1);
  const StateBytes before = Save(plugin);
  ASSERT_NE(before.bytes, good.bytes);
  for (size_t n = 0; n < good.bytes.size(); ++n) {
    StateBytes cut = good;
    cut.bytes.resize(n);
    EXPECT_NE(Restore(plugin, cut), LV2_STATE_SUCCESS) << n;
    ASSERT_EQ(Save(plugin).bytes, before.bytes) << "cut at " << n;
  }
  StateBytes garbage = good;
  for (size_t i = 0; i < garbage.bytes.size(); ++i) {
    garbage.bytes[i] = static_cast<uint8_t>(i * 37 + 11);
  }
  Restore(plugin, garbage);
  Play(plugin, 2);
  ASSERT_EQ(Restore(plugin, good), LV2_STATE_SUCCESS);
  EXPECT_EQ(Save(plugin).bytes, good.bytes);
}

}  // namespace
