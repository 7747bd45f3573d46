// A cgroup of its own for every box: the memory of all its processes
// together (with the pages of its tmpfs files, shared memory and memfd
// files, which the memory controller charges to it; no swap) and their
// number are bounded, and at its end every process in it is found and
// ended, wherever it went. cgroup v2 where the unified hierarchy has the
// memory and pids controllers, else v1's two hierarchies; always below our
// own cgroup (as a user: in a subtree delegated to us, such as the user's
// systemd manager's).
#pragma once

#include <string>
#include <vector>

namespace zekocheck {

struct CgroupLimits {
  long long memory_bytes = 0;  // 0: none
  long processes = 0;          // 0: none
};

// One box's cgroup: one folder in v2, one per controller in v1.
struct BoxCgroup {
  std::vector<std::string> dirs;
  // Each folder's process list, open for writing: the box's first process
  // joins by writing "0" to them (join_cgroup) before it runs anything.
  std::vector<int> procs;
  bool memory_bounded = false;
};

class CgroupTree {
 public:
  // Finds where this check may make cgroups and makes its own folder there.
  CgroupTree();
  ~CgroupTree();
  CgroupTree(const CgroupTree&) = delete;
  CgroupTree& operator=(const CgroupTree&) = delete;

  bool available() const { return !roots_.empty(); }
  // Why no cgroup can be made here (German, a few words), or empty.
  const std::string& missing() const { return missing_; }

  // A new box's cgroup with these limits; empty dirs when it fails.
  BoxCgroup make(const CgroupLimits& limits);
  // Sets the limits of a box's cgroup again (it was made ahead of its box).
  bool limit(const BoxCgroup& box, const CgroupLimits& limits) const;
  // Every process still in the box's cgroup is ended and its folders go.
  // Never reaps: the caller's children are the caller's to wait for. True
  // when the memory limit ended one of its processes.
  bool end(BoxCgroup& box) const;
  // How many processes the box's memory limit ended so far, as the cgroup
  // counts them (0 where it bounds no memory).
  long memory_ends(const BoxCgroup& box) const;

 private:
  bool find_v2();
  bool find_v1();

  std::vector<std::string> roots_;  // the check's folders: v2 one, v1 memory and pids
  bool v2_ = false;
  unsigned next_ = 0;
  std::string missing_;
};

// Child side, after fork and before exec: the calling process joins the
// box's cgroup. Async-signal-safe. True when there is none or it joined.
bool join_cgroup(const BoxCgroup& box) noexcept;

}  // namespace zekocheck
