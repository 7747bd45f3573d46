// zekocheck --aufgabe-anlegen: a task of the teacher's own from a model
// solution and start worlds. The solution runs on each start world as in a
// check; its end worlds become the goal worlds.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "runner.h"

namespace zekocheck {

struct NewTask {
  std::string folder;               // made new, or empty
  std::string solution;             // Pascal source or executable
  std::vector<std::string> starts;  // start worlds, in order
  double seconds = 5;               // the run's time limit (for the reasons)
};

// Writes startN.zko, zielN.zko and an aufgabe.txt to fill in; refuses with
// status 1 when the solution fails on a world and 2 for a bad call (a
// folder that is not empty, an unreadable world). Messages go to `err`.
int make_task(const NewTask& task, Runner& runner, std::ostream& out, std::ostream& err);

}  // namespace zekocheck
