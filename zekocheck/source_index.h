// Where a learner's source names the robot's commands and queries: words
// outside comments and strings, with their lines. The replay says which
// calls a program made; this says where in the source they stand.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "rules.h"
#include "runner.h"

namespace zekocheck {

constexpr std::size_t kCallKinds = 8;  // zeko::rules::Call, vor .. am_anfang

struct SourceIndex {
  std::string file;  // the source's own name (no folder), for the reasons
  std::array<std::vector<int>, kCallKinds> lines;  // per call, ascending, each line once
};

// Pascal (any case) or C and C++ (lower or upper case, as zekoinc.h
// declares them), told by the file's ending.
SourceIndex index_source(const std::string& text, const std::string& file_name);
// The program's source, read where zekocheck opened it (program_files.h;
// a path of its own is never followed when it is a link), at most 1 MB;
// empty lines when it cannot be read.
SourceIndex index_program_source(const Program& program);

// "Zeile 4" or "Zeilen 4, 9, 12" (at most three), or "" when the source
// does not name the call.
std::string lines_text(const SourceIndex& index, zeko::rules::Call call);

// The commands and queries a source names, in the order of the language
// ("vor, links, nimm, ..."); empty when none.
std::string commands_used(const std::string& source, const std::string& file_name);

}  // namespace zekocheck
