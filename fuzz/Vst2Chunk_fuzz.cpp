// A program or bank chunk from a stored project, handed over through effSetChunk: the
// header, the parameter reader and the bank reader. The first byte chooses program (odd)
// or bank (even); the rest is the chunk.
#include <cstring>

#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qd;
  fuzz::Vst2Fixture& f = fuzz::Vst2Fixture::Get();
  f.Restore();
  if (size < 1) return 0;
  const bool program = (data[0] & 1) != 0;
  // A copy the exact size of the chunk, so any read past its end is caught.
  std::vector<uint8_t> chunk(data + 1, data + size);
  f.Dispatch(vst2::effSetChunk, program ? 1 : 0, static_cast<intptr_t>(chunk.size()),
             chunk.empty() ? nullptr : chunk.data());
  f.CheckSound();
  // What was accepted is written out again and read back.
  void* out = nullptr;
  const intptr_t written = f.Dispatch(vst2::effGetChunk, program ? 1 : 0, 0, &out);
  if (written <= 0 || !out) fuzz::Fail("no chunk written after a restore", 0, 0.0);
  std::vector<uint8_t> again(static_cast<const uint8_t*>(out),
                             static_cast<const uint8_t*>(out) + written);
  if (f.Dispatch(vst2::effSetChunk, program ? 1 : 0, written, again.data()) != 1) {
    fuzz::Fail("the plug-in refused its own chunk", 0, static_cast<double>(written));
  }
  f.CheckSound();
  return 0;
}
