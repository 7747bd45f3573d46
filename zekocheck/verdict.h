// What a run means: passed, or not with a reason, and for a wrong end world
// the differing fields, position and supply.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "runner.h"
#include "task_rules.h"
#include "world_file.h"

namespace zekocheck {

struct Comparison {
  bool position = true;  // compare the robot's end position
  bool supply = true;    // compare the robot's end supply
};

struct FieldDifference {
  int x, y, expected, actual;
};

struct Verdict {
  bool passed = false;
  std::string reason;        // German, empty when passed
  int pair = 0;              // the world pair the verdict is about (1-based; 0: none)
  long line = 0;             // the failing line in the program's own file, where known
  long commands = 0;         // summed over the worlds; of the deciding world when not passed
  long milliseconds = 0;
  int worlds_passed = 0;      // "k von n Welten"
  int worlds = 0;
  bool wrong_world = false;  // ended well, but not in the goal world
  bool has_worlds = false;   // expected and actual hold the goal and the world where the run stopped
  World expected, actual;
  std::vector<FieldDifference> fields;
  bool position_differs = false;
  bool supply_differs = false;
  std::string output;        // the learner program's own text (of the pair above)
  bool output_cut = false;
};

// The world a run ended in, when it ended well (loaded a world, ended
// normally within the limits); otherwise nothing, with the reason (German),
// which names a place only in one of the `own` files (pupil_text.h).
std::optional<World> end_world_if_ended_well(const Run& run, double seconds, std::string* reason = nullptr,
                                             const std::vector<std::string>& own = {});

// The program's verdict over all pairs: the first pair it fails decides;
// milliseconds are summed over the runs. A run that ends well fails still
// when it broke the task's rules.
Verdict judge(const Program& program, const std::vector<World>& goals, const Comparison& compare, double seconds,
              const TaskRules& rules = {});

// "2 von 3 Welten"
std::string worlds_text(const Verdict& v);

}  // namespace zekocheck
