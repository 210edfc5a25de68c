#include "graphics/PlatformGraphics.h"

#include <atomic>

#include "graphics/HeadlessGraphics.h"

namespace qd {

namespace {
std::atomic<GraphicsFactory> platformFactory{nullptr};
}

void SetPlatformGraphicsFactory(GraphicsFactory factory) { platformFactory.store(factory); }

std::unique_ptr<Graphics> CreatePlatformGraphics(ParamHost* plugin, int32_t width,
                                                 int32_t height, int32_t framesPerSecond) {
  if (GraphicsFactory factory = platformFactory.load()) {
    return factory(plugin, width, height, framesPerSecond);
  }
  return std::make_unique<HeadlessGraphics>(plugin, width, height, framesPerSecond);
}

}  // namespace qd
