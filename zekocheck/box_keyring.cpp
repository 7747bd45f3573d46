#include "box_keyring.h"

#include <errno.h>
#include <linux/keyctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace zekocheck {

bool join_fresh_keyring() noexcept {
  // No name: a keyring of its own, not one found by name.
  return syscall(SYS_keyctl, KEYCTL_JOIN_SESSION_KEYRING, nullptr) >= 0 || errno == ENOSYS || errno == EPERM;
}

std::string keyring_missing() {
  // Tried in a child of its own: our own session keyring stays as it is.
  pid_t pid = fork();
  if (pid == 0) _exit(join_fresh_keyring() ? 0 : 1);
  int status = 0;
  while (pid > 0 && waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (pid > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0) return "";
  return "der Kernel gibt keinen neuen";
}

}  // namespace zekocheck
