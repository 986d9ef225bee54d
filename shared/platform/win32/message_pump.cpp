// The message loop of the form and the pump that lets pending events run.
#include "platform/win32/win32_window_system.h"

namespace platform {

namespace {

// The form's dialog keys first; any other message goes to its own window.
void Dispatch(HWND form, MSG& msg) {
  if (form && IsDialogMessageW(form, &msg)) return;
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
}

}  // namespace

void Win32WindowSystem::RunMessageLoop() {
  MSG msg;
  while (WindowAlive()) {
    BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0 || got == -1) break;
    Dispatch(form_.get(), msg);
  }
  // The quit request that the window's end posted is ours: leave none behind.
  while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
  }
}

void Win32WindowSystem::PumpEvents() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      // Not ours to take: the message loop that is waiting for it gets it back.
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    Dispatch(form_.get(), msg);
  }
}

}  // namespace platform
