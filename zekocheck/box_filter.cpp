#include "box_filter.h"

#include <errno.h>
#include <fcntl.h>
#include <linux/seccomp.h>
#include <sched.h>
#include <seccomp.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cstddef>

namespace zekocheck {
namespace {

// Closed in every box. Names this kernel's headers do not know are left out.
const char* const kClosed[] = {
    // keyrings: the teacher's keys, and keys that outlive the box
    "add_key", "request_key", "keyctl",
    // interfaces whose own bugs are the usual way out of a sandbox
    "io_uring_setup", "io_uring_enter", "io_uring_register", "userfaultfd", "perf_event_open", "bpf",
    // other processes' memory
    "ptrace", "process_vm_readv", "process_vm_writev", "kcmp", "pidfd_getfd",
    // mounts and name spaces
    "mount", "umount2", "pivot_root", "chroot", "move_mount", "open_tree", "fsopen", "fsconfig", "fsmount",
    "fspick", "mount_setattr", "unshare", "setns",
    // the kernel itself, the machine's clocks, swap and accounting
    "init_module", "finit_module", "delete_module", "create_module", "get_kernel_syms", "query_module",
    "kexec_load", "kexec_file_load", "reboot", "swapon", "swapoff", "settimeofday", "clock_settime",
    "clock_adjtime", "adjtimex", "stime", "acct", "quotactl", "quotactl_fd", "nfsservctl", "lookup_dcookie",
    "syslog", "vhangup", "iopl", "ioperm", "uselib", "ustat", "sysfs", "_sysctl", "vm86", "vm86old",
    "open_by_handle_at", "name_to_handle_at", "fanotify_init", "memfd_secret",
    // memory placement across the machine's nodes
    "mbind", "set_mempolicy", "migrate_pages", "move_pages"};

const unsigned long kNewNamespaces[] = {CLONE_NEWNS,  CLONE_NEWUTS, CLONE_NEWIPC,   CLONE_NEWUSER,
                                        CLONE_NEWPID, CLONE_NEWNET, CLONE_NEWCGROUP};

bool add_rules(scmp_filter_ctx ctx, bool memfd_open) {
  const uint32_t denied = SCMP_ACT_ERRNO(EPERM);
  for (const char* name : kClosed) {
    int nr = seccomp_syscall_resolve_name(name);
    if (nr != __NR_SCMP_ERROR && seccomp_rule_add(ctx, denied, nr, 0) != 0) return false;
  }
  if (!memfd_open && seccomp_rule_add(ctx, denied, SCMP_SYS(memfd_create), 0) != 0) return false;
  for (unsigned long flag : kNewNamespaces)
    if (seccomp_rule_add(ctx, denied, SCMP_SYS(clone), 1, SCMP_A0(SCMP_CMP_MASKED_EQ, flag, flag)) != 0) return false;
  return seccomp_rule_add(ctx, SCMP_ACT_ERRNO(ENOSYS), SCMP_SYS(clone3), 0) == 0;
}

// The filter as the kernel takes it; empty when libseccomp cannot make it.
std::vector<sock_filter> build(bool memfd_open) {
  std::vector<sock_filter> program;
  scmp_filter_ctx ctx = seccomp_init(SCMP_ACT_ALLOW);
  if (!ctx) return program;
  // Calls of another architecture's table (x32, i386 through int 0x80)
  // fail too instead of ending the program.
  bool ok = seccomp_attr_set(ctx, SCMP_FLTATR_ACT_BADARCH, SCMP_ACT_ERRNO(EPERM)) == 0 && add_rules(ctx, memfd_open);
  int fd = ok ? memfd_create("zekocheck-filter", MFD_CLOEXEC) : -1;
  if (fd >= 0 && seccomp_export_bpf(ctx, fd) == 0) {
    off_t size = lseek(fd, 0, SEEK_END);
    if (size > 0 && size % static_cast<off_t>(sizeof(sock_filter)) == 0) {
      program.resize(static_cast<std::size_t>(size) / sizeof(sock_filter));
      if (pread(fd, program.data(), static_cast<std::size_t>(size), 0) != size) program.clear();
    }
  }
  if (fd >= 0) close(fd);
  seccomp_release(ctx);
  return program;
}

}  // namespace

BoxFilter::BoxFilter() {
  if (prctl(PR_GET_SECCOMP, 0, 0, 0, 0) < 0 && errno == EINVAL) {
    missing_ = "der Kernel kann kein seccomp";
    return;
  }
  bounded_ = build(true);
  unbounded_ = build(false);
  if (bounded_.empty() || unbounded_.empty()) missing_ = "libseccomp baut ihn nicht";
}

bool load_filter(const std::vector<sock_filter>& program) noexcept {
  sock_fprog prog {static_cast<unsigned short>(program.size()), const_cast<sock_filter*>(program.data())};
  return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 && prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &prog) == 0;
}

int pass_filter(const std::vector<sock_filter>& program) {
  const std::size_t size = program.size() * sizeof(sock_filter);
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) return -1;
  // The filter is a few hundred instructions: far less than a pipe holds.
  bool ok = write(ends[1], program.data(), size) == static_cast<ssize_t>(size);
  close(ends[1]);
  if (ok) return ends[0];
  close(ends[0]);
  return -1;
}

}  // namespace zekocheck
