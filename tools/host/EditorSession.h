// The host's editor mode: opens the plug-in's editor in a top-level window of its own and
// plays audio through the plug-in at real-time pace (no sound device: the output is dropped),
// calling the editor's idle entry in between, so a person can watch the meters and try the
// controls. One thread: audio blocks are processed when their time has come; after the editor
// held the thread (a pop-up menu is open) playing resumes without a burst.
#pragma once

#include <functional>
#include <ostream>

#include "tools/host/PluginHost.h"

namespace qd::host {

struct EditorSessionOptions {
  int sampleRate = 44100;
  int channels = 2;
  double seconds = 0.0;  // stop after this long; 0: when the window closes or the audio ends
};

// Fills up to `frames` interleaved frames of `channels`; returns how many (0 at the end).
using AudioSource = std::function<int(double* interleaved, int frames)>;

// Runs until the window is closed, the source ends or the time is up; returns the seconds
// of audio played. Throws HostError when there is no display or the plug-in has no editor.
// The plug-in must be prepared (HostedPlugin::Prepare) for the options' rate.
double RunEditorSession(HostedPlugin& plugin, const AudioSource& source,
                        const EditorSessionOptions& options, std::ostream& out);

}  // namespace qd::host
