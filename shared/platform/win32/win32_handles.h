// The window system's handles: how each kind closes, and the scoped device context and
// selection the window system measures with. The kernel's are in kernel_handles.h.
#pragma once

#include <windows.h>

#include "platform/unique_handle.h"
#include "platform/win32/kernel_handles.h"

namespace platform::win32 {

struct WindowDeleter {
  void operator()(HWND h) const {
    if (IsWindow(h)) DestroyWindow(h);
  }
};

using UniqueWindow = UniqueHandle<HWND, WindowDeleter>;
using UniqueFont = UniqueHandle<HFONT, CloseWith<DeleteObject>>;
using UniqueIcon = UniqueHandle<HICON, CloseWith<DestroyIcon>>;

struct DcReleaser {
  HWND window;
  void operator()(HDC dc) const { ReleaseDC(window, dc); }
};

// A window's device context for the life of the object.
class WindowDc : public UniqueHandle<HDC, DcReleaser> {
 public:
  explicit WindowDc(HWND window) : UniqueHandle(GetDC(window), DcReleaser{window}) {}
};

// Selects `object` into `dc` and puts the previous object back when it goes.
class SelectedObject {
 public:
  SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
  ~SelectedObject() {
    if (previous_) SelectObject(dc_, previous_);
  }
  SelectedObject(const SelectedObject&) = delete;
  SelectedObject& operator=(const SelectedObject&) = delete;

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

}  // namespace platform::win32
