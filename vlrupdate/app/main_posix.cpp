// The native build's entry: the wizard on the headless window system. It shows what a
// user would see at start-up; the native build exists to test the program's logic.
// "/quiet" runs the update and ends with its exit code, as on Windows.
#include <iostream>

#include "platform/headless/headless_window_system.h"
#include "platform/services.h"
#include "platform/text.h"
#include "wizard/form1.h"

int main() {
  platform::HeadlessWindowSystem windows;
  platform::Use<platform::WindowSystem> useWindows(windows);
  vlr::Form1 form;
  windows.Create(form);
  form.Form_Load();
  if (form.Ended()) return form.ExitCode();
  windows.Show();
  std::cout << platform::ToUtf8(form.Form.Caption()) << "\n"
            << platform::ToUtf8(form.Label1.Caption()) << "\n";
  return 0;
}
