// The LV2 UI binary in a real X11 parent window (a private Xvfb server per run), driven as a
// host drives it: instantiated with the parent, resize and touch features, fed port
// notifications from a running DSP instance, called on idle. Its meters move with the audio,
// a click on a switch reaches the host through the write function inside a touch gesture,
// and closing leaves no window behind. Screenshots are kept beside the test program.
#include <gtest/gtest.h>
// Xlib's macros (None, Bool) after GoogleTest's declarations.
#include <X11/Xlib.h>
#include <dlfcn.h>
#include <lv2/ui/ui.h>

#include <chrono>
#include <cmath>
#include <thread>
#include <utility>
#include <vector>

#include "LilvHost.h"
#include "tests/graphics/x11/X11TestSupport.h"

namespace {

using qd::testing::ChildCount;
using qd::testing::Lv2Instance;
namespace lv2 = qd::lv2;

struct Write {
  uint32_t port;
  float value;
};

class UiHost {
 public:
  UiHost() {
    static void* library = dlopen(QD_LV2_UI_PATH, RTLD_NOW | RTLD_LOCAL);
    auto entry =
        library ? reinterpret_cast<LV2UI_DescriptorFunction>(dlsym(library, "lv2ui_descriptor"))
                : nullptr;
    descriptor_ = entry ? entry(0) : nullptr;
  }
  ~UiHost() { Close(); }
  UiHost(const UiHost&) = delete;
  UiHost& operator=(const UiHost&) = delete;

  const LV2UI_Descriptor* Descriptor() const { return descriptor_; }

