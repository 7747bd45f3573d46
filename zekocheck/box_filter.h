// The system calls a box never needs, closed with EPERM (a program sees a
// failure it can report, nothing is killed): modelled on the default
// profiles of container runtimes. No keyring calls, io_uring, userfaultfd,
// perf_event_open, bpf, ptrace and reading or writing other processes'
// memory, no mounts, name spaces (unshare, setns, clone into new ones),
// kernel modules, kexec, reboot, swap, clocks, accounting, quotas,
// handles to files by number, the kernel log. clone3 answers ENOSYS, as
// those profiles do, so that the C library falls back to clone, whose flags
// the filter can see. memfd_create is closed where no cgroup bounds the
// box's memory: its pages are mapped nowhere, so no address-space limit
// sees them.
//
// The filter is built once, before any fork, as a BPF program; the child
// side only hands it to the kernel with plain calls.
#pragma once

#include <linux/filter.h>

#include <string>
#include <vector>

namespace zekocheck {

class BoxFilter {
 public:
  BoxFilter();

  // Why no filter can be loaded here (German, a few words), or empty.
  const std::string& missing() const { return missing_; }
  bool available() const { return missing_.empty(); }
  // The filter for a box whose memory a cgroup bounds, or one whose it does not.
  const std::vector<sock_filter>& program(bool memory_bounded) const {
    return memory_bounded ? bounded_ : unbounded_;
  }

 private:
  std::vector<sock_filter> bounded_, unbounded_;
  std::string missing_;
};

// Child side, after fork and before exec; async-signal-safe. Loads the
// filter on the calling process (sets no_new_privs first).
bool load_filter(const std::vector<sock_filter>& program) noexcept;
// Our side: the read end of a pipe that holds the filter (closed on exec
// until the child keeps it), for bubblewrap's --seccomp, which loads it
// just before the box's first program; -1 on failure.
int pass_filter(const std::vector<sock_filter>& program);

}  // namespace zekocheck
