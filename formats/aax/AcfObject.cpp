#include "formats/aax/AcfObject.h"

namespace qd {

namespace {
std::atomic<int32_t> g_liveObjects{0};
}

int32_t LiveAcfObjects() {
  return g_liveObjects.load();
}

CACFUnknown::CACFUnknown() {
  g_liveObjects.fetch_add(1);
}

CACFUnknown::~CACFUnknown() {
  g_liveObjects.fetch_sub(1);
}

uint32_t CACFUnknown::InternalAddRef() {
  return references_.fetch_add(1) + 1;
}

uint32_t CACFUnknown::InternalRelease() {
  const uint32_t left = references_.fetch_sub(1) - 1;
  if (left == 0) delete this;
  return left;
}

}  // namespace qd
