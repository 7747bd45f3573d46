// A fresh directory under /tmp for one test, removed with its content at
// the end of the scope (folders the test made read-only included).
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace support {

class TempDir {
 public:
  // 0755: everyone may enter and read, only the test writes; tests that run
  // code as another user and let it write ask for 0777.
  explicit TempDir(mode_t mode = 0755);
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::filesystem::path operator/(std::string_view name) const { return std::filesystem::path(path_) / name; }

  void put(std::string_view name, std::string_view content) const;
  std::string read(std::string_view name) const;  // empty if missing
  std::vector<std::string> names() const;  // sorted, hidden files included
  bool has_name_starting(std::string_view prefix) const;

 private:
  std::string path_;
};

}  // namespace support
