// The task collection: one folder per task under share/zeko/aufgaben, with
// the task text aufgabe.txt and the world pairs startN.zko / zielN.zko.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace zekocheck {

struct Task {
  std::string name;    // the folder's name, e.g. "01-geradeaus"
  std::string folder;
  std::string title;   // first line of aufgabe.txt
  std::vector<std::pair<std::string, std::string>> pairs;  // start, goal; by N
};

// The folder of the collection: $ZEKO_AUFGABEN, the installed folder
// relative to this program, or the source tree's.
std::string tasks_folder();
std::vector<Task> all_tasks(const std::string& folder);
// By its full name or by the name without the leading number ("geradeaus").
std::optional<Task> find_task(const std::string& folder, const std::string& name);

}  // namespace zekocheck
