// Serving one run's check channel: the calls come in on one pipe, the
// start world and the answers go out on the other, never waiting on either.
#pragma once

#include <cstddef>

namespace zekocheck {

class Replay;

class CheckService {
 public:
  // Makes the two pipes; false on failure. The run's ends go into the job.
  bool open();
  int run_calls_end() const { return run_calls_; }
  int run_answers_end() const { return run_answers_; }
  // After the job started: the run's ends are its own now.
  void close_run_ends();

  // To poll: the calls, and the answers' end while something waits to go.
  int calls() const { return calls_; }
  int answers_to_poll(Replay& replay) const;
  // Takes the calls that came (at most a limit per look), sends what the
  // replay answers as far as the pipe takes it. False once the run must end
  // at once (its replay says nothing can change the verdict any more).
  bool serve(Replay& replay);
  // Whatever is still in the pipe after the run's end, read in a few looks.
  void serve_rest(Replay& replay);
  bool open_now() const { return calls_ >= 0; }
  void close();
  ~CheckService();

 private:
  int calls_ = -1, answers_ = -1;          // ours
  int run_calls_ = -1, run_answers_ = -1;  // the run's, until it has them
};

}  // namespace zekocheck
