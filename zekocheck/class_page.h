// The overview page of a class: pupils down, tasks across; each cell says
// "bestanden", "k von n" or that nothing was handed in, and links to the
// program's details on its task's page. Self-contained like the task pages.
#pragma once

#include <string>
#include <vector>

#include "report.h"

namespace zekocheck {

struct ClassCell {
  const Checked* checked = nullptr;  // null: nothing handed in
  std::string link;                  // the details: "uebersicht-04-sammeln.html#p3"
};

struct ClassTable {
  std::string title;   // the class's folder name
  std::string date;
  std::vector<std::string> pupils;
  std::vector<std::string> tasks;      // names
  std::vector<std::string> titles;     // the tasks' title lines
  std::vector<std::vector<ClassCell>> cells;  // [pupil][task]
};

std::string class_page(const ClassTable& table);

}  // namespace zekocheck