  bool Open(Window parent, const char* pluginUri = lv2::kPluginUri, bool offerParent = true) {
    if (!descriptor_) return false;
    parentFeature_ = {LV2_UI__parent, reinterpret_cast<void*>(static_cast<uintptr_t>(parent))};
    resize_ = {this, &Resized};
    resizeFeature_ = {LV2_UI__resize, &resize_};
    touch_ = {this, &Touched};
    touchFeature_ = {LV2_UI__touch, &touch_};
    mapFeature_ = {LV2_URID__map, qd::testing::Lv2World::Get().Urids().MapFeature()};
    idleFeature_ = {LV2_UI__idleInterface, nullptr};
    int n = 0;
    if (offerParent) features_[n++] = &parentFeature_;
    features_[n++] = &resizeFeature_;
    features_[n++] = &touchFeature_;
    features_[n++] = &mapFeature_;
    features_[n++] = &idleFeature_;
    features_[n] = nullptr;
    handle_ = descriptor_->instantiate(descriptor_, pluginUri, QD_LV2_BUNDLE_DIR, &Written, this,
                                       &widget_, features_);
    if (!handle_) return false;
    idle_ = static_cast<const LV2UI_Idle_Interface*>(
        descriptor_->extension_data(LV2_UI__idleInterface));
    return true;
  }
  void Close() {
    if (handle_) descriptor_->cleanup(handle_);
    handle_ = nullptr;
  }
  Window Widget() const { return static_cast<Window>(reinterpret_cast<uintptr_t>(widget_)); }
  void Port(uint32_t port, float value) {
    descriptor_->port_event(handle_, port, sizeof value, 0, &value);
  }
  void Raw(uint32_t port, uint32_t size, uint32_t format, const void* buffer) {
    descriptor_->port_event(handle_, port, size, format, buffer);
  }
  int Idle() { return idle_ ? idle_->idle(handle_) : 1; }
  // Idle calls for `ms` milliseconds at the host's pace.
  void IdleFor(int ms) {
    for (int waited = 0; waited < ms; waited += 10) {
      Idle();
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }

  std::vector<Write> writes;
  std::vector<std::pair<uint32_t, bool>> touches;
  int width = 0, height = 0;

 private:
  static void Written(LV2UI_Controller controller, uint32_t port, uint32_t size, uint32_t protocol,
                      const void* buffer) {
    auto* self = static_cast<UiHost*>(controller);
    ASSERT_EQ(size, sizeof(float));
    ASSERT_EQ(protocol, 0u);
    float v;
    std::memcpy(&v, buffer, sizeof v);
    self->writes.push_back({port, v});
  }
  static int Resized(LV2UI_Feature_Handle handle, int w, int h) {
    auto* self = static_cast<UiHost*>(handle);
    self->width = w;
    self->height = h;
    return 0;
  }
  static void Touched(LV2UI_Feature_Handle handle, uint32_t port, bool grabbed) {
    static_cast<UiHost*>(handle)->touches.emplace_back(port, grabbed);
  }

  const LV2UI_Descriptor* descriptor_ = nullptr;
  LV2UI_Handle handle_ = nullptr;
  LV2UI_Widget widget_ = nullptr;
  const LV2UI_Idle_Interface* idle_ = nullptr;
  LV2UI_Resize resize_{};
  LV2UI_Touch touch_{};
  LV2_Feature parentFeature_{}, resizeFeature_{}, touchFeature_{}, mapFeature_{}, idleFeature_{};
  const LV2_Feature* features_[6] = {};
};

// Pixels that differ between two pictures of the window's meter column.
int DifferentPixels(Display* d, Window w, std::vector<unsigned long>* previous) {
  XImage* image = XGetImage(d, w, 520, 60, 110, 400, AllPlanes, ZPixmap);
  if (!image) return -1;
  std::vector<unsigned long> now;
  for (int y = 0; y < 400; ++y) {
    for (int x = 0; x < 110; ++x) now.push_back(XGetPixel(image, x, y));
  }
  XDestroyImage(image);
  int differ = 0;
  for (size_t i = 0; i < now.size() && i < previous->size(); ++i)
    differ += now[i] != (*previous)[i];
  *previous = std::move(now);
  return differ;
}

// One block of a swelling tone through the DSP instance, its ports sent to the UI as a host
// sends them after each run.
void PlayBlock(Lv2Instance& dsp, UiHost& ui, int64_t* clock) {
  constexpr int kFrames = 960;
  for (int k = 0; k < kFrames; ++k, ++*clock) {
    const double t = static_cast<double>(*clock) / 48000.0;
    const float v = static_cast<float>((0.3 + 0.7 * std::fabs(std::sin(2 * M_PI * 0.5 * t))) *
                                       std::sin(2 * M_PI * 220.0 * t));
    dsp.In(0)[k] = v;
    dsp.In(1)[k] = 0.8f * v;
  }
  dsp.Run(kFrames);
  for (uint32_t i = 0; i < lv2::kMeterCount; ++i) ui.Port(lv2::kFirstMeterPort + i, dsp.meters[i]);
}

TEST(Lv2X11Ui, ShowsTheEditorInTheHostWindowWithMovingMetersAndWritesClicks) {
  ASSERT_TRUE(qd::testing::XvfbEnvironment::Ready());
  Display* display = XOpenDisplay(nullptr);
  ASSERT_NE(display, nullptr);
  const Window parent = qd::testing::MakeParent(display, 0, 0);
  {
    Lv2Instance dsp;
    ASSERT_TRUE(dsp.Ok());
    dsp.controls[qd::kLimiterLevel] = 9.0f;
    UiHost ui;
    ASSERT_TRUE(ui.Open(parent));
    XSync(display, False);
    EXPECT_EQ(ChildCount(display, parent), 1);
    EXPECT_EQ(ui.width, 640);
    EXPECT_EQ(ui.height, 480);
    // The host sends every control input's value once the UI is up.
    for (uint32_t i = 0; i < lv2::kParamPorts; ++i) ui.Port(i, dsp.controls[i]);
    ui.IdleFor(100);
    std::vector<unsigned long> meters;
    DifferentPixels(display, ui.Widget(), &meters);
    EXPECT_TRUE(qd::testing::Screenshot(display, ui.Widget(), "lv2-ui-idle.png"));

    int64_t clock = 0;
    int moved = 0;
    for (int round = 0; round < 4; ++round) {
      for (int block = 0; block < 25; ++block) {
        PlayBlock(dsp, ui, &clock);
        ui.IdleFor(20);
      }
      moved += DifferentPixels(display, ui.Widget(), &meters) > 0;
    }
    EXPECT_EQ(moved, 4) << "the meters did not move in every half second of audio";
    EXPECT_TRUE(qd::testing::Screenshot(display, ui.Widget(), "lv2-ui-playing.png"));

    // A click on the "Soft Clipper" switch: one write of the new value, inside a gesture.
    qd::testing::Input input;
    input.Click(47 + 21, 205 + 21);
    ui.IdleFor(200);
    ASSERT_EQ(ui.writes.size(), 1u);
    EXPECT_EQ(ui.writes[0].port, static_cast<uint32_t>(qd::kSoftClipper));
    EXPECT_EQ(ui.writes[0].value, 1.0f);
    ASSERT_EQ(ui.touches.size(), 2u);
    EXPECT_EQ(ui.touches[0], std::make_pair(static_cast<uint32_t>(qd::kSoftClipper), true));
    EXPECT_EQ(ui.touches[1], std::make_pair(static_cast<uint32_t>(qd::kSoftClipper), false));
    // The host hands the value to the DSP and echoes it back; nothing more is written.
    dsp.controls[qd::kSoftClipper] = ui.writes[0].value;
    ui.Port(qd::kSoftClipper, ui.writes[0].value);
    for (int block = 0; block < 10; ++block) {
      PlayBlock(dsp, ui, &clock);
      ui.IdleFor(20);
    }
    EXPECT_EQ(ui.writes.size(), 1u);
    EXPECT_TRUE(qd::testing::Screenshot(display, ui.Widget(), "lv2-ui-after-click.png"));

    // Hostile notifications: unknown ports, wrong sizes and formats, NaN, no buffer.
    const double wide = 1.0;
    ui.Raw(9999, sizeof(float), 0, &wide);
    ui.Raw(qd::kClipperLevel, sizeof wide, 0, &wide);
    ui.Raw(qd::kClipperLevel, sizeof(float), 12345, &wide);
    ui.Raw(qd::kClipperLevel, sizeof(float), 0, nullptr);
    ui.Port(qd::kClipperLevel, NAN);
    ui.Port(qd::kClipperLevel, INFINITY);
    ui.Port(lv2::kFirstMeterPort, -INFINITY);
    ui.IdleFor(100);
    EXPECT_EQ(ui.writes.size(), 1u);

    ui.Close();
    XSync(display, False);
    EXPECT_EQ(ChildCount(display, parent), 0);
  }
  XDestroyWindow(display, parent);
  XCloseDisplay(display);
}

TEST(Lv2X11Ui, DeclinesWithoutAParentWindowOrForAnotherPlugin) {
  ASSERT_TRUE(qd::testing::XvfbEnvironment::Ready());
  Display* display = XOpenDisplay(nullptr);
  ASSERT_NE(display, nullptr);
  const Window parent = qd::testing::MakeParent(display, 0, 0);
  {
    UiHost noParent;
    ASSERT_NE(noParent.Descriptor(), nullptr);
    EXPECT_FALSE(noParent.Open(parent, lv2::kPluginUri, false));
    UiHost other;
    EXPECT_FALSE(other.Open(parent, "urn:example:another-plugin"));
    XSync(display, False);
    EXPECT_EQ(ChildCount(display, parent), 0);
  }
  XDestroyWindow(display, parent);
  XCloseDisplay(display);
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new qd::testing::XvfbEnvironment);
  return RUN_ALL_TESTS();
}
