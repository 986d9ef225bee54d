#include <io.h>
#include <windows.h>

#include "platform/console.h"

namespace platform {

bool IsTerminal(std::FILE* stream) { return _isatty(_fileno(stream)) != 0; }

namespace {

// The console calls its handler without an argument of ours.
std::atomic<bool>* gNoted = nullptr;
void (*gAct)() = nullptr;

// Called on a thread of its own, which may do anything.
BOOL WINAPI OnConsoleControl(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT)
    return FALSE;
  *gNoted = true;
  gAct();
  return TRUE;
}

}  // namespace

bool HandleInterrupts(std::atomic<bool>& noted, void (*act)()) {
  gNoted = &noted;
  gAct = act;
  return SetConsoleCtrlHandler(&OnConsoleControl, TRUE) != 0;
}

}  // namespace platform
