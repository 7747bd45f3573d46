// One pupil's room while its box is open: the compile when its source is
// compiled here, then one run per start world, one job after the other in
// the pupil's own box; its output, its check channel and its deadline.
#pragma once

#include <poll.h>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "box.h"
#include "check_service.h"
#include "runner.h"

namespace zekocheck {

// What every room of a check shares.
struct Classroom {
  Limits limits;
  Sandbox* sandbox = nullptr;
  std::string zekoc;
  const std::vector<World>* start_worlds = nullptr;
  ChildLimits run_limits, compile_limits;
};

class PupilBox {
 public:
  // `program_file`: the program its runs start (given, or a classmate's
  // identical build); empty: its source is compiled here first. The
  // compiled program is kept at `built` for the classmates who wait for it.
  PupilBox(const Classroom& room, Program& program, int slot, std::string folder, std::string program_file,
           std::string built);
  // Opens the box and starts the first job; false when nothing is to do
  // (the reason is in the program).
  bool open();
  // What to poll, and what came of it (the same entries, in order).
  void add_polls(std::vector<pollfd>& fds);
  void on_events(const pollfd* fds, long now);
  // The time of the job's deadline; past it the job is ended.
  long deadline() const { return deadline_; }
  // True once, right after the compile ended (its result is in the program).
  bool compile_ended();
  bool done() const { return done_; }
  int slot() const { return slot_; }
  // Ends whatever runs (zekocheck was interrupted).
  void abort();

  static constexpr std::size_t kPolls = 4;

 private:
  bool begin_step();
  bool begin_compile(BoxJob& job);
  bool begin_run(BoxJob& job);
  void end_step(int status);
  void end_compile(int status);
  void end_run(int status);
  void drain();
  Run* run() { return step_ >= 0 ? &program_.runs[static_cast<std::size_t>(step_)] : nullptr; }

  const Classroom& room_;
  Program& program_;
  int slot_;
  std::string program_file_, built_;
  Box box_;
  int step_ = -1;           // -1: the compile; then the run of world `step_`
  int out_ = -1;            // the job's output
  CheckService channel_;
  std::string output_;
  bool cut_ = false, timed_out_ = false, done_ = false, compile_ended_ = false;
  long memory_ends_ = 0;        // the box's count before the job
  bool out_of_memory_ = false;  // the box's memory limit ended the job
  long started_ = 0, deadline_ = 0;
};

}  // namespace zekocheck
