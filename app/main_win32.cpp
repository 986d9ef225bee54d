// The updater's entry: the wizard window is the start-up object. It is created
// hidden, its load handler runs, and unless that ended the program the window is
// shown and the message loop runs until the window goes.
#include <windows.h>

#include <commctrl.h>

#include "platform/services.h"
#include "platform/win32/win32_window_system.h"
#include "wizard/form1.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  // The extraction library is looked for in the updater's folder, never in the
  // current folder.
  SetDllDirectoryW(L"");
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&icc);

  platform::Win32WindowSystem windows(instance);
  platform::Use<platform::WindowSystem> useWindows(windows);
  vlr::Form1 form;
  windows.Create(form);
  form.Form_Load();
  if (form.Ended()) return 0;
  windows.Show();
  windows.RunMessageLoop();
  return 0;
}
