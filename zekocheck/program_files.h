// The programs of a check, from the names on the command line: files, and
// folders that zekocheck reads itself. A pupil names the files, so a name
// is only data: every file is opened once, without following a link, and
// then read only through that descriptor.
#pragma once

#include <string>
#include <vector>

#include "runner.h"

namespace zekocheck {

// Sources above this size are refused: no lesson's program comes near it.
constexpr long kLargestSource = 1L << 20;
// Executables above this size are refused (a static C++ program is a few MB).
constexpr long kLargestExecutable = 64L << 20;

class ProgramFiles {
 public:
  ProgramFiles() = default;
  ~ProgramFiles();
  ProgramFiles(const ProgramFiles&) = delete;
  ProgramFiles& operator=(const ProgramFiles&) = delete;

  // One program per source or executable named or found in a named folder
  // (its files in the order of their names, hidden ones left out). A file
  // that cannot be used is a program with its reason (unusable): missing,
  // a link, no plain file, too large. Files that are neither sources nor
  // executables are left out, and so is an executable beside its own source
  // ("anna" beside "anna.pas": the same pupil); `note` names them (one
  // line, or empty).
  std::vector<Program> collect(const std::vector<std::string>& names, std::string& note);

 private:
  std::vector<int> fds_;  // open until the check has ended
};

// Whether `path` is the file of one of `programs` (the same file, by any name).
bool is_one_of(const std::vector<Program>& programs, const std::string& path);

}  // namespace zekocheck
