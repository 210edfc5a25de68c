#include "formats/vst3/Vst3View.h"

#include <cstring>
#include <mutex>

#include "formats/vst3/Vst3Plugin.h"
#include "formats/vst3/Vst3Ticker.h"
#include "framework/EditorInterfaces.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace qd::vst3 {

namespace {

using Lock = std::lock_guard<PluginMutex>;

constexpr TimerInterval kTickMs = 33;  // 30 frames per second

#if defined(_WIN32)
constexpr const char* kPlatformType = kPlatformTypeHWND;
// The timer on the editor window that drives the view's tick; the window's own redraw timer
// uses other IDs.
constexpr UINT_PTR kTickTimerId = 0x51563354;  // 'QV3T'
constexpr const char* kViewProperty = "QuarloDorvantixVst3View";

void CALLBACK TickProc(HWND window, UINT, UINT_PTR, DWORD) {
  if (auto* view = static_cast<View*>(GetPropA(window, kViewProperty))) view->Tick();
}
#else
constexpr const char* kPlatformType = kPlatformTypeX11EmbedWindowID;
#endif

}  // namespace

View::View(Plugin* plugin) : plugin_(plugin) {
  plugin_->addRef();
}

View::~View() {
  removed();
  plugin_->release();
}

tresult View::queryInterface(const TUID iid, void** obj) {
  if (!obj) return kInvalidArgument;
  *obj = nullptr;
  if (SameUid(iid, FUnknown::kIid) || SameUid(iid, IPlugView::kIid)) {
    *obj = static_cast<IPlugView*>(this);
  } else {
    return kNoInterface;
  }
  addRef();
  return kResultOk;
}

uint32 View::addRef() {
  return ++references_;
}

uint32 View::release() {
  const uint32 left = --references_;
  if (left == 0) delete this;
  return left;
}

tresult View::isPlatformTypeSupported(FIDString type) {
  return type && std::strcmp(type, kPlatformType) == 0 ? kResultTrue : kResultFalse;
}

tresult View::attached(void* parent, FIDString type) {
  if (!parent) return kInvalidArgument;
  if (isPlatformTypeSupported(type) != kResultTrue) return kResultFalse;
  if (attached_) return kResultFalse;
  PluginEditor* editor = plugin_->Base().Editor();
  if (!editor || !plugin_->ClaimEditor(this)) return kResultFalse;
  {
    Lock lock(plugin_->Base().Mutex());
    window_ = editor->OpenWindow(parent);
  }
  if (!window_) {
    plugin_->ReleaseEditor(this);
    return kResultFalse;
  }
  attached_ = true;
  StartTicks(window_);
  return kResultOk;
}

tresult View::removed() {
  if (!attached_) return kResultFalse;
  StopTicks();
  if (PluginEditor* editor = plugin_->Base().Editor()) {
    Lock lock(plugin_->Base().Mutex());
    editor->CloseWindow();
  }
  window_ = nullptr;
  attached_ = false;
  plugin_->ReleaseEditor(this);
  return kResultOk;
}

void View::StartTicks(void* window) {
#if defined(_WIN32)
  HWND hwnd = static_cast<HWND>(window);
  SetPropA(hwnd, kViewProperty, this);
  SetTimer(hwnd, kTickTimerId, kTickMs, &TickProc);
#else
  (void)window;
  if (!frame_) return;
  IRunLoop* loop = nullptr;
  if (frame_->queryInterface(IRunLoop::kIid.bytes, reinterpret_cast<void**>(&loop)) != kResultOk ||
      !loop) {
    return;
  }
  runLoop_ = loop;
  ticker_ = new Ticker([](void* view) { static_cast<View*>(view)->Tick(); }, this);
  runLoop_->registerTimer(ticker_, kTickMs);
  PluginEditor* editor = plugin_->Base().Editor();
  const int fd = editor ? editor->EventFileDescriptor() : -1;
  fdRegistered_ = fd >= 0 && runLoop_->registerEventHandler(ticker_, fd) == kResultOk;
#endif
}

void View::StopTicks() {
#if defined(_WIN32)
  if (window_) {
    HWND hwnd = static_cast<HWND>(window_);
    KillTimer(hwnd, kTickTimerId);
    RemovePropA(hwnd, kViewProperty);
  }
#else
  if (!runLoop_) return;
  if (fdRegistered_) runLoop_->unregisterEventHandler(ticker_);
  runLoop_->unregisterTimer(ticker_);
  fdRegistered_ = false;
  ticker_->Detach();
  ticker_ = nullptr;
  runLoop_->release();
  runLoop_ = nullptr;
#endif
}

void View::Tick() {
  if (!attached_) return;
  PluginEditor* editor = plugin_->Base().Editor();
  // The editor's own work runs without the plug-in mutex, so the audio thread never waits
  // for the user; the editor takes the mutex where it reads or changes parameters.
  if (editor && editor->WindowIsOpen()) editor->Idle();
  plugin_->DeliverOutgoingEvents();
}

tresult View::getSize(ViewRect* size) {
  if (!size) return kInvalidArgument;
  PluginEditor* editor = plugin_->Base().Editor();
  if (!editor) return kResultFalse;
  *size = {0, 0, editor->Width(), editor->Height()};
  return kResultOk;
}

tresult View::onSize(ViewRect* newSize) {
  if (!newSize) return kInvalidArgument;
  PluginEditor* editor = plugin_->Base().Editor();
  if (!editor) return kResultFalse;
  // The editor has one size; the host is told so by any other.
  const bool same = newSize->right - newSize->left == editor->Width() &&
                    newSize->bottom - newSize->top == editor->Height();
  return same ? kResultOk : kResultFalse;
}

tresult View::checkSizeConstraint(ViewRect* rect) {
  if (!rect) return kInvalidArgument;
  PluginEditor* editor = plugin_->Base().Editor();
  if (!editor) return kResultFalse;
  rect->right = rect->left + editor->Width();
  rect->bottom = rect->top + editor->Height();
  return kResultTrue;
}

tresult View::setFrame(IPlugFrame* frame) {
  frame_ = frame;
  return kResultOk;
}

}  // namespace qd::vst3
