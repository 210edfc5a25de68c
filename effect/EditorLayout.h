// The editor panel, built against the parameter and meter interfaces rather than the plug-in
// object, so that a user interface living apart from the processor (a separate UI object or
// process) builds the same editor over its own ParamHost and MeterReader.
//
// Threads: BuildEditor runs on the creating thread before the editor is attached. On every
// tick of the editor (editor thread) the panel takes the latest meter snapshot from the
// reader and shows it; the audio thread never touches the editor's meter controls.
#pragma once

#include <memory>

#include "effect/Meters.h"
#include "framework/EditorInterfaces.h"

namespace qd {

class Graphics;

// The 640 x 480 panel: background, knobs, switches, captions, the reset button, the
// gain-reduction arcs, four output bars and three readouts. Both interfaces must outlive
// the editor.
std::unique_ptr<Graphics> BuildEditor(ParamHost& params, MeterReader& meters);

}  // namespace qd
