// Compiles and runs learner programs, each pupil's in a box of its own
// (box.h) and as many boxes at a time as there are jobs, under limits of
// commands, wall time, CPU time, memory and file size. The rooms: the
// schedule of boxes (schedule.h), one pupil's box with its jobs
// (pupil_box.h), its check channel (check_service.h) and the event loop
// (event_loop.h).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "replay.h"
#include "world_file.h"

namespace zekocheck {

class Sandbox;
class Schedule;
class PupilBox;
struct Classroom;

struct Limits {
  long max_commands = 100000;  // and ten times as many sensor calls
  double seconds = 5;      // wall clock per run
  long compile_seconds = 20;  // wall clock per compile
  long memory_mb = 512;    // address space; 0: none
  long file_mb = 16;       // largest file a program may write
  int jobs = 1;
  bool sandbox = true;     // bubblewrap, when it can run here
};

// One program on one start world.
struct Run {
  bool started = false;
  bool timed_out = false;
  bool out_of_memory = false;  // the box's memory limit ended one of its processes
  int wait_status = 0;     // as waitpid gives it
  long milliseconds = 0;
  std::string output;      // standard output and error, cut at kOutputLimit
  bool output_cut = false;
  Replay replay;           // zekocheck's own copy of the run's world
};

struct Program {
  std::string name;        // as given on the command line
  std::string path;
  // Where zekocheck reads the file: its descriptor, opened once without
  // following a link (program_files.h); empty: `path` itself.
  std::string file;
  const std::string& read_from() const { return file.empty() ? path : file; }
  bool source = false;     // a .pas, .c or .cpp file that is compiled first
  bool compile_failed = false;
  std::string compile_limit;  // the limit that stopped the compiler (German), or empty
  bool sandboxed = false;        // compiled and run in bwrap
  bool without_sandbox = false;  // compiled and run without it (switched off or not usable)
  std::string compile_messages;
  std::string unusable;    // why the file cannot even be tried (German), or empty
  std::vector<Run> runs;   // one per world pair
  std::string same_as;     // the name of an earlier program with the same source bytes, or empty
};

constexpr std::size_t kOutputLimit = 64 * 1024;

// Whether `path` is a source to compile first (.pas, .pp, .c, .cpp, .cc,
// .cxx, in any case), not a program to run as it is.
bool is_source(const std::string& path);

// The name of a source's copy in its folder, "programm" with the source's
// ending: the compiler's messages name it.
std::string source_copy(const Program& program);

class Runner {
 public:
  // `zekoc` is the compile wrapper; each run gets its start world over its
  // check channel.
  Runner(Limits limits, std::string zekoc);
  ~Runner();
  Runner(const Runner&) = delete;
  Runner& operator=(const Runner&) = delete;

  // Empty when the sandbox is in use or was switched off; otherwise the
  // note why the programs run without it.
  const std::string& sandbox_note() const;
  // As root: why the compiler cannot be reached by the runs' users, or empty.
  const std::string& access_note() const;
  // Which of the box's guards this system lacks (box_guard.h), or empty.
  const std::string& guard_note() const { return guard_note_; }
  // Whether the programs run in bwrap.
  bool sandboxed() const;
  // False when the temporary folder cannot be made.
  bool ready() const { return !base_.empty(); }

  void run_all(std::vector<Program>& programs, const std::vector<World>& start_worlds);

 private:
  void open_rooms(Schedule& schedule, std::vector<std::unique_ptr<PupilBox>>& rooms, std::vector<bool>& slot_busy,
                  std::vector<std::size_t>& pupil_of, const Classroom& room, std::vector<Program>& programs);

  Limits limits_;
  std::string zekoc_;
  std::string base_;         // temporary folder of this check
  std::string guard_note_;
  std::unique_ptr<Sandbox> sandbox_;
};

}  // namespace zekocheck
