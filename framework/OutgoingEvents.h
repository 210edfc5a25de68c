// The per-instance queue of what the plug-in tells the host about its parameters: gestures
// (begin, end) and new normalised values, from the editor (a control drag) and from the
// engine itself (the automatic output level). Fixed capacity; nothing here allocates.
//
// Threads: PluginBase pushes with the plug-in mutex held (audio thread for the engine's
// changes, the editor thread for gestures) and pops with the same mutex held, so producers
// and the consumer never overlap. A binding reaches the queue only through
// PluginBase::DrainOutgoingEvents, from its process call or its user-interface thread.
#pragma once

#include <array>
#include <cstdint>

namespace qd {

struct OutgoingEvent {
  enum Kind : uint8_t { kBeginEdit, kValue, kEndEdit };
  Kind kind = kValue;
  int32_t index = 0;
  double normalized = 0.0;  // kValue only
};

class OutgoingEventQueue {
 public:
  static constexpr int kCapacity = 256;

  // Appends all `count` events or, when they do not all fit, none of them (so a gesture is
  // never cut in half) and counts them as dropped. Returns whether they were queued.
  bool Push(const OutgoingEvent* events, int count) {
    if (count < 0 || count > kCapacity - size_) {
      dropped_ += count > 0 ? static_cast<uint32_t>(count) : 0u;
      return false;
    }
    for (int i = 0; i < count; ++i) {
      slots_[static_cast<size_t>((head_ + size_) % kCapacity)] = events[i];
      ++size_;
    }
    return true;
  }
  // Takes the oldest event; false when the queue is empty.
  bool Pop(OutgoingEvent* out) {
    if (size_ == 0) return false;
    *out = slots_[static_cast<size_t>(head_)];
    head_ = (head_ + 1) % kCapacity;
    --size_;
    return true;
  }
  int Size() const { return size_; }
  // Events refused because the queue was full, since construction.
  uint32_t Dropped() const { return dropped_; }

 private:
  std::array<OutgoingEvent, kCapacity> slots_{};
  int head_ = 0;
  int size_ = 0;
  uint32_t dropped_ = 0;
};

}  // namespace qd
