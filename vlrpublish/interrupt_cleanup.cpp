#include "vlrpublish/interrupt_cleanup.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <unistd.h>
#endif

namespace vlrpub {

namespace {

// An interrupt comes from outside any call chain, so what it must remove is held where
// its handler can reach it: the one piece of process-wide state of vlrpublish. Never
// destroyed, so that a cleanup still running while the process exits finds it whole.
struct Registry {
  std::recursive_mutex lock;  // held by the cleanup from its start to the exit
  std::map<unsigned, std::filesystem::path> folders;
  unsigned next = 1;
  std::atomic<bool> interrupted{false};  // set the moment an interrupt arrives
};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

Registry& TheRegistry() {
  static Registry* registry = new Registry;
  return *registry;
}

// How deep this thread is in InterruptDeferred sections.
thread_local int tDeferredDepth = 0;

[[noreturn]] void CleanUpAndExit() {
  Registry& r = TheRegistry();
  r.lock.lock();  // never released: the process ends holding it
  for (const auto& [id, folder] : r.folders) {
    // A folder still being written may gain a file while it is removed: try again.
    for (int attempt = 0; attempt < 5; ++attempt) {
      std::error_code ec;
      std::filesystem::remove_all(folder, ec);
      if (!ec) break;
    }
  }
  std::fputs("\nvlrpublish: interrupted; its temporary folders are removed\n", stderr);
  std::fflush(stderr);
  std::_Exit(kInterrupted);
}

#ifdef _WIN32
// Called on a thread of its own, which may do anything.
BOOL WINAPI OnConsoleControl(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT)
    return FALSE;
  TheRegistry().interrupted = true;
  CleanUpAndExit();
}
#else
// The handler may only note the signal and wake the thread that acts on it.
int gWakePipe[2] = {-1, -1};

void OnSignal(int) {
  const int saved = errno;
  TheRegistry().interrupted = true;
  const char byte = 1;
  if (write(gWakePipe[1], &byte, 1) < 0) {
    // The pipe is never full before the process ends: nothing to do.
  }
  errno = saved;
}
#endif

}  // namespace

bool InstallInterruptCleanup() {
  TheRegistry();  // made before any handler can run
#ifdef _WIN32
  return SetConsoleCtrlHandler(&OnConsoleControl, TRUE) != 0;
#else
  if (pipe(gWakePipe) != 0) return false;
  try {
    std::thread([] {
      char byte = 0;
      while (read(gWakePipe[0], &byte, 1) != 1) {
      }
      CleanUpAndExit();
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
    handler.sa_flags = SA_RESTART;  // the work under way goes on until the cleanup ends it
    sigemptyset(&handler.sa_mask);
    if (sigaction(signal, &handler, nullptr) != 0) return false;
  }
  return true;
#endif
}

unsigned RemoveOnInterrupt(const std::filesystem::path& folder) {
  Registry& r = TheRegistry();
  std::lock_guard<std::recursive_mutex> hold(r.lock);
  const unsigned id = r.next++;
  r.folders.emplace(id, folder);
  return id;
}

void Forget(unsigned id) {
  Registry& r = TheRegistry();
  std::lock_guard<std::recursive_mutex> hold(r.lock);
  r.folders.erase(id);
}

InterruptDeferred::InterruptDeferred() {
  TheRegistry().lock.lock();
  ++tDeferredDepth;
}

InterruptDeferred::~InterruptDeferred() {
  Registry& r = TheRegistry();
  --tDeferredDepth;
  r.lock.unlock();
  // An interrupt that came meanwhile is acted on now: going on would only race the
  // cleanup that is about to end the process.
  while (tDeferredDepth == 0 && r.interrupted) std::this_thread::sleep_for(std::chrono::seconds(1));
}

}  // namespace vlrpub
