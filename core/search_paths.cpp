#include "search_paths.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#ifndef ZEKO_SYSTEM_CONFIG
#error "ZEKO_SYSTEM_CONFIG: the system-wide configuration file, set by CMake"
#endif

namespace zeko {
namespace {

std::string_view trimmed(std::string_view s) {
  const char* blanks = " \t\r";
  std::size_t first = s.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(blanks) - first + 1);
}

// Calls `each` with every entry of a ':'-separated list, empty ones too.
template <typename F>
void for_each_entry(std::string_view list, F each) {
  for (;;) {
    std::size_t colon = list.find(':');
    each(list.substr(0, colon));
    if (colon == std::string_view::npos) return;
    list.remove_prefix(colon + 1);
  }
}

void add_once(std::vector<std::string>& folders, const std::string& folder) {
  if (std::find(folders.begin(), folders.end(), folder) == folders.end()) folders.push_back(folder);
}

void add_all(std::vector<std::string>& folders, const std::vector<std::string>& more) {
  for (const std::string& folder : more) add_once(folders, folder);
}

}  // namespace

std::string system_config_path() {
  const char* own = std::getenv("ZEKO_KONFIGURATION");
  return own && *own ? own : ZEKO_SYSTEM_CONFIG;
}

ConfiguredFolders parse_config(std::string_view text) {
  ConfiguredFolders found;
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    line = trimmed(line.substr(0, line.find('#')));
    std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    std::string_view key = trimmed(line.substr(0, equals));
    std::vector<std::string>* list = key == "welten" ? &found.worlds : key == "aufgaben" ? &found.tasks : nullptr;
    if (!list) continue;
    for_each_entry(trimmed(line.substr(equals + 1)), [&](std::string_view folder) {
      folder = trimmed(folder);
      if (folder.starts_with('/')) add_once(*list, std::string(folder));
    });
  }
  return found;
}

ConfiguredFolders system_folders() {
  std::ifstream file(system_config_path());
  if (!file) return {};
  std::ostringstream text;
  text << file.rdbuf();
  return parse_config(text.str());
}

std::vector<std::string> world_folders(const std::string& installed_worlds) {
  std::vector<std::string> folders;
  if (const char* list = std::getenv("ZEKO_WELTEN"))
    for_each_entry(list, [&](std::string_view folder) {
      if (!folder.empty()) add_once(folders, std::string(folder));
    });
  add_all(folders, system_folders().worlds);
  add_once(folders, installed_worlds);
  return folders;
}

std::vector<std::string> task_folders(const std::string& installed_tasks) {
  std::vector<std::string> defaults = system_folders().tasks;
  add_once(defaults, installed_tasks);
  const char* list = std::getenv("ZEKO_AUFGABEN");
  if (!list || !*list) return defaults;
  std::vector<std::string> folders;
  for_each_entry(list, [&](std::string_view folder) {
    if (folder.empty())
      add_all(folders, defaults);
    else
      add_once(folders, std::string(folder));
  });
  return folders;
}

std::string installed_folder(const std::string& module_folder, const std::string& relative, const char* fallback) {
  if (!module_folder.empty()) {
    std::filesystem::path folder = std::filesystem::path(module_folder) / relative;
    struct stat st;
    if (::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
      std::error_code ec;
      return std::filesystem::weakly_canonical(folder, ec).string();
    }
  }
  return fallback;
}

}  // namespace zeko
