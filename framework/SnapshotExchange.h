// Hands a small value from one writer thread to one reader thread whole, without a lock and
// without allocation: three slots, of which the writer owns one, the reader owns one and the
// third is the latest complete value waiting to be taken. Used for the meter values the
// engine publishes once per block and the editor takes on its tick.
//
// Threads: Publish from one thread at a time (the audio thread, plug-in mutex held);
// Take from one thread at a time (the editor thread, or any one reader). Either side may run
// at any moment of the other; neither waits. T must be trivially copyable.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <type_traits>

namespace qd {

template <typename T>
class SnapshotExchange {
  static_assert(std::is_trivially_copyable_v<T>);

 public:
  // Writer: stores a complete value; a value not yet taken is replaced.
  void Publish(const T& value) {
    PublishWith([&value](T& slot) { slot = value; });
  }
  // Writer: the same, with the value written in place by fill(T&) (given the slot as the
  // previous value there left it), which spares a copy of a large value.
  template <typename Fill>
  void PublishWith(Fill&& fill) {
    fill(slots_[back_]);
    back_ =
        middle_.exchange(static_cast<uint8_t>(back_ | kFresh), std::memory_order_acq_rel) & kIndex;
  }
  // Reader: copies the latest complete value into *out; false (and *out untouched) when
  // nothing new was published since the last Take.
  bool Take(T* out) {
    if (!(middle_.load(std::memory_order_acquire) & kFresh)) return false;
    front_ = middle_.exchange(front_, std::memory_order_acq_rel) & kIndex;
    *out = slots_[front_];
    return true;
  }

 private:
  static constexpr uint8_t kIndex = 3;
  static constexpr uint8_t kFresh = 4;
  std::array<T, 3> slots_{};
  uint8_t back_ = 0;                // the writer's slot
  uint8_t front_ = 1;               // the reader's slot
  std::atomic<uint8_t> middle_{2};  // the slot in between, with the fresh bit
};

}  // namespace qd
