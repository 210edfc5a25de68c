// A small plug-in and a headless editor with synthetic frame strips for the graphics tests.
// Strip pixels encode where they came from: 0xFF000000 | (x & 0xFF) << 16 | (y & 0xFFFF), so a
// drawn pixel tells which source row and column (hence which frame) was drawn.
#pragma once

#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "framework/PluginBase.h"
#include "graphics/Controls.h"
#include "graphics/HeadlessGraphics.h"
#include "graphics/bitmap/PixBitmap.h"

namespace qd::testing {

// Records what the base tells the host; safe to use from two threads.
struct GestureHost : HostServices {
  std::mutex lock;
  std::vector<std::string> calls;
  void BeginParamEdit(int i) override { Record("begin %d", i); }
  void ReportParamChange(int i, double n) override { Record("change %d %.4f", i, n); }
  void EndParamEdit(int i) override { Record("end %d", i); }
  template <typename... Args>
  void Record(const char* format, Args... args) {
    char text[64];
    std::snprintf(text, sizeof(text), format, args...);
    std::lock_guard<std::mutex> guard(lock);
    calls.emplace_back(text);
  }
};

enum TestParam { kLevel = 0, kType = 1, kToggle = 2, kTestParamCount = 3 };

inline PluginIdentity GraphicsTestIdentity() {
  PluginIdentity id;
  id.paramCount = kTestParamCount;
  id.channelConfig = "2-2";
  id.presetCount = 1;
  id.effectName = "GraphicsTest";
  id.makerName = "Maker";
  return id;
}

class GraphicsPlugin : public PluginBase {
 public:
  GraphicsPlugin() : PluginBase(GraphicsTestIdentity()) {
    GetParam(kLevel)->DefineDouble("Level", 0.0, -10.0, 10.0, 0.01, "dB", "", 1.0);
    GetParam(kType)->DefineEnum("Type", 1, 3, "", "");
    GetParam(kType)->AddDisplayText(0, "dBFS");
    GetParam(kType)->AddDisplayText(1, "RMS");
    GetParam(kType)->AddDisplayText(2, "LUFS");
    GetParam(kToggle)->DefineBool("Toggle", false, "", "");
    SetHostServices(&host);
  }
  void EditorIdle() override { ++editorIdles; }
  GestureHost host;
  int editorIdles = 0;
};

struct StripSize {
  int32_t width, height;
};

// Synthetic strips by resource id; each load is counted.
inline const std::map<int32_t, StripSize>& TestStrips() {
  static const std::map<int32_t, StripSize> strips = {
      {900, {640, 480}},   // background
      {901, {256, 3328}},  // 13 frames of 256 x 256
      {902, {42, 4200}},   // 100-frame knob
      {903, {42, 84}},     // 2-frame switch
      {904, {42, 126}},    // 3-frame switch
      {905, {100, 10}},    // 4 horizontal frames of 25 x 10
      {906, {12, 5000}},   // 25-frame meter
  };
  return strips;
}

inline PixelWord StripPixel(int32_t x, int32_t y) {
  return 0xFF000000u | (static_cast<PixelWord>(x & 0xFF) << 16) |
         static_cast<PixelWord>(y & 0xFFFF);
}

class TestGraphics : public HeadlessGraphics {
 public:
  using HeadlessGraphics::HeadlessGraphics;
  std::map<int32_t, int> loads;

 protected:
  std::unique_ptr<PixBitmap> LoadBitmapResource(int32_t id, const char* name) override {
    ++loads[id];
    auto it = TestStrips().find(id);
    if (it == TestStrips().end()) return HeadlessGraphics::LoadBitmapResource(id, name);
    auto bitmap = std::make_unique<PixMemBitmap>(it->second.width, it->second.height, 4);
    for (int32_t y = 0; y < bitmap->Height(); ++y)
      for (int32_t x = 0; x < bitmap->Width(); ++x) bitmap->Row(y)[x] = StripPixel(x, y);
    return bitmap;
  }
};

// A plug-in with a headless editor. The lambda form adds the controls and attaches; derived
// fixtures add controls in their constructor body and then call Attach().
struct Editor {
  GraphicsPlugin plugin;
  std::unique_ptr<TestGraphics> pending;
  TestGraphics* g = nullptr;
  Editor() : pending(std::make_unique<TestGraphics>(&plugin, 640, 480)), g(pending.get()) {}
  template <typename Build>
  explicit Editor(Build&& build) : Editor() {
    build(*g);
    Attach();
  }
  void Attach() { plugin.AttachEditor(std::move(pending)); }
  PixelWord Pixel(int x, int y) { return g->DrawBitmap()->Row(y)[x]; }
  void DrawAll() { g->Draw({0, 0, 640, 480}); }
};

}  // namespace qd::testing
