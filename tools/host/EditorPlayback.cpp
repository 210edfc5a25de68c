#include "tools/host/EditorPlayback.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "tools/host/HostError.h"

namespace qd::host {

using Clock = std::chrono::steady_clock;

double RunEditorSession(HostedPlugin& plugin, const AudioSource& source,
                        const EditorSessionOptions& options, std::ostream& out) {
  vst2::ERect* rect = nullptr;
  if (!(plugin.Effect().flags & vst2::kEffFlagsHasEditor) ||
      !plugin.Dispatch(vst2::effEditGetRect, 0, 0, &rect) || !rect) {
    throw HostError(plugin.EffectName() + " has no editor");
  }
  const std::unique_ptr<EditorHostWindow> window =
      MakeEditorHostWindow(plugin.EffectName() + " - qdhost", std::max(1, rect->right - rect->left),
                           std::max(1, rect->bottom - rect->top));
  if (!plugin.Dispatch(vst2::effEditOpen, 0, 0, window->ParentHandle())) {
    throw HostError(plugin.EffectName() + " did not open its editor");
  }
  out << "Editor of " << plugin.EffectName() << " open; playing at real-time pace"
      << (options.seconds > 0.0 ? "" : " until the window is closed") << "\n"
      << std::flush;

  const int block = plugin.BlockSize();
  const int channels = std::max(1, options.channels);
  std::vector<double> frames(static_cast<size_t>(block) * channels);
  std::vector<std::vector<double>> inputs(plugin.InputCount(), std::vector<double>(block));
  std::vector<std::vector<double>> outputs(plugin.OutputCount(), std::vector<double>(block));
  std::vector<double*> inPtrs, outPtrs;
  for (auto& b : inputs) inPtrs.push_back(b.data());
  for (auto& b : outputs) outPtrs.push_back(b.data());

  const double rate = options.sampleRate;
  const int64_t limit = options.seconds > 0.0 ? static_cast<int64_t>(options.seconds * rate) : -1;
  int64_t played = 0;
  Clock::time_point start = Clock::now();
  bool playing = true;
  while (playing && window->StillOpen()) {
    // Audio: every block whose time has come. More than half a second behind (the editor or
    // a menu held the thread) restarts the clock instead of catching up in a burst.
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    int64_t due = static_cast<int64_t>(elapsed * rate);
    if (due - played > static_cast<int64_t>(rate / 2)) {
      start = Clock::now() - std::chrono::duration_cast<Clock::duration>(
                                 std::chrono::duration<double>(played / rate));
      due = played;
    }
    while (playing && played < due) {
      int n = static_cast<int>(std::min<int64_t>(block, due - played));
      if (limit >= 0) n = static_cast<int>(std::min<int64_t>(n, limit - played));
      n = n > 0 ? source(frames.data(), n) : 0;
      if (n <= 0) {
        playing = false;
        break;
      }
      for (size_t c = 0; c < inputs.size(); ++c) {
        const int from = channels == 1 ? 0 : static_cast<int>(c);
        for (int k = 0; k < n; ++k) {
          inputs[c][k] = from < channels ? frames[static_cast<size_t>(k) * channels + from] : 0.0;
        }
      }
      plugin.Process(inPtrs.data(), outPtrs.data(), n);
      played += n;
    }
    // The editor: events, redraw tick, menus and text entries where the editor has no timer
    // of its own (X11); for hosts' sake where it has (Windows).
    plugin.Dispatch(vst2::effEditIdle);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  plugin.Dispatch(vst2::effEditClose);
  return played / rate;
}

}  // namespace qd::host
