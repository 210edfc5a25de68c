// Growable little-endian byte buffer that carries plug-in state, and the state header.
// Reads take an explicit position and return the position after the item, or -1 when the
// item does not lie wholly inside the buffer; a read at -1 always fails. Not thread-safe:
// callers hold the plug-in mutex.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qd {

constexpr int32_t kStateMagic = 0x70666674;    // bytes 74 66 66 70
constexpr int32_t kStateVersion = 0x00010000;  // bytes 00 00 01 00

class ChunkBuffer {
 public:
  int AppendBytes(const void* p, int n);
  int AppendInt32(int32_t v);
  int AppendDouble(double v);
  int AppendBool(bool b);
  int AppendString(const char* text);

  int ReadBytes(void* dst, int n, int pos) const;
  int ReadInt32(int32_t* v, int pos) const;
  int ReadDouble(double* v, int pos) const;
  int ReadBool(bool* v, int pos) const;
  // Reads a 32-bit length and that many characters into out (left unchanged for length 0).
  // A negative length, or characters that run past the end, fail with -1.
  int ReadString(std::string* out, int pos) const;

  void Clear() { bytes_.clear(); }
  void Resize(int n) { bytes_.resize(n > 0 ? static_cast<size_t>(n) : 0); }
  int Size() const { return static_cast<int>(bytes_.size()); }
  uint8_t* Data() { return bytes_.data(); }
  const uint8_t* Data() const { return bytes_.data(); }

 private:
  std::vector<uint8_t> bytes_;
};

}  // namespace qd
