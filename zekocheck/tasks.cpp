#include "tasks.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace zekocheck {
namespace {

std::string own_folder() {
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : self.parent_path().string();
}

std::optional<Task> load(const fs::path& folder) {
  Task t;
  t.name = folder.filename();
  t.folder = folder;
  std::ifstream text(folder / "aufgabe.txt");
  if (!text) return std::nullopt;
  std::getline(text, t.title);
  std::vector<std::pair<int, std::string>> numbers;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    std::string name = entry.path().filename();
    if (!name.starts_with("start") || !name.ends_with(".zko")) continue;
    std::string digits = name.substr(5, name.size() - 9);
    if (digits.empty() || !std::all_of(digits.begin(), digits.end(), ::isdigit)) continue;
    if (fs::exists(folder / ("ziel" + digits + ".zko"))) numbers.push_back({std::stoi(digits), digits});
  }
  std::sort(numbers.begin(), numbers.end());
  for (const auto& [n, digits] : numbers)
    t.pairs.push_back({(folder / ("start" + digits + ".zko")).string(), (folder / ("ziel" + digits + ".zko")).string()});
  if (t.pairs.empty()) return std::nullopt;
  return t;
}

}  // namespace

std::string tasks_folder() {
  if (const char* env = std::getenv("ZEKO_AUFGABEN"); env && *env) return env;
  std::string self = own_folder();
  if (!self.empty()) {
    fs::path installed = fs::path(self) / ZEKO_AUFGABEN_RELDIR;
    if (fs::is_directory(installed)) return fs::weakly_canonical(installed).string();
  }
  return ZEKO_AUFGABEN_SOURCE_DIR;
}

std::vector<Task> all_tasks(const std::string& folder) {
  std::vector<Task> tasks;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec))
    if (entry.is_directory(ec))
      if (auto t = load(entry.path())) tasks.push_back(*t);
  std::sort(tasks.begin(), tasks.end(), [](const Task& a, const Task& b) { return a.name < b.name; });
  return tasks;
}

std::optional<Task> find_task(const std::string& folder, const std::string& name) {
  for (const Task& t : all_tasks(folder)) {
    std::size_t dash = t.name.find('-');
    if (t.name == name || (dash != std::string::npos && t.name.substr(dash + 1) == name)) return t;
  }
  return std::nullopt;
}

}  // namespace zekocheck
