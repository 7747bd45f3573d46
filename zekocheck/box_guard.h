// The guards of a pupil's box beyond the sandbox's name spaces and limits:
// a cgroup of its own (box_cgroup.h), a system-call filter (box_filter.h),
// a fresh session keyring (box_keyring.h) and a read-only /dev. They hold
// in every mode, with bubblewrap or without, as root or as a user, wherever
// the system offers them; note() names what it does not.
//
// They plug into every box at the places of BoxGuards (box.h):
//   before_start  the box's cgroup is made; bubblewrap gets --remount-ro
//                 /dev (after the /dev/shm tmpfs) and --seccomp with a pipe
//                 that holds the filter
//   before_exec   the box's first process (bubblewrap, or the supervisor
//                 without it) joins the cgroup and a fresh keyring; without
//                 bubblewrap it loads the filter itself. The supervisor and
//                 every job of the box inherit all three.
//   ahead         the slot's next box's cgroup is made while its box before
//                 is at work, and its prepared first process joins it
//                 there; its limits follow when the box starts
//   at_end        whatever is left in the cgroup is ended, the cgroup goes
//   memory_ends   the cgroup's count of what its memory limit ended, read
//                 before and after each job
#pragma once

#include <string>
#include <vector>

#include "box.h"
#include "box_cgroup.h"
#include "box_filter.h"

namespace zekocheck {

class BoxGuard : public BoxGuards {
 public:
  // `per_job`: the memory one job may have (0: none) and the processes of a
  // box together. A box's cgroup adds its tmpfs folders and /dev/shm full.
  explicit BoxGuard(const CgroupLimits& per_job);
  BoxGuard(const BoxGuard&) = delete;
  BoxGuard& operator=(const BoxGuard&) = delete;

  // One line naming the guards this system lacks, or empty.
  const std::string& note() const { return note_; }

  bool before_start(const BoxInfo& info, std::vector<std::string>& bwrap_args, std::vector<int>& keep) override;
  bool before_exec(const BoxInfo& info) noexcept override;
  void before_prepare(int slot) override;
  void prepared_fds(int slot, std::vector<int>& keep) const override;
  bool join_prepared(int slot) noexcept override;
  void drop_prepared(int slot) override;
  void at_end(const BoxInfo& info) override;
  long memory_ends(const BoxInfo& info) const override;

 private:
  CgroupLimits box_limits(const BoxInfo& info) const;
  bool take_prepared(const BoxInfo& info);
  const BoxCgroup* cgroup_of(const BoxInfo& info) const;

  CgroupLimits per_job_;
  CgroupTree cgroups_;
  BoxFilter filter_;
  std::string note_;
  std::vector<BoxCgroup> slots_;  // the cgroup of each slot's open box
  std::vector<BoxCgroup> next_;   // each slot's next box's, made ahead
};

}  // namespace zekocheck
