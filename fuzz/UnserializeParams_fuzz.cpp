// The parameter reader on its own, at any start position inside the buffer: the first
// byte is the position, the rest the buffer.
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qd;
  fuzz::Vst2Fixture& f = fuzz::Vst2Fixture::Get();
  f.Restore();
  if (size < 1) return 0;
  ChunkBuffer chunk;
  chunk.Resize(static_cast<int>(size - 1));
  if (size > 1) std::memcpy(chunk.Data(), data + 1, size - 1);
  const int start = static_cast<int>(data[0]) - 8;  // includes a few negative positions
  const int end = f.Plugin().UnserializeParams(chunk, start);
  if (end > chunk.Size()) fuzz::Fail("read position past the end", end, chunk.Size());
  f.CheckSound();
  return 0;
}
