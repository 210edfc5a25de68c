#include "tests/support/AllocationCounter.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
// Counting covers the thread that turned it on: the path a test measures runs there, and a
// thread of the code under test doing its setup work beside it is not that path.
thread_local bool counting = false;
std::atomic<long> counted{0};
std::atomic<long> total{0};

void* Allocate(std::size_t size) {
  total.fetch_add(1, std::memory_order_relaxed);
  if (counting) counted.fetch_add(1);
  return std::malloc(size ? size : 1);
}

void* AllocateAligned(std::size_t size, std::align_val_t align) {
  total.fetch_add(1, std::memory_order_relaxed);
  if (counting) counted.fetch_add(1);
  const std::size_t a = static_cast<std::size_t>(align);
  return std::aligned_alloc(a, (size + a - 1) / a * a);
}
}  // namespace

namespace qd::testing {

long CountAllocations(bool on) {
  counting = false;
  const long made = counted.exchange(0);
  counting = on;
  return made;
}

long AllocationsSoFar() { return total.load(); }

}  // namespace qd::testing

// These replace the global allocation functions, so malloc/free pair with them by design.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t size) {
  if (void* p = Allocate(size)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
  if (void* p = Allocate(size)) return p;
  throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new(std::size_t size, std::align_val_t align) {
  if (void* p = AllocateAligned(size, align)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size, std::align_val_t align) {
  if (void* p = AllocateAligned(size, align)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
