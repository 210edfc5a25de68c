// What the binding registers with a host's run loop: a timer and file-descriptor handler
// that forwards to its owner until the owner lets it go. It is counted on its own, so a run
// loop that keeps a reference to it neither keeps the owner alive nor calls into an owner
// that is gone.
//
// Threads: the host's user-interface thread (the run loop's), like its owner.
#pragma once

#include <atomic>

#include "formats/vst3/Vst3Abi.h"

namespace qd::vst3 {

class Ticker final : public ITimerHandler, public IEventHandler {
 public:
  using Callback = void (*)(void* owner);

  // Starts with one reference, the owner's.
  Ticker(Callback callback, void* owner) : callback_(callback), owner_(owner) {}
  Ticker(const Ticker&) = delete;
  Ticker& operator=(const Ticker&) = delete;

  // The owner stops the forwarding and drops its reference.
  void Detach() {
    owner_ = nullptr;
    release();
  }

  tresult QD_VST3_CALL queryInterface(const TUID iid, void** obj) override {
    if (!obj) return kInvalidArgument;
    *obj = nullptr;
    if (SameUid(iid, FUnknown::kIid) || SameUid(iid, ITimerHandler::kIid)) {
      *obj = static_cast<ITimerHandler*>(this);
    } else if (SameUid(iid, IEventHandler::kIid)) {
      *obj = static_cast<IEventHandler*>(this);
    } else {
      return kNoInterface;
    }
    addRef();
    return kResultOk;
  }
  uint32 QD_VST3_CALL addRef() override { return ++references_; }
  uint32 QD_VST3_CALL release() override {
    const uint32 left = --references_;
    if (left == 0) delete this;
    return left;
  }
  void QD_VST3_CALL onTimer() override { Forward(); }
  void QD_VST3_CALL onFDIsSet(FileDescriptor) override { Forward(); }

 private:
  ~Ticker() = default;
  void Forward() {
    if (owner_) callback_(owner_);
  }

  Callback callback_;
  void* owner_;
  std::atomic<uint32> references_{1};
};

}  // namespace qd::vst3
