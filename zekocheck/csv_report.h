// The results as a table for gradebooks and learning platforms: one row per
// program and task, in the form a spreadsheet opens in a German locale
// without asking (semicolons, UTF-8 with its byte order mark, every field
// quoted) and without taking a pupil's text for a formula.
#pragma once

#include <string>
#include <vector>

#include "report.h"

namespace zekocheck {

struct CsvRow {
  std::string name;  // the pupil, or the program's name
  std::string task;
  const Checked* checked = nullptr;  // null: nothing handed in for the task
  int worlds = 0;                    // the task's, for a row with nothing handed in
};

std::string csv_text(const std::vector<CsvRow>& rows);
// Written atomically; false with the reason (German).
bool write_csv(const std::string& path, const std::vector<CsvRow>& rows, std::string& error);

// One field, quoted; a text that a spreadsheet would compute (= + - @, or
// a tab or line end first) starts with an apostrophe.
std::string csv_field(const std::string& text);

}  // namespace zekocheck
