// What a pupil sees of a task: its text, the commands it allows, the names
// its start worlds open by and each start world drawn as text; and the hint
// in a failure line that says how to watch the failed world on the screen.
#pragma once

#include <ostream>
#include <string>

#include "runner.h"
#include "tasks.h"
#include "verdict.h"

namespace zekocheck {

// zekocheck --aufgabe NAME --zeigen; the status to end with.
int show_task(std::ostream& out, const Task& task);

// Appends to a failed run's reason how to run the program on that start
// world: "... - ansehen: ZEKO_WELT=geradeaus-2 ./falsch". Nothing for a
// program that never ran.
void add_watch_hint(Verdict& verdict, const Task& task, const Program& program);

}  // namespace zekocheck
