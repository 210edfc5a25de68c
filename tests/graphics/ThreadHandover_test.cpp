// The audio thread stores meter values, readout texts, parameter values and dirty flags
// while the editor thread draws and handles the mouse. Run under ThreadSanitizer (label
// `tsan`) these tests find any data race in that hand-over.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <thread>

#include "framework/PluginParam.h"
#include "tests/graphics/GraphicsTestSupport.h"

namespace {
thread_local bool countAllocations = false;
std::atomic<long> allocations{0};
}  // namespace

// Counts allocations made while the flag is set on this thread. g++ pairs the replaced new
// and delete with malloc and free and warns about a mismatch that does not exist here.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t n) {
  if (countAllocations) allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}

namespace qd {
namespace {

using testing::Editor;
using testing::kLevel;
using testing::TestGraphics;

// The editor of the plug-in in miniature: background, four meter bars, three readouts, a knob
// and a caption on "Level".
struct MeterEditor : Editor {
  int meters[4] = {};
  TextControl* readouts[3] = {};
  int knob = -1;
  MeterEditor() {
    g->SetBackground(900, "bg.png");
    FrameStrip bar = g->LoadStrip(906, "vu.png", 25);
    for (int i = 0; i < 4; ++i) {
      meters[i] =
          g->AddControl(std::make_unique<BitmapControl>(&plugin, 540 + 20 * i, 256, -1, bar));
    }
    TextStyle grey;
    grey.colour = {255, 128, 128, 128};
    for (int i = 0; i < 3; ++i) {
      auto text = std::make_unique<TextControl>(&plugin, Bounds{525, 68 + 50 * i, 605, 92 + 50 * i},
                                                grey, "");
      readouts[i] = text.get();
      g->AddControl(std::move(text));
    }
    knob = g->AddControl(std::make_unique<StripKnobControl>(&plugin, 100, 100, kLevel,
                                                            g->LoadStrip(902, "k.png", 100)));
    g->AddControl(std::make_unique<CaptionControl>(&plugin, Bounds{150, 100, 198, 124}, kLevel,
                                                   TextStyle{}, true));
    Attach();
  }

  // One audio block's worth of editor updates, as the plug-in's processing makes them.
  void AudioBlock(int i) {
    std::lock_guard<std::recursive_mutex> lock(plugin.Mutex());
    double v = (i % 101) / 100.0;
    for (int m : meters) g->UpdateControlValue(m, v);
    char text[32];
    std::snprintf(text, sizeof(text), "%.2f LUFS", -14.0 - v);
    readouts[0]->SetText(text);
    std::snprintf(text, sizeof(text), "%.2f LU", v * 10.0);
    readouts[1]->SetText(text);
    readouts[2]->SetText(i % 2 ? "---" : "-20.00 dB");
    plugin.GetParam(kLevel)->SetFromNormalized(v);
    g->UpdateParamControls(kLevel, v, true);
    g->MarkAllControlsDirty();
  }
};

TEST(ThreadHandover, AudioThreadUpdatesAllocateNothing) {
  MeterEditor e;
  e.AudioBlock(0);  // first values become defaults
  allocations = 0;
  countAllocations = true;
  for (int i = 1; i < 200; ++i) e.AudioBlock(i);
  countAllocations = false;
  EXPECT_EQ(allocations.load(), 0);
}

TEST(ThreadHandover, AudioAndEditorThreadsRunAtFullSpeedWithoutRaces) {
  MeterEditor e;
  e.g->OpenWindow(nullptr);
  std::atomic<bool> stop{false};
  std::atomic<int> blocks{0};
  std::thread audio([&] {
    for (int i = 0; !stop.load(std::memory_order_relaxed); ++i) {
      e.AudioBlock(i);
      blocks.fetch_add(1, std::memory_order_relaxed);
    }
  });
  const MouseKeys left{true, false, false, false, false};
  int drawn = 0;
  for (int tick = 0; tick < 200 || blocks.load() < 200; ++tick) {
    if (e.g->Tick()) ++drawn;
    if (tick % 10 == 0) {
      e.g->OnMouseDown(110, 110, left);
      e.g->OnMouseDrag(110, 100 - tick % 7, left);
      e.g->OnMouseUp(110, 100, left);
      e.g->GrayParamControls(kLevel, tick % 20 == 0);
    }
  }
  stop = true;
  audio.join();
  EXPECT_GT(drawn, 0);
  // After the audio thread stops, the last texts and values are what the editor shows.
  while (e.g->Tick()) {
  }
  int last = blocks.load() - 1;
  char expected[32];
  std::snprintf(expected, sizeof(expected), "%.2f LUFS", -14.0 - (last % 101) / 100.0);
  EXPECT_EQ(e.readouts[0]->Text(), expected);
  EXPECT_DOUBLE_EQ(e.g->GetControl(e.meters[0])->Value(), (last % 101) / 100.0);
}

}  // namespace
}  // namespace qd
