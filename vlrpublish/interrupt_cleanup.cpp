#include "vlrpublish/interrupt_cleanup.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <thread>

#include "platform/console.h"

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

}  // namespace

bool InstallInterruptCleanup() {
  Registry& r = TheRegistry();  // made before any handler can run
  return platform::HandleInterrupts(r.interrupted, &CleanUpAndExit);
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
