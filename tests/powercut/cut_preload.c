// Picks the moment of a power cut: loaded with LD_PRELOAD, it counts the calls of
// rename, link, unlink, mkdir, rmdir, fsync and fdatasync (their *at forms and
// remove() too) across all threads, and ends the process with SIGKILL just before
// the Nth. Nothing else is changed.
//   POWERCUT_AT=N          kill before the Nth call (unset or 0: never)
//   POWERCUT_COUNT=FILE    the number of calls made so far, rewritten at each call
//   POWERCUT_NO_FSYNC=1    fsync and fdatasync do nothing (the tests' negative control)
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static atomic_long calls;
static long cut_at = -1;  // -1: not read yet
static int count_fd = -2;
static int no_fsync;

static void Setup(void) {
  const char* at = getenv("POWERCUT_AT");
  cut_at = at ? atol(at) : 0;
  const char* nf = getenv("POWERCUT_NO_FSYNC");
  no_fsync = nf && strcmp(nf, "1") == 0;
  const char* count = getenv("POWERCUT_COUNT");
  count_fd = count ? open(count, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644) : -1;
}

__attribute__((constructor)) static void Init(void) { Setup(); }

// Counts one call; the process ends here when it is the chosen one.
static void Step(void) {
  const long n = atomic_fetch_add(&calls, 1) + 1;
  if (cut_at > 0 && n >= cut_at) {
    kill(getpid(), SIGKILL);
    for (;;) pause();
  }
  if (count_fd >= 0) {
    char text[32];
    const int len = snprintf(text, sizeof text, "%ld\n", n);
    if (pwrite(count_fd, text, (size_t)len, 0) < 0) { /* the count is advisory */ }
  }
}

#define REAL(name) ((__typeof__(&name))dlsym(RTLD_NEXT, #name))

int rename(const char* a, const char* b) { Step(); return REAL(rename)(a, b); }
int renameat(int fa, const char* a, int fb, const char* b) {
  Step();
  return REAL(renameat)(fa, a, fb, b);
}
int renameat2(int fa, const char* a, int fb, const char* b, unsigned flags) {
  Step();
  return REAL(renameat2)(fa, a, fb, b, flags);
}
int link(const char* a, const char* b) { Step(); return REAL(link)(a, b); }
int linkat(int fa, const char* a, int fb, const char* b, int flags) {
  Step();
  return REAL(linkat)(fa, a, fb, b, flags);
}
int unlink(const char* p) { Step(); return REAL(unlink)(p); }
int unlinkat(int fd, const char* p, int flags) { Step(); return REAL(unlinkat)(fd, p, flags); }
int remove(const char* p) { Step(); return REAL(remove)(p); }
int mkdir(const char* p, mode_t m) { Step(); return REAL(mkdir)(p, m); }
int mkdirat(int fd, const char* p, mode_t m) { Step(); return REAL(mkdirat)(fd, p, m); }
int rmdir(const char* p) { Step(); return REAL(rmdir)(p); }
int fsync(int fd) {
  Step();
  return no_fsync ? 0 : REAL(fsync)(fd);
}
int fdatasync(int fd) {
  Step();
  return no_fsync ? 0 : REAL(fdatasync)(fd);
}
