#include "task_worlds.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace zeko {
namespace {

namespace fs = std::filesystem;

std::string_view short_name(std::string_view task) {
  std::size_t dash = task.find('-');
  return dash == std::string_view::npos ? task : task.substr(dash + 1);
}

bool regular_file(const fs::path& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The task folders of that name in a collection, by name (as zekocheck
// orders them). The folders are read, never built from the name.
std::vector<fs::path> task_folders_named(const std::string& collection, std::string_view task, bool full) {
  std::vector<fs::path> found;
  std::error_code ec;
  // Without exceptions: a folder that cannot be read ends the search there.
  for (fs::directory_iterator it(collection, ec), end; !ec && it != end; it.increment(ec)) {
    std::string folder = it->path().filename();
    std::error_code kind;
    if ((full ? std::string_view(folder) : short_name(folder)) == task && it->is_directory(kind))
      found.push_back(it->path());
  }
  std::sort(found.begin(), found.end());
  return found;
}

// The start world of pair `number` of the first such task, else empty.
std::string start_world_in(const std::string& collection, std::string_view task, bool full, const std::string& number) {
  for (const fs::path& folder : task_folders_named(collection, task, full)) {
    fs::path start = folder / ("start" + number + ".zko");
    if (regular_file(folder / "aufgabe.txt") && regular_file(folder / ("ziel" + number + ".zko")) && regular_file(start))
      return start.string();
  }
  return {};
}

}  // namespace

std::string task_world_name(std::string_view task, std::string_view number) {
  return std::string(short_name(task)) + "-" + std::string(number);
}

std::string find_task_world(std::string_view name, const std::vector<std::string>& collections) {
  std::size_t dash = name.rfind('-');
  if (dash == std::string_view::npos || dash == 0) return {};
  std::string_view task = name.substr(0, dash), number = name.substr(dash + 1);
  bool digits = !number.empty() && number.size() <= 4 && number[0] != '0' &&
                std::all_of(number.begin(), number.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
  if (!digits || task.find('/') != std::string_view::npos) return {};
  for (bool full : {true, false})
    for (const std::string& collection : collections) {
      std::string found = start_world_in(collection, task, full, std::string(number));
      if (!found.empty()) return found;
    }
  return {};
}

}  // namespace zeko
