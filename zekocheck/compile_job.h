// How zekocheck compiles a learner's source: the compiler itself, started
// as zekoc starts it (zekoc/compile_command.h), without a zekoc process.
#pragma once

#include <string>
#include <vector>

#include "compile_command.h"

namespace zekocheck {

struct CompileLaunch {
  std::vector<std::string> argv;  // argv[0] with its folder
  std::string dir;                // where the compiler runs
  std::vector<std::string> env;   // NAME=value, for variables not set yet
};

// The compiler's command for `source` (the copy in its program's folder)
// against Zeko's files in `layout`, with the compiler's own files in
// `work_dir` (made here, inside that folder). False when a file of Zeko or
// the compiler is missing, or the files cannot be copied: then zekoc is run
// instead, and says why.
bool compile_launch(const std::string& source, const std::string& work_dir, const zeko::compile::Layout& layout,
                    CompileLaunch& out);

}  // namespace zekocheck
