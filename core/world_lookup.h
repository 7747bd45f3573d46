// Where a world file is, and opening it safely.
#pragma once

#include <string>
#include <string_view>

namespace zeko {

// The path a world name stands for. A name without '/' that does not exist
// in the current folder is looked for in each folder of ZEKO_WELTEN
// (separated by ':') and then in the installed world folder; the first
// folder that holds it wins. Otherwise, and when found nowhere, the name
// itself.
std::string find_world_file(std::string_view name);

// The installed world folder: share/zeko/welten beside the folder of the
// running program (or of the library file), else the configured one.
std::string installed_world_folder();

// Opens a world file for reading without ever blocking. A FIFO, a device or
// a socket is refused: -1 with errno kNotPlainFile. Otherwise as open(2).
int open_world_file(const std::string& path);
constexpr int kNotPlainFile = 22;  // EINVAL: the run-time error number as well

}  // namespace zeko
