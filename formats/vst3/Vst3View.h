// The editor as a VST3 plug-in view: the plug-in's editor window embedded in the host's
// window (an X11 window id on Linux, an HWND on Windows), 640 x 480 and not resizable. It can
// be attached, removed and attached again any number of times; one view at a time holds the
// window.
//
// Threads: the host's user-interface thread only. On Linux the host's run loop (offered by
// the frame) drives the editor: a 33 ms timer for the redraw tick and the X connection's file
// descriptor for its events; there is no thread of our own. On Windows the editor window has
// its own timer. Either tick also delivers the plug-in's outgoing events to the host.
#pragma once

#include <atomic>

#include "formats/vst3/Vst3Abi.h"

namespace qd::vst3 {

class Plugin;

class Ticker;

class View final : public IPlugView {
 public:
  // Holds a reference to the plug-in; starts with one reference (the host's).
  explicit View(Plugin* plugin);
  View(const View&) = delete;
  View& operator=(const View&) = delete;

  tresult QD_VST3_CALL queryInterface(const TUID iid, void** obj) override;
  uint32 QD_VST3_CALL addRef() override;
  uint32 QD_VST3_CALL release() override;

  tresult QD_VST3_CALL isPlatformTypeSupported(FIDString type) override;
  tresult QD_VST3_CALL attached(void* parent, FIDString type) override;
  tresult QD_VST3_CALL removed() override;
  tresult QD_VST3_CALL onWheel(float) override { return kResultFalse; }
  tresult QD_VST3_CALL onKeyDown(char16, int16, int16) override { return kResultFalse; }
  tresult QD_VST3_CALL onKeyUp(char16, int16, int16) override { return kResultFalse; }
  tresult QD_VST3_CALL getSize(ViewRect* size) override;
  tresult QD_VST3_CALL onSize(ViewRect* newSize) override;
  tresult QD_VST3_CALL onFocus(TBool) override { return kResultFalse; }
  tresult QD_VST3_CALL setFrame(IPlugFrame* frame) override;
  tresult QD_VST3_CALL canResize() override { return kResultFalse; }
  tresult QD_VST3_CALL checkSizeConstraint(ViewRect* rect) override;

  // The editor's tick: its events and redraw, then the plug-in's outgoing events.
  void Tick();

 private:
  ~View();
  void StartTicks(void* window);
  void StopTicks();

  Plugin* plugin_;
  std::atomic<uint32> references_{1};
  IPlugFrame* frame_ = nullptr;  // the host's, not counted (the host keeps it alive)
  IRunLoop* runLoop_ = nullptr;  // counted while the editor is attached
  Ticker* ticker_ = nullptr;     // registered with runLoop_
  bool fdRegistered_ = false;
  bool attached_ = false;
  void* window_ = nullptr;
};

}  // namespace qd::vst3
