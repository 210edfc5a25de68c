// qd_editor_check: a minimal windowed VST2 host for the editor check under Wine and Xvfb.
//   qd_editor_check.exe PLUGIN.dll FOLDER
// Loads the plug-in, opens its editor as a child of a borderless 640 x 480 window at the
// screen's top-left corner, and runs the message loop. It takes its cues from files in
// FOLDER, so that a script driving the X display can pace it: "play" starts audio (a
// drum-and-bass-like stereo signal processed in real time on a thread of its own), "stop"
// ends the run. Every parameter change the plug-in reports is printed as
// "automate <index> <value>". At the end the editor is closed, opened again and closed, and
// "reopened ok" is printed when the second window came up and went away cleanly.
#include <windows.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "formats/vst2/Vst2Abi.h"
#include "tests/windows/MessagePump.h"

using namespace qd::vst2;

constexpr double kPi = 3.14159265358979323846;

namespace {

std::string g_folder;
std::atomic<bool> g_playing{false};
std::atomic<bool> g_stopAudio{false};

bool FileExists(const char* name) {
  const std::string path = g_folder + "\\" + name;
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

intptr_t Callback(AEffect*, int32_t opcode, int32_t index, intptr_t, void*, float opt) {
  if (opcode == audioMasterAutomate) {
    std::printf("automate %d %.4f\n", index, opt);
    std::fflush(stdout);
  }
  if (opcode == audioMasterVersion) return kVstVersion;
  return 0;
}

void AudioLoop(AEffect* effect) {
  constexpr int kBlock = 512;
  constexpr double kRate = 44100.0;
  std::vector<double> inL(kBlock), inR(kBlock), outL(kBlock), outR(kBlock);
  double* in[2] = {inL.data(), inR.data()};
  double* out[2] = {outL.data(), outR.data()};
  uint32_t noise = 1;
  int64_t n = 0;
  const DWORD start = GetTickCount();
  int64_t blocks = 0;
  while (!g_stopAudio.load()) {
    if (!g_playing.load()) {
      Sleep(10);
      continue;
    }
    for (int i = 0; i < kBlock; ++i, ++n) {
      const double t = n / kRate;
      const double beat = std::fmod(t, 0.5);
      noise = noise * 1664525u + 1013904223u;
      const double kick = std::exp(-beat * 30.0) * std::sin(2 * kPi * 55.0 * beat);
      const double hat = (noise / 4294967296.0 - 0.5) * std::exp(-std::fmod(t, 0.25) * 60.0);
      const double bass = 0.3 * std::sin(2 * kPi * 110.0 * t);
      inL[i] = 0.6 * kick + 0.2 * hat + bass;
      inR[i] = 0.6 * kick - 0.2 * hat + bass;
    }
    effect->processDoubleReplacing(effect, in, out, kBlock);
    ++blocks;
    // Real-time pace: wait until the audio produced so far is due.
    const double due = blocks * kBlock / kRate * 1000.0;
    const double elapsed = static_cast<double>(GetTickCount() - start);
    if (due > elapsed) Sleep(static_cast<DWORD>(due - elapsed));
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: qd_editor_check PLUGIN.dll FOLDER\n");
    return 2;
  }
  g_folder = argv[2];
  HMODULE module = LoadLibraryA(argv[1]);
  auto entry = module ? reinterpret_cast<EntryProc>(
                            reinterpret_cast<void*>(GetProcAddress(module, "VSTPluginMain")))
                      : nullptr;
  AEffect* effect = entry ? entry(&Callback) : nullptr;
  if (!effect) {
    std::fprintf(stderr, "cannot load %s\n", argv[1]);
    return 1;
  }
  effect->dispatcher(effect, effOpen, 0, 0, nullptr, 0);
  effect->dispatcher(effect, effSetSampleRate, 0, 0, nullptr, 44100.0f);
  effect->dispatcher(effect, effSetBlockSize, 0, 512, nullptr, 0);
  effect->dispatcher(effect, effMainsChanged, 0, 1, nullptr, 0);

  WNDCLASSA wc{};
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  wc.lpszClassName = "QdEditorCheckHost";
  RegisterClassA(&wc);
  HWND parent =
      CreateWindowExA(0, wc.lpszClassName, "QuarloDorvantix under Wine", WS_POPUP | WS_VISIBLE, 0,
                      0, 640, 480, nullptr, nullptr, wc.hInstance, nullptr);
  if (!parent) return 1;
  effect->dispatcher(effect, effEditOpen, 0, 0, parent, 0);
  std::printf("editor open\n");
  std::fflush(stdout);

  std::thread audio(AudioLoop, effect);
  const DWORD deadline = GetTickCount() + 120000;
  while (!FileExists("stop") && static_cast<int32_t>(deadline - GetTickCount()) > 0) {
    if (!g_playing.load() && FileExists("play")) {
      g_playing = true;
      std::printf("playing\n");
      std::fflush(stdout);
    }
    qd::testing::PumpMessages(50);
  }
  g_stopAudio = true;
  audio.join();

  for (int i = 0; i < effect->numParams; ++i) {
    std::printf("param %d %.4f\n", i, effect->getParameter(effect, i));
  }
  effect->dispatcher(effect, effEditClose, 0, 0, nullptr, 0);
  const bool closed = FindWindowExA(parent, nullptr, "PluginWndClass", nullptr) == nullptr;
  effect->dispatcher(effect, effEditOpen, 0, 0, parent, 0);
  qd::testing::PumpMessages(500);
  const bool reopened = FindWindowExA(parent, nullptr, "PluginWndClass", nullptr) != nullptr;
  effect->dispatcher(effect, effEditClose, 0, 0, nullptr, 0);
  const bool closedAgain = FindWindowExA(parent, nullptr, "PluginWndClass", nullptr) == nullptr;
  effect->dispatcher(effect, effMainsChanged, 0, 0, nullptr, 0);
  effect->dispatcher(effect, effClose, 0, 0, nullptr, 0);
  DestroyWindow(parent);
  if (closed && reopened && closedAgain) std::printf("reopened ok\n");
  std::fflush(stdout);
  FreeLibrary(module);
  return closed && reopened && closedAgain ? 0 : 1;
}
