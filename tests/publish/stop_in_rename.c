/* Loaded into vlrpublish with LD_PRELOAD by the publish tests, so that the program they
 * run is the shipped one: it stops the process (SIGSTOP) once, just before the rename or
 * the exchange of the path whose last component starts with $VLR_STOP_BEFORE_RENAME_OF;
 * with $VLR_NO_EXCHANGE set, an exchange (renameat2 with RENAME_EXCHANGE) fails with
 * EINVAL, as on a file system that cannot exchange two folders. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static void StopBefore(const char* from) {
  static int stopped;
  const char* wanted = getenv("VLR_STOP_BEFORE_RENAME_OF");
  const char* slash = strrchr(from, '/');
  const char* name = slash ? slash + 1 : from;
  if (!stopped && wanted && strncmp(name, wanted, strlen(wanted)) == 0) {
    stopped = 1;
    raise(SIGSTOP);
  }
}

int rename(const char* from, const char* to) {
  int (*real)(const char*, const char*) =
      (int (*)(const char*, const char*))dlsym(RTLD_NEXT, "rename");
  StopBefore(from);
  return real(from, to);
}

int renameat2(int fromDir, const char* from, int toDir, const char* to, unsigned flags) {
  int (*real)(int, const char*, int, const char*, unsigned) =
      (int (*)(int, const char*, int, const char*, unsigned))dlsym(RTLD_NEXT, "renameat2");
  if ((flags & RENAME_EXCHANGE) && getenv("VLR_NO_EXCHANGE")) {
    errno = EINVAL;
    return -1;
  }
  StopBefore(from);
  return real(fromDir, from, toDir, to, flags);
}
