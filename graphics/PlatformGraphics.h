// Which window system the editor uses. The plug-in builds its editor through
// CreatePlatformGraphics; a deliverable installs the factory of its window system once, before
// it creates any plug-in (its entry point), and without one the editor is headless (tests,
// tools). Install from one thread before instances exist; creation may then run on any thread.
#pragma once

#include <cstdint>
#include <memory>

#include "graphics/Graphics.h"

namespace qd {

using GraphicsFactory = std::unique_ptr<Graphics> (*)(ParamHost* plugin, int32_t width,
                                                      int32_t height, int32_t framesPerSecond);

void SetPlatformGraphicsFactory(GraphicsFactory factory);
std::unique_ptr<Graphics> CreatePlatformGraphics(ParamHost* plugin, int32_t width,
                                                 int32_t height, int32_t framesPerSecond);

}  // namespace qd
