// zekocheck --klasse: a class across the tasks of a term. One folder per
// pupil, each with files named by task (klasse7/anna/04-sammeln.pas, or
// sammeln.c); every pupil's every task is checked, and one overview page
// (pupils down, tasks across, a link from each cell to the task's page of
// details) and the CSV table are written.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "runner.h"
#include "verdict.h"

namespace zekocheck {

struct ClassCheck {
  std::string folder;            // the class's folder
  std::string page = "uebersicht.html";  // the overview; the tasks' pages beside it
  std::string csv = "uebersicht.csv";
  std::vector<std::string> collections;
  Limits limits;
  Comparison compare;
  std::string zekoc;
  std::string date;              // when the check ran, as people read it
};

// Without the sandbox one pupil's program could reach another's: the note
// that refuses to check several unless the teacher switched it off.
const char* unsandboxed_class_note();

// 0 when every pupil passed every task, 1 otherwise, 2 when the folder or
// a page cannot be read or written. Results for people go to `out`.
int check_class(const ClassCheck& check, std::ostream& out, std::ostream& err);

}  // namespace zekocheck
