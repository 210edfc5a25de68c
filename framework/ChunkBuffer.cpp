#include "framework/ChunkBuffer.h"

#include <cstring>
#include <limits>

namespace qd {

namespace {

void StoreLE(uint8_t* p, uint64_t v, int n) {
  for (int i = 0; i < n; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint64_t LoadLE(const uint8_t* p, int n) {
  uint64_t v = 0;
  for (int i = 0; i < n; ++i) v |= static_cast<uint64_t>(p[i]) << (8 * i);
  return v;
}

}  // namespace

int ChunkBuffer::AppendBytes(const void* p, int n) {
  if (n > 0 && p) {
    const auto* src = static_cast<const uint8_t*>(p);
    bytes_.insert(bytes_.end(), src, src + n);
  }
  return Size();
}

int ChunkBuffer::AppendInt32(int32_t v) {
  uint8_t b[4];
  StoreLE(b, static_cast<uint32_t>(v), 4);
  return AppendBytes(b, 4);
}

int ChunkBuffer::AppendDouble(double v) {
  uint64_t bits;
  std::memcpy(&bits, &v, 8);
  uint8_t b[8];
  StoreLE(b, bits, 8);
  return AppendBytes(b, 8);
}

int ChunkBuffer::AppendBool(bool b) {
  const uint8_t byte = b ? 1 : 0;
  return AppendBytes(&byte, 1);
}

int ChunkBuffer::AppendString(const char* text) {
  const size_t len = text ? std::strlen(text) : 0;
  AppendInt32(static_cast<int32_t>(len));
  return AppendBytes(text, static_cast<int>(len));
}

int ChunkBuffer::ReadBytes(void* dst, int n, int pos) const {
  if (pos < 0 || n < 0) return -1;
  const int64_t end = static_cast<int64_t>(pos) + n;
  if (end > Size()) return -1;
  if (n > 0) std::memcpy(dst, bytes_.data() + pos, static_cast<size_t>(n));
  return static_cast<int>(end);
}

int ChunkBuffer::ReadInt32(int32_t* v, int pos) const {
  uint8_t b[4];
  const int next = ReadBytes(b, 4, pos);
  if (next >= 0) *v = static_cast<int32_t>(static_cast<uint32_t>(LoadLE(b, 4)));
  return next;
}

int ChunkBuffer::ReadDouble(double* v, int pos) const {
  uint8_t b[8];
  const int next = ReadBytes(b, 8, pos);
  if (next >= 0) {
    const uint64_t bits = LoadLE(b, 8);
    std::memcpy(v, &bits, 8);
  }
  return next;
}

int ChunkBuffer::ReadBool(bool* v, int pos) const {
  uint8_t b = 0;
  const int next = ReadBytes(&b, 1, pos);
  if (next >= 0) *v = b != 0;
  return next;
}

int ChunkBuffer::ReadString(std::string* out, int pos) const {
  int32_t len = 0;
  const int next = ReadInt32(&len, pos);
  if (next < 0 || len < 0) return -1;
  const int64_t end = static_cast<int64_t>(next) + len;
  if (end > Size()) return -1;
  if (len > 0) out->assign(reinterpret_cast<const char*>(bytes_.data()) + next, len);
  return static_cast<int>(end);
}

}  // namespace qd
