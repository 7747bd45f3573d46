// One pupil's box: the sandbox in which that pupil's compile and all its
// runs happen, one job after the other, and which no other pupil ever
// shares. Its first process is our supervisor (zekobox), in bubblewrap as
// the init of the box's pid name space, or without the sandbox started
// directly; zekocheck hands it the jobs over a socket. When the box closes,
// nothing of it is left: processes, IPC (its own name space, or as root the
// slot user's objects), files, mounts.
//
// The box's guards plug in at three places, each named in BoxGuards: the
// bubblewrap arguments, the first process's side before exec, and the end;
// and they count what the box's memory limit ended, job by job.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "sandbox.h"

namespace zekocheck {

// What the guards of a box know of it.
struct BoxInfo {
  int slot = 0;
  uid_t user = 0;       // the slot's user as root, else ours
  std::string folder;   // the box's folder on the host
  bool bwrap = false;   // in bubblewrap (else the supervisor runs directly)
  pid_t first = -1;     // the box's first process, once started
  // Its first process was forked ahead, while the slot's box before was at
  // work, and has already joined what the guards prepared for it.
  bool prepared = false;
};

// Where a box's guards (cgroup, seccomp filter, keyring, bounded /dev) plug
// in. The default guards nothing.
class BoxGuards {
 public:
  virtual ~BoxGuards() = default;
  // BOX START, our side: before the first process is forked. Arguments for
  // bubblewrap (e.g. "--seccomp", "FD") go into `bwrap_args`, before the
  // command; descriptors they name go into `keep` (they stay open across
  // the exec and are closed on our side once it started). False: the box
  // does not open.
  virtual bool before_start(const BoxInfo&, std::vector<std::string>& bwrap_args, std::vector<int>& keep) {
    (void)bwrap_args, (void)keep;
    return true;
  }
  // BOX START, child side: in the forked first process, after its user and
  // limits are set, right before exec (only async-signal-safe calls). False
  // ends the start.
  virtual bool before_exec(const BoxInfo&) noexcept { return true; }
  // AHEAD OF A BOX, our side: the slot's next first process is about to be
  // forked, while the slot's box is still at work; it stays privileged and
  // waits until its box starts (BoxInfo::prepared). Its child side right
  // after the fork: the descriptors it keeps while it waits go into
  // `keep`, then it joins what was prepared (async-signal-safe; false ends
  // it). A prepared process that ends unused: drop_prepared.
  virtual void before_prepare(int slot) { (void)slot; }
  virtual void prepared_fds(int slot, std::vector<int>& keep) const { (void)slot, (void)keep; }
  virtual bool join_prepared(int slot) noexcept { return (void)slot, true; }
  virtual void drop_prepared(int slot) { (void)slot; }
  // BOX END: after every process of the box ended, before its folder goes.
  virtual void at_end(const BoxInfo&) {}
  // How many processes the box's memory limit ended since it opened; read
  // before and after a job, it says whether the limit ended the job.
  virtual long memory_ends(const BoxInfo&) const { return 0; }
};

// One job in a box: a compile or a run.
struct BoxJob {
  std::string cwd;                   // where it starts (a folder of the box)
  std::vector<std::string> command;  // argv[0] with its folder
  std::vector<std::string> env;      // added to the minimal environment
  ChildLimits limits;
  int calls = -1, answers = -1;      // the check channel's ends it gets as 3 and 4 (-1: none)
};

class Box {
 public:
  // The box of `slot`'s next pupil, in `folder` (made by open()).
  Box(Sandbox& sandbox, int slot, std::string folder);
  ~Box();
  Box(const Box&) = delete;
  Box& operator=(const Box&) = delete;

  // Makes the folder (as root a small tmpfs of the slot's user) with
  // `subfolders` for the jobs, and starts the supervisor. False on failure.
  bool open(const std::vector<std::string>& subfolders = {});
  // Starts a job; the read end of its output (non-blocking) in `out_fd`.
  bool start(const BoxJob& job, int& out_fd);
  // The job's processes end at once (its end comes as usual).
  void kill_job();
  // To poll: readable when the job's end came, or the box is gone.
  int control() const { return control_; }
  // After control() was readable: true when the job ended, its status in
  // `status` (a box that went ends its job as killed).
  bool take_end(int& status);
  // Starts a job, throws its output away and waits for its end at most
  // `ms`; false when it did not end.
  bool run_to_end(const BoxJob& job, long ms, int& status);
  // Nothing of the box is left afterwards.
  void close();

  const std::string& folder() const { return info_.folder; }
  // What the box's memory limit ended so far (BoxGuards::memory_ends).
  long memory_ends() const { return sandbox_.guards().memory_ends(info_); }
  // A file or folder of the box goes to the slot's user (as root).
  bool hand_over(const std::string& path) const;
  // A host file copied into the box, the slot user's (as root).
  bool copy_in(const std::string& from, const std::string& to, bool executable) const;

 private:
  std::vector<std::string> bwrap_command(int socket_fd, int supervisor_fd, const std::vector<std::string>& extra);
  std::vector<std::string> first_command(int socket_fd, int supervisor_fd, const std::vector<std::string>& extra);
  bool start_first(const std::vector<std::string>& args, const std::vector<int>& keep);
  bool release_prepared(const std::vector<std::string>& args, const std::vector<int>& keep);
  void prepare_next();
  void wait_first();

  Sandbox& sandbox_;
  BoxInfo info_;
  int control_ = -1;
  bool mounted_ = false;
  bool opened_ = false;
};

}  // namespace zekocheck
