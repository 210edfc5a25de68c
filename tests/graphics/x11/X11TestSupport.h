// Support for tests of the editor window: a private Xvfb server per test program, a VST2
// host that loads the built module and records (thread-safely) what the plug-in tells it,
// synthetic input through XTest, and screenshots of a window written as PNG files.
#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "formats/vst2/Vst2Abi.h"
#include "graphics/bitmap/PixBitmap.h"
#include "graphics/bitmap/Png.h"

extern char** environ;

namespace qd::testing {

// Starts Xvfb on a display number it picks itself (-displayfd) and points DISPLAY at it, so
// the tests never touch a desktop session; stops it at the end of the program.
class XvfbEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    int fds[2];
    if (pipe(fds) != 0) return;
    char fd[16];
    std::snprintf(fd, sizeof(fd), "%d", fds[1]);
    const char* argv[] = {"Xvfb",         "-displayfd", fd,    "-screen", "0",
                          "1600x1000x24", "-nolisten",  "tcp", nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    const int spawned =
        posix_spawnp(&pid_, "Xvfb", &actions, nullptr, const_cast<char* const*>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (spawned != 0) {
      pid_ = 0;
      close(fds[0]);
      return;
    }
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    while (poll(&p, 1, 15000) > 0) {
      char c = 0;
      if (read(fds[0], &c, 1) != 1 || c == '\n') break;
      number += c;
    }
    close(fds[0]);
    if (number.empty()) return;
    display_ = ":" + number;
    setenv("DISPLAY", display_.c_str(), 1);
  }
  void TearDown() override {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      int status = 0;
      waitpid(pid_, &status, 0);
    }
  }
  static bool Ready() { return !display_.empty(); }

 private:
  pid_t pid_ = 0;
  static inline std::string display_;
};

struct HostCall {
  int32_t opcode;
  int32_t index;
  float opt;
};

// A VST2 host for one plug-in instance. The plug-in may call back from the editor thread
// and the audio thread at once, so the record is guarded.
class EditorHost {
 public:
  EditorHost() {
    static void* module = dlopen(QD_VST2_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    auto entry =
        module ? reinterpret_cast<vst2::EntryProc>(dlsym(module, "VSTPluginMain")) : nullptr;
    if (!entry) return;
    creating = this;
    effect = entry(&EditorHost::Callback);
    creating = nullptr;
    if (!effect) return;
    effect->user = this;
    Dispatch(vst2::effOpen);
    Dispatch(vst2::effSetSampleRate, 0, 0, nullptr, 44100.0f);
    Dispatch(vst2::effSetBlockSize, 0, 512);
    Dispatch(vst2::effMainsChanged, 0, 1);
  }
  ~EditorHost() {
    if (effect) Dispatch(vst2::effClose);
  }
  EditorHost(const EditorHost&) = delete;
  EditorHost& operator=(const EditorHost&) = delete;

  intptr_t Dispatch(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr,
                    float opt = 0.0f) {
    return effect->dispatcher(effect, opcode, index, value, ptr, opt);
  }
  intptr_t OpenEditor(Window parent) {
    return Dispatch(vst2::effEditOpen, 0, 0, reinterpret_cast<void*>(parent));
  }
  int FindParam(const char* name) {
    for (int i = 0; i < effect->numParams; ++i) {
      char text[64] = {};
      Dispatch(vst2::effGetParamName, i, 0, text);
      if (std::strcmp(text, name) == 0) return i;
    }
    ADD_FAILURE() << "no parameter " << name;
    return 0;
  }
  float Get(int index) { return effect->getParameter(effect, index); }
  std::string Display(int index) {
    char text[64] = {};
    Dispatch(vst2::effGetParamDisplay, index, 0, text);
    return text;
  }
  std::vector<HostCall> Calls(int32_t index) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<HostCall> out;
    for (const HostCall& c : calls_) {
      if (c.index == index) out.push_back(c);
    }
    return out;
  }
  // Runs frames of a loud two-tone signal through the double-precision entry.
  void Play(int frames) {
    std::vector<double> left(static_cast<size_t>(frames)), right(left.size());
    for (int i = 0; i < frames; ++i, ++position_) {
      const double t = position_ / 44100.0;
      left[static_cast<size_t>(i)] = 0.9 * std::sin(2 * M_PI * 220 * t) * std::sin(M_PI * 0.5 * t);
      right[static_cast<size_t>(i)] = 0.7 * std::sin(2 * M_PI * 331 * t);
    }
    double* in[2] = {left.data(), right.data()};
    std::vector<double> outL(left.size()), outR(left.size());
    double* out[2] = {outL.data(), outR.data()};
    effect->processDoubleReplacing(effect, in, out, frames);
  }

  vst2::AEffect* effect = nullptr;

