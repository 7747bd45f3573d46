// Where a world file is, and opening it safely.
#pragma once

#include <string>
#include <string_view>

namespace zeko {

// The path a world name stands for. A name without '/' that does not exist
// in the current folder is looked for in the world folders of
// search_paths.h (ZEKO_WELTEN, the system-wide file, the installed folder);
// the first folder that holds it wins. Otherwise, and when found nowhere,
// the name itself.
std::string find_world_file(std::string_view name);

// The installed world folder: share/zeko/welten beside the folder of the
// running program (or of the library file); in the build tree the source
// tree's examples; the configured one when the running file is unknown.
std::string installed_world_folder();
// The installed task collection, found the same way.
std::string installed_task_folder();

// Opens a world file for reading without ever blocking. A FIFO, a device or
// a socket is refused: -1 with errno kNotPlainFile. Otherwise as open(2).
int open_world_file(const std::string& path);
constexpr int kNotPlainFile = 22;  // EINVAL: the run-time error number as well

}  // namespace zeko
