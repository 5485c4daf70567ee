/* Preloaded into the tool by the tests: every open with O_TMPFILE fails as on
   a file system that has no unnamed files, so the tool takes its fallback. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>

typedef int (*OpenAt)(int, const char*, int, ...);

static int Refused(int flags) { return (flags & O_TMPFILE) == O_TMPFILE; }

static int Forward(const char* name, int dir_fd, const char* path, int flags, va_list args) {
  const int mode = (flags & O_CREAT) || Refused(flags) ? va_arg(args, int) : 0;
  if (Refused(flags)) {
    errno = EOPNOTSUPP;
    return -1;
  }
  const OpenAt real = (OpenAt)dlsym(RTLD_NEXT, name);
  return real(dir_fd, path, flags, mode);
}

int openat(int dir_fd, const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const int fd = Forward("openat", dir_fd, path, flags, args);
  va_end(args);
  return fd;
}

int openat64(int dir_fd, const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const int fd = Forward("openat64", dir_fd, path, flags, args);
  va_end(args);
  return fd;
}