 private:
  static intptr_t Callback(vst2::AEffect* effect, int32_t opcode, int32_t index, intptr_t, void*,
                           float opt) {
    EditorHost* host = effect && effect->user ? static_cast<EditorHost*>(effect->user) : creating;
    if (!host) return 0;
    if (opcode == vst2::audioMasterVersion) return 2400;
    if (opcode == vst2::audioMasterAutomate || opcode == vst2::audioMasterBeginEdit ||
        opcode == vst2::audioMasterEndEdit) {
      std::lock_guard<std::mutex> lock(host->mutex_);
      host->calls_.push_back({opcode, index, opt});
    }
    return 0;
  }
  static inline thread_local EditorHost* creating = nullptr;
  std::mutex mutex_;
  std::vector<HostCall> calls_;
  int64_t position_ = 0;
};

// Calls the editor's idle entry every few milliseconds, as a host's user-interface loop
// does, until `done` holds or the time runs out; returns whether `done` held.
inline bool PumpUntil(const std::vector<EditorHost*>& hosts, const std::function<bool()>& done,
                      int timeoutMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    for (EditorHost* h : hosts) h->Dispatch(vst2::effEditIdle);
    if (done && done()) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}
inline void Pump(EditorHost& host, int ms) {
  PumpUntil({&host}, nullptr, ms);
}

// Synthetic input on a display connection of its own (usable from any one thread).
class Input {
 public:
  Input() : display_(XOpenDisplay(nullptr)) {}
  ~Input() {
    if (display_) XCloseDisplay(display_);
  }
  Input(const Input&) = delete;
  Input& operator=(const Input&) = delete;
  Display* display() const { return display_; }

  void Move(int x, int y) {
    Send([&] { XTestFakeMotionEvent(display_, 0, x, y, CurrentTime); });
  }
  void Button(unsigned button, bool down) {
    Send([&] { XTestFakeButtonEvent(display_, button, down, CurrentTime); });
  }
  void Click(int x, int y, unsigned button = 1) {
    Move(x, y);
    Button(button, true);
    Button(button, false);
  }
  void Key(KeySym key, bool shift = false) {
    const KeyCode shiftCode = XKeysymToKeycode(display_, XK_Shift_L);
    const KeyCode code = XKeysymToKeycode(display_, key);
    Send([&] {
      if (shift) XTestFakeKeyEvent(display_, shiftCode, True, CurrentTime);
      XTestFakeKeyEvent(display_, code, True, CurrentTime);
      XTestFakeKeyEvent(display_, code, False, CurrentTime);
      if (shift) XTestFakeKeyEvent(display_, shiftCode, False, CurrentTime);
    });
  }
  // The pop-up menu on the screen (a viewable override-redirect window), or 0.
  Window FindMenu(XWindowAttributes* attributes = nullptr) {
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    Window found = 0;
    XQueryTree(display_, DefaultRootWindow(display_), &root, &parent, &children, &count);
    for (unsigned i = 0; i < count && !found; ++i) {
      XWindowAttributes a;
      if (XGetWindowAttributes(display_, children[i], &a) && a.override_redirect &&
          a.map_state == IsViewable) {
        found = children[i];
        if (attributes) *attributes = a;
      }
    }
    if (children) XFree(children);
    return found;
  }
  // Waits for a menu to appear; its geometry comes back in `a`.
  bool WaitForMenu(XWindowAttributes* a, int timeoutMs = 5000) {
    for (int waited = 0; waited < timeoutMs; waited += 10) {
      if (FindMenu(a)) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

 private:
  template <typename F>
  void Send(F f) {
    f();
    XSync(display_, False);
    std::this_thread::sleep_for(std::chrono::milliseconds(15));
  }
  Display* display_;
};

// A top-level window of the host's kind for the editor, mapped at (x, y).
inline Window MakeParent(Display* d, int x, int y, long events = KeyPressMask) {
  Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), x, y, 640, 480, 0, 0, 0x202020);
  XSelectInput(d, w, events);
  XMapWindow(d, w);
  XSync(d, False);
  return w;
}

inline int ChildCount(Display* d, Window w) {
  Window root = 0, parent = 0, *children = nullptr;
  unsigned count = 0;
  if (!XQueryTree(d, w, &root, &parent, &children, &count)) return -1;
  if (children) XFree(children);
  return static_cast<int>(count);
}

// Saves what the window shows as a PNG file beside the test program.
// With a size, only the window's top-left part of that size.
inline bool Screenshot(Display* d, Window w, const char* name, int width = 0, int height = 0) {
  XWindowAttributes a;
  if (!XGetWindowAttributes(d, w, &a)) return false;
  if (width > 0) a.width = std::min(a.width, width);
  if (height > 0) a.height = std::min(a.height, height);
  XImage* image = XGetImage(d, w, 0, 0, static_cast<unsigned>(a.width),
                            static_cast<unsigned>(a.height), AllPlanes, ZPixmap);
  if (!image) return false;
  PixMemBitmap bitmap(a.width, a.height);
  for (int y = 0; y < a.height; ++y) {
    for (int x = 0; x < a.width; ++x) {
      bitmap.Row(y)[x] = 0xFF000000u | static_cast<PixelWord>(XGetPixel(image, x, y) & 0xFFFFFF);
    }
  }
  XDestroyImage(image);
  const std::string path = std::string(QD_TEST_ARTEFACTS) + "/" + name;
  return WritePngFile(bitmap, path.c_str());
}

}  // namespace qd::testing
