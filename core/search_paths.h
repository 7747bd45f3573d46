// Where worlds and task collections are found: one answer for the library,
// zekoprog, zekoedit and zekocheck. In the order searched:
//   1. the user's variables ZEKO_WELTEN and ZEKO_AUFGABEN (':'-separated);
//   2. the school's folders from the system-wide file (zeko.conf below /etc);
//   3. the installed folders.
// An empty entry in ZEKO_AUFGABEN stands for 2 and 3; set without one, the
// variable names the only collections searched.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zeko {

// The system-wide file, or the one ZEKO_KONFIGURATION names.
std::string system_config_path();

// The folders a configuration text names in lines "welten = FOLDER" and
// "aufgaben = FOLDER" (several lines, or ':' between folders, add more);
// '#' starts a comment. Only absolute folders count: the file holds for
// every user in every working folder.
struct ConfiguredFolders {
  std::vector<std::string> worlds;
  std::vector<std::string> tasks;
};
ConfiguredFolders parse_config(std::string_view text);
// The system-wide file's folders; none when it is missing or unreadable.
ConfiguredFolders system_folders();

// Folders searched for a world that is not in the current folder.
std::vector<std::string> world_folders(const std::string& installed_worlds);
// The task collections, each once.
std::vector<std::string> task_folders(const std::string& installed_tasks);

// `relative` to `module_folder` when that folder exists (an installed
// tree), else `fallback` (the source tree's, for a program in the build tree).
std::string installed_folder(const std::string& module_folder, const std::string& relative, const char* fallback);

}  // namespace zeko
