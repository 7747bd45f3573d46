// Files zekocheck writes for people (the reports, a new task's worlds and
// text): written under a temporary name beside the target and renamed over
// it when complete, so the target is either the old file or the whole new
// one.
#pragma once

#include <string>

namespace zekocheck {

// False with the reason (German) when the file could not be written (a
// link at `path` is refused); then no temporary file remains.
bool write_file_atomically(const std::string& path, const std::string& content, std::string& error);

}  // namespace zekocheck
