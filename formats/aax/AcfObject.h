// The plug-in side of the object model: a reference count and the process-wide count of
// live objects that tells the host whether the module may be unloaded.
//
// Threads: any. Counts change atomically; an object is deleted by the Release that takes
// its count to zero, on whichever thread makes it.
#pragma once

#include <atomic>
#include <cstdint>

#include "formats/aax/acf/AaxInterfaces.h"

namespace qd {

// Objects of this module that exist now; 0 means the host may unload the module.
int32_t LiveAcfObjects();

class CACFUnknown {
 public:
  CACFUnknown();
  virtual ~CACFUnknown();
  CACFUnknown(const CACFUnknown&) = delete;
  CACFUnknown& operator=(const CACFUnknown&) = delete;

 protected:
  uint32_t InternalAddRef();
  // Deletes the object when the count reaches zero; returns the new count.
  uint32_t InternalRelease();

 private:
  std::atomic<uint32_t> references_{1};
};

}  // namespace qd
