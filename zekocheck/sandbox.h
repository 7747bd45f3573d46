// Where a learner's compile and run happen: in bubblewrap when it works
// (nothing of the host but the system folders, read-only; no network, no
// IPC, no capabilities), as a user of its own per parallel slot when
// zekocheck runs as root, with its own folder as a small tmpfs, a minimal
// environment and resource limits; and the clean-up that leaves nothing of
// a run behind.
#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "box_guard.h"

namespace zekocheck {

// Limits of one child. The process count is the child's own; the sandbox
// adds what bubblewrap needs around it.
struct ChildLimits {
  rlim_t cpu_seconds = RLIM_INFINITY;
  rlim_t memory_bytes = 0;  // address space; 0: none
  rlim_t file_bytes = RLIM_INFINITY;
};

constexpr rlim_t kProcessesPerRun = 64;
constexpr long kOwnFolderMb = 64;
constexpr long kOwnFolderInodes = 4096;
constexpr long kShmMb = 8;

// One compile or run.
struct Job {
  int slot = 0;                        // 0 .. jobs-1, one job at a time per slot
  bool compile = false;
  std::string own;                     // the own folder: cwd, HOME, TMPDIR; writable
  std::string cwd;                     // where the command starts (empty: the own folder)
  // Host files copied into the own folder, with their names there.
  std::vector<std::pair<std::string, std::string>> own_files;
  std::vector<std::string> readable;   // host files shown read-only at the same path
  std::vector<std::string> command;
  std::vector<std::string> env;        // added to the minimal environment
  ChildLimits limits;
  // Descriptors the job inherits: ours, and the number it gets there.
  std::vector<std::pair<int, int>> pass;
  GuardedBox guarded;                  // the guards' part (box_guard.h)
};

class Sandbox {
 public:
  // `base` is the check's temporary folder; `zekoc` the compile wrapper,
  // whose installation (or build tree) the compile needs read-only; `guard`
  // the guards every job gets, with bwrap or without.
  Sandbox(bool wanted, std::string base, int slots, std::string zekoc, const BoxGuard& guard);
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  // Empty when bwrap is in use or was switched off; otherwise the note why
  // the programs run without it.
  const std::string& note() const { return note_; }
  // As root: why the slots' users cannot reach zekoc, or empty.
  const std::string& unreachable() const { return unreachable_; }
  bool in_use() const { return use_bwrap_; }
  // Wanted but not available: every program is marked in the report.
  bool missing() const { return !note_.empty(); }

  // Makes the own folder (a limited tmpfs when root) with its files, owned
  // by the slot's user; false when that fails.
  bool prepare(const Job& job);
  // As root: `dir` in the own folder and its entries go to the slot's
  // user (the compiler writes there); false when that fails.
  bool hand_over(const Job& job, const std::string& dir) const;
  // Starts the job in a session of its own; output and errors go into one
  // pipe whose read end is `out_fd`. -1 when the start fails.
  pid_t start(const Job& job, int& out_fd);
  // After the job's first process ended: every process it left is ended
  // and reaped (`session` is what start gave).
  void stop(const Job& job, pid_t session);
  // Then its own folder and result folder go, and as root without bwrap
  // what the slot's user left in the shared folders (/tmp, /dev/shm, ...).
  void clear(const Job& job);
  // At the end of a check: our children that outlived their jobs (adopted
  // through the subreaper setting) are ended and reaped.
  void end_adopted();

 private:
  const std::vector<std::string>& bwrap_common();
  std::vector<std::string> bwrap_command(const Job& job);
  bool probe();
  std::vector<pid_t> adopted(pid_t session) const;
  uid_t slot_uid(int slot) const;

  const BoxGuard& guard_;
  std::string base_, zekoc_, bwrap_, note_, unreachable_;
  bool use_bwrap_ = false;
  bool root_ = false;
  int slots_ = 1;
  rlim_t outer_processes_ = RLIM_INFINITY;
  std::vector<std::string> zeko_dirs_;  // the compiler wrapper's unit and library
  std::set<pid_t> started_;             // first processes of the jobs that run
  std::vector<std::string> common_;     // the start of every bubblewrap command
};

// The environment of compile and run: PATH, LANG, HOME and TMPDIR, what the
// tests' sanitizer runtime and zekoc need, nothing else of ours.
std::vector<std::string> minimal_environment(const std::string& own);

// Removes a folder tree of any depth by descriptors (no path grows with the
// depth), also where a program took away its own permissions. Does not
// follow symbolic links nor leave the file system.
void remove_tree(const std::string& path);

// Base folder of a check: below TMPDIR, or /tmp when root and TMPDIR is not
// reachable for the slots' users. Empty on failure.
std::string make_base_folder();

}  // namespace zekocheck
