// The updater's entry: the wizard window is the start-up object. It is created
// hidden, its load handler runs, and unless that ended the program the window is
// shown and the message loop runs until the window goes.
#include <windows.h>

#include <commctrl.h>

#include "platform/headless/headless_window_system.h"
#include "platform/services.h"
#include "platform/system.h"
#include "platform/win32/win32_window_system.h"
#include "wizard/form1.h"
#include "wizard/start_options.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  // The extraction library is looked for in the updater's folder, never in the
  // current folder.
  SetDllDirectoryW(L"");
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&icc);

  // An unattended run has no window at all, not even a hidden one: its form lives on
  // the window system that only keeps the controls' properties.
  if (vlr::ReadStartOptions(platform::Get<platform::System>().ArgumentText()).quiet) {
    platform::HeadlessWindowSystem none;
    platform::Use<platform::WindowSystem> useNone(none);
    vlr::Form1 form;
    none.Create(form);
    form.Form_Load();
    return form.ExitCode();
  }

  platform::Win32WindowSystem windows(instance);
  platform::Use<platform::WindowSystem> useWindows(windows);
  vlr::Form1 form;
  windows.Create(form);
  form.Form_Load();
  if (form.Ended()) return form.ExitCode();
  windows.Show();
  windows.RunMessageLoop();
  return 0;
}
