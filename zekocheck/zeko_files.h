// What a box needs of Zeko itself: the unit, the library and the header
// (and zekoc, which compiles where the compiler cannot be started
// directly). As root the boxes' users must reach them: where a folder above
// them is closed to others (a build tree in root's home, a 0700 folder),
// they are copied once into the check's own folder.
#pragma once

#include <string>
#include <vector>

#include "compile_command.h"

namespace zekocheck {

struct ZekoFiles {
  zeko::compile::Layout layout;   // where the compile finds them
  std::vector<std::string> dirs;  // the folders a box shows read-only
  std::string unreachable;        // as root: the folder the boxes cannot reach, or empty
  // For the runs, where the library is a copy: programs linked against the
  // original find it there.
  std::vector<std::string> run_env;
};

// `zekoc` is the compile wrapper; `base` the check's folder (as root one
// the slots' users may pass).
ZekoFiles zeko_files(const std::string& zekoc, const std::string& base, bool root);

}  // namespace zekocheck
