#include "temp_dir.h"

#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "files.h"

namespace fs = std::filesystem;

namespace support {

TempDir::TempDir(mode_t mode) {
  char pattern[] = "/tmp/zeko-test-XXXXXX";
  if (!mkdtemp(pattern)) throw std::runtime_error(std::string("mkdtemp: ") + std::strerror(errno));
  path_ = pattern;
  chmod(path_.c_str(), mode);
}

TempDir::~TempDir() {
  std::error_code ignored;
  for (auto it = fs::recursive_directory_iterator(path_, ignored); it != fs::recursive_directory_iterator();
       it.increment(ignored))
    if (it->is_directory(ignored)) fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(path_, ignored);
}

void TempDir::put(std::string_view name, std::string_view content) const { write_file(*this / name, content); }

std::string TempDir::read(std::string_view name) const { return read_file(*this / name); }

std::vector<std::string> TempDir::names() const {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(path_)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

bool TempDir::has_name_starting(std::string_view prefix) const {
  auto names = this->names();
  return std::any_of(names.begin(), names.end(), [&](const std::string& n) { return n.starts_with(prefix); });
}

}  // namespace support
