// The guards of a box beyond the sandbox's name spaces and limits: a
// cgroup of its own (box_cgroup.h), a system-call filter (box_filter.h), a
// fresh session keyring (box_keyring.h) and a read-only /dev. They hold in
// every mode, with bubblewrap or without, as root or as a user, wherever the
// system offers them; note() names what it does not.
//
// What to call where:
//   once per check     BoxGuard guard(limits);  print guard.note() when set
//   bwrap command      guard.add_bwrap_arguments(args), after the /dev/shm tmpfs
//   parent, pre-fork   GuardedBox box = guard.open_box();
//   child, pre-exec    guard.enter(box, with_bwrap): last before execve,
//                      after the change of user; async-signal-safe (no
//                      allocation, no locks: only plain system calls)
//   after the end      guard.close_box(box): once the box's processes are
//                      ended and reaped; also when its start failed. True
//                      when the box's memory limit ended a process.
#pragma once

#include <string>
#include <vector>

#include "box_cgroup.h"
#include "box_filter.h"

namespace zekocheck {

// The guards' part of one box.
struct GuardedBox {
  BoxCgroup cgroup;
};

class BoxGuard {
 public:
  // Descriptor at which bubblewrap finds the filter (--seccomp); none of
  // the descriptors a job is given may have this number.
  static constexpr int kFilterFd = 5;

  // `per_box`: what a box's cgroup allows its processes together.
  explicit BoxGuard(const CgroupLimits& per_box);
  BoxGuard(const BoxGuard&) = delete;
  BoxGuard& operator=(const BoxGuard&) = delete;

  // One line naming the guards this system lacks, or empty.
  const std::string& note() const { return note_; }

  void add_bwrap_arguments(std::vector<std::string>& args) const;
  GuardedBox open_box();
  bool enter(const GuardedBox& box, bool with_bwrap) const noexcept;
  bool close_box(GuardedBox& box);

 private:
  CgroupLimits per_box_;
  CgroupTree cgroups_;
  BoxFilter filter_;
  std::string note_;
};

}  // namespace zekocheck
