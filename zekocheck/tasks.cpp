#include "tasks.h"

#include "search_paths.h"
#include "world_file.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace zekocheck {
namespace {

std::string own_folder() {
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : self.parent_path().string();
}

std::optional<Task> load(fs::path folder) {
  if (folder.filename().empty()) folder = folder.parent_path();  // "spur/"
  Task t;
  t.name = folder.filename();
  t.folder = folder;
  std::string text, error;  // never through a link
  if (!read_plain_file(folder / "aufgabe.txt", 1 << 16, text, error)) return std::nullopt;
  t.title = text.substr(0, text.find('\n'));
  t.text = text;
  t.rules = read_task_rules(t.text);
  std::vector<std::pair<int, std::string>> numbers;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    std::string name = entry.path().filename();
    if (!name.starts_with("start") || !name.ends_with(".zko")) continue;
    std::string digits = name.substr(5, name.size() - 9);
    if (digits.empty() || digits.size() > 6 || !std::all_of(digits.begin(), digits.end(), ::isdigit)) continue;
    if (fs::exists(folder / ("ziel" + digits + ".zko"))) numbers.push_back({std::stoi(digits), digits});
  }
  std::sort(numbers.begin(), numbers.end());
  for (const auto& [n, digits] : numbers)
    t.pairs.push_back({(folder / ("start" + digits + ".zko")).string(), (folder / ("ziel" + digits + ".zko")).string()});
  if (t.pairs.empty()) return std::nullopt;
  return t;
}

std::string installed_folder() {
  return zeko::installed_folder(own_folder(), ZEKO_AUFGABEN_RELDIR, ZEKO_AUFGABEN_SOURCE_DIR);
}

}  // namespace

std::vector<std::string> tasks_folders() { return zeko::task_folders(installed_folder()); }

std::vector<Task> all_tasks(const std::vector<std::string>& folders) {
  std::vector<Task> tasks;
  for (const std::string& folder : folders) {
    std::vector<Task> own;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec))
      if (entry.is_directory(ec))
        if (auto t = load(entry.path())) {
          t->collection = folder;
          own.push_back(*t);
        }
    std::sort(own.begin(), own.end(), [](const Task& a, const Task& b) { return a.name < b.name; });
    tasks.insert(tasks.end(), own.begin(), own.end());
  }
  return tasks;
}

std::optional<Task> find_task(const std::vector<std::string>& folders, const std::string& name) {
  std::vector<Task> tasks = all_tasks(folders);
  for (const Task& t : tasks)
    if (t.name == name) return t;
  for (const Task& t : tasks) {
    std::size_t dash = t.name.find('-');
    if (dash != std::string::npos && t.name.substr(dash + 1) == name) return t;
  }
  return std::nullopt;
}

std::optional<Task> find_task_or_folder(const std::vector<std::string>& folders, const std::string& name) {
  if (std::optional<Task> task = find_task(folders, name)) return task;
  std::error_code ec;
  if (!name.empty() && name != "." && name != ".." && fs::is_directory(name, ec)) return load(name);
  return std::nullopt;
}

}  // namespace zekocheck
