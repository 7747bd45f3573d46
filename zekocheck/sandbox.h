// Where a learner's compile and runs happen: one box per pupil (box.h). The
// sandbox is what every box of a check shares: whether bubblewrap runs here
// (nothing of the host but the system folders, read-only; no network, no
// IPC, no capabilities), the users of the parallel slots when zekocheck runs
// as root, the start of every bubblewrap command, the minimal environment,
// the limits and the guards that plug into each box.
#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "zeko_files.h"

namespace zekocheck {

class BoxGuards;

// A slot's next first process, forked ahead of its box: it waits on
// `socket` for its command.
struct PreparedFirst {
  pid_t pid = -1;
  int socket = -1;
};

// Limits of one job in a box.
struct ChildLimits {
  rlim_t cpu_seconds = RLIM_INFINITY;
  rlim_t memory_bytes = 0;  // address space; 0: none
  rlim_t file_bytes = RLIM_INFINITY;
};

constexpr rlim_t kProcessesPerRun = 64;
constexpr long kOwnFolderMb = 64;
constexpr long kOwnFolderInodes = 4096;
constexpr long kShmMb = 8;

class Sandbox {
 public:
  // `base` is the check's temporary folder; `zekoc` the compile wrapper,
  // whose installation (or build tree) the compile needs read-only;
  // `guards` those every box gets, already in the probe of bubblewrap
  // (none when null).
  Sandbox(bool wanted, std::string base, int slots, std::string zekoc, std::unique_ptr<BoxGuards> guards = nullptr);
  ~Sandbox();
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
  bool root() const { return root_; }
  // How many boxes may run at a time: as a user without bwrap the programs
  // could reach each other, so one.
  int slots() const { return slots_; }

  // The guards every box gets (none unless set).
  void set_guards(std::unique_ptr<BoxGuards> guards);
  BoxGuards& guards() const { return *guards_; }

  // The user of a slot (as root), and the limits of its box's processes.
  uid_t slot_uid(int slot) const;
  rlim_t outer_processes() const { return outer_processes_; }
  rlim_t job_processes() const { return use_bwrap_ || root_ ? kProcessesPerRun : outer_processes_; }
  // Where the compile finds Zeko's unit, library and header.
  const zeko::compile::Layout& layout() const { return zeko_.layout; }
  // What a run's environment needs of them besides the minimal one.
  const std::vector<std::string>& run_environment() const { return zeko_.run_env; }
  // The box's supervisor (zekobox) beside zekocheck, or empty.
  const std::string& supervisor() const { return supervisor_; }
  // What every bubblewrap command starts with: the same for the whole check.
  const std::vector<std::string>& bwrap_common();
  // The processes the boxes started first; the others are adopted leftovers.
  std::set<pid_t>& first_processes() { return first_; }
  // At the end of a check: our children that outlived their boxes are
  // ended and reaped.
  void end_adopted_children();
  // The slot's prepared first process (pid -1: none).
  PreparedFirst& prepared(int slot);
  // Every prepared first process not yet used is ended and reaped, and
  // what the guards prepared for it goes.
  void end_prepared();

 private:
  bool probe();

  std::string base_, zekoc_, bwrap_, note_, unreachable_, supervisor_;
  bool use_bwrap_ = false;
  bool root_ = false;
  int slots_ = 1;
  rlim_t outer_processes_ = RLIM_INFINITY;
  ZekoFiles zeko_;                      // the unit, library and header the boxes see
  std::vector<std::string> common_;     // the start of every bubblewrap command
  std::set<pid_t> first_;
  std::vector<PreparedFirst> prepared_;  // by slot
  std::unique_ptr<BoxGuards> guards_;
};

// The environment of compile and run: PATH, LANG, HOME and TMPDIR, what the
// tests' sanitizer runtime and zekoc need, nothing else of ours.
std::vector<std::string> minimal_environment(const std::string& own);

}  // namespace zekocheck
