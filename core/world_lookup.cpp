#include "world_lookup.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "deliverable.h"
#include "search_paths.h"

#ifndef ZEKO_WORLDS_DIR
#error "ZEKO_WORLDS_DIR: the installed world folder, set by CMake"
#endif
#if !defined(ZEKO_WORLDS_SOURCE_DIR) || !defined(ZEKO_TASKS_SOURCE_DIR)
#error "ZEKO_WORLDS_SOURCE_DIR, ZEKO_TASKS_SOURCE_DIR: the source tree's folders, set by CMake"
#endif

namespace zeko {

static_assert(kNotPlainFile == EINVAL);

namespace {

bool exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

// The file the running code was loaded from: the library file when this is
// the library, else the program.
std::string module_file() {
  std::string path;
  if (deliverable().in_library) {
    Dl_info info;
    if (::dladdr(reinterpret_cast<void*>(&module_file), &info) && info.dli_fname) path = info.dli_fname;
  } else {
    char buf[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf);
    if (n > 0 && n < static_cast<ssize_t>(sizeof buf)) path.assign(buf, static_cast<std::size_t>(n));
  }
  if (path.empty()) return path;
  char* real = ::realpath(path.c_str(), nullptr);
  if (!real) return {};
  path = real;
  std::free(real);
  return path;
}

std::string module_folder() {
  std::string module = module_file();
  std::size_t slash = module.rfind('/');
  return slash == std::string::npos ? std::string() : module.substr(0, slash + 1);
}

}  // namespace

std::string installed_world_folder() {
  std::string module = module_folder();
  if (module.empty()) return ZEKO_WORLDS_DIR;
  return installed_folder(module, deliverable().installed_worlds, ZEKO_WORLDS_SOURCE_DIR);
}

std::string installed_task_folder() {
  return installed_folder(module_folder(), deliverable().installed_tasks, ZEKO_TASKS_SOURCE_DIR);
}

std::string find_world_file(std::string_view name_view) {
  std::string name(name_view);
  if (name.empty() || name.find('/') != std::string::npos) return name;
  struct stat st;
  if (::stat(name.c_str(), &st) == 0 || errno != ENOENT) return name;  // here, whatever it is

  for (const std::string& folder : world_folders(installed_world_folder())) {
    std::string candidate = folder + "/" + name;
    if (exists(candidate)) return candidate;
  }
  return name;
}

int open_world_file(const std::string& path) {
  // Non-blocking, so that a FIFO without a writer cannot hold the open, and
  // without taking a terminal as the controlling one.
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENXIO) errno = kNotPlainFile;  // a socket, or a device without its hardware
    return -1;
  }
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    int err = errno;
    ::close(fd);
    errno = err;
    return -1;
  }
  // A folder opens as before; reading it fails with its own number.
  if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
    ::close(fd);
    errno = kNotPlainFile;
    return -1;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

}  // namespace zeko
