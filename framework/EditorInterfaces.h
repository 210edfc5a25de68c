// The two seams between the plug-in base and the editor graphics, so that neither folder
// includes the other: the base attaches a PluginEditor and pushes values into it; the editor
// calls back through ParamHost. Both run under the plug-in mutex where they touch
// parameters; the editor's own drawing runs on the host's user-interface thread.
#pragma once

#include <mutex>

#include "framework/PluginMutex.h"

namespace qd {

class PluginParam;

// The parameter interface the editor is built against: implemented by the plug-in base, and
// by any object that stands for the plug-in where the editor lives apart from the processor.
// Called by editor controls on the user-interface thread; SetParameterFromGUI, the gestures
// and the parameter reads take Mutex() (the implementation's own lock).
class ParamHost {
 public:
  virtual void SetParameterFromGUI(int index, double normalized) = 0;
  virtual PluginParam* GetParam(int index) = 0;  // nullptr for an index outside the list
  virtual int ParamCount() const = 0;
  virtual void BeginParamEdit(int index) = 0;
  virtual void EndParamEdit(int index) = 0;
  virtual void ResizeEditor(int width, int height) = 0;
  virtual void EditorIdle() = 0;
  virtual PluginMutex& Mutex() = 0;

 protected:
  ~ParamHost() = default;
};

// Implemented by the graphics core; owned by the plug-in base once attached.
class PluginEditor {
 public:
  virtual ~PluginEditor() = default;
  virtual void PrepareDraw() = 0;
  virtual void UpdateParamControls(int paramIndex, double value, bool normalized) = 0;
  virtual void UpdateControlValue(int controlIndex, double normalized) = 0;
  virtual void GrayParamControls(int paramIndex, bool gray) = 0;
  virtual void MarkAllControlsDirty() = 0;
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  // Opens the native window inside the host's parent window; returns its handle or null.
  virtual void* OpenWindow(void* parent) = 0;
  virtual void CloseWindow() = 0;
  virtual bool WindowIsOpen() = 0;
  // The host's idle call while the window is open (drives the redraw tick where the
  // platform has no timer of its own).
  virtual void Idle() {}
  // While the window is open: the file descriptor its window-system events arrive on (the
  // X connection), for a host run loop that watches it; -1 when there is none.
  virtual int EventFileDescriptor() const { return -1; }
};

// The object that gives the editor's draw bitmap a cairo surface; owned by the base.
class EditorSurfaceBridge {
 public:
  virtual ~EditorSurfaceBridge() = default;
  virtual void SetEditor(PluginEditor* editor) = 0;
  virtual void RecreateSurface(int width, int height) = 0;
};

}  // namespace qd
