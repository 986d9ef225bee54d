#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <thread>

#include "platform/console.h"

namespace platform {

bool IsTerminal(std::FILE* stream) { return isatty(fileno(stream)) != 0; }

namespace {

// A signal handler reaches only what is process-wide: the flag to set and the pipe that
// wakes the thread which acts on the signal.
std::atomic<bool>* gNoted = nullptr;
int gWakePipe[2] = {-1, -1};

void OnSignal(int) {
  const int saved = errno;
  *gNoted = true;
  const char byte = 1;
  if (write(gWakePipe[1], &byte, 1) < 0) {
    // The pipe is never full before the process ends: nothing to do.
  }
  errno = saved;
}

}  // namespace

bool HandleInterrupts(std::atomic<bool>& noted, void (*act)()) {
  gNoted = &noted;
  if (pipe(gWakePipe) != 0) return false;
  try {
    std::thread([act] {
      char byte = 0;
      while (read(gWakePipe[0], &byte, 1) != 1) {
      }
      act();
    }).detach();
  } catch (const std::system_error&) {
    return false;
  }
  for (int signal : {SIGINT, SIGTERM}) {
    struct sigaction now {};
    if (sigaction(signal, nullptr, &now) != 0) return false;
    // Started with the signal ignored (nohup, a background job): it stays ignored.
    if (now.sa_handler == SIG_IGN) continue;
    struct sigaction handler {};
    handler.sa_handler = &OnSignal;
    handler.sa_flags = SA_RESTART;  // the work under way goes on until `act` ends it
    sigemptyset(&handler.sa_mask);
    if (sigaction(signal, &handler, nullptr) != 0) return false;
  }
  return true;
}

}  // namespace platform
