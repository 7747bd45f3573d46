// The task collections: one folder per task (the installed collection is
// share/zeko/aufgaben), with the task text aufgabe.txt and the world pairs startN.zko / zielN.zko.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "task_rules.h"

namespace zekocheck {

struct Task {
  std::string name;    // the folder's name, e.g. "01-geradeaus"
  std::string folder;
  std::string title;   // first line of aufgabe.txt
  std::vector<std::pair<std::string, std::string>> pairs;  // start, goal; by N
  std::string collection;  // the folder of the collection it belongs to
  std::string text;        // aufgabe.txt as it is
  TaskRules rules;         // from the text
};

// The collections in the order they are searched (core/search_paths.h):
// the folders named in $ZEKO_AUFGABEN, the system-wide file's, the installed
// folder relative to this program, or the source tree's.
std::vector<std::string> tasks_folders();
// The tasks of each collection in turn, each collection's by name.
std::vector<Task> all_tasks(const std::vector<std::string>& folders);
// By its full name or by the name without the leading number ("geradeaus");
// a full name anywhere wins over a short one, an earlier collection over a
// later one.
std::optional<Task> find_task(const std::vector<std::string>& folders, const std::string& name);
// The teacher's --aufgabe: a name as above, else a task folder's path.
// Never for a name a pupil chose (a file name in a class folder).
std::optional<Task> find_task_or_folder(const std::vector<std::string>& folders, const std::string& name);

}  // namespace zekocheck
