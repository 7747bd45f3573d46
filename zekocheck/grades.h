// What a teacher grades by, beside the verdict: how many of a task's worlds
// a program solved, and whether its source is a copy of another's.
#pragma once

#include <string>
#include <vector>

#include "report.h"
#include "task_rules.h"
#include "verdict.h"

namespace zekocheck {

// Sets `same_as` of every source whose bytes an earlier source has too.
void mark_copies(std::vector<Program>& programs);

// Every program judged against the goals and the task's rules.
std::vector<Checked> judge_all(const std::vector<Program>& programs, const std::vector<World>& goals,
                               const Comparison& compare, double seconds, const TaskRules& rules);

// "2 von 3 Welten bestanden", with ", gleich wie anna.pas" for a copy.
std::string grade_text(const Checked& c);
// "gleich wie anna.pas", or "".
std::string copy_text(const Program& p);

}  // namespace zekocheck
