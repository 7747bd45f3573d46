// Preloaded into the programs under test (ZT_PRELOAD, see pty_terminal.h):
// every write() waits a millisecond first, as on a busy machine, so that a
// test which looks at the screen before the program is done fails at once
// instead of now and then.
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

extern "C" ssize_t write(int fd, const void* buf, size_t count) {
  timespec pause{0, 1000000};
  while (nanosleep(&pause, &pause) != 0) {
  }
  return syscall(SYS_write, fd, buf, count);
}
