// The world file writer. The new world is written into a file that has no
// name yet (O_TMPFILE) in the target's folder and gets one only when it is
// complete, so the folder holds either the old world or the whole new one,
// and a process ended at any moment -- SIGKILL included, also during the
// supply question -- leaves nothing behind (but for the moment between two
// system calls, see remove_leftovers_of_ended_editors). Where the file system cannot
// make unnamed files, a named temporary file beside the target takes their
// place and is removed at every end we get to see. A folder where we may not
// create files refuses the save, like a file we may not write.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "console.h"
#include "files.h"
#include "runtime_error.h"
#include "world.h"
#include "world_format.h"

namespace zeko {

bool g_unnamed_save_file = true;

namespace {

constexpr FileMessages kWriteMessages = {
    .missing = "Den Ordner fuer die Datei @ gibt es nicht",
    .denied = "Keine Berechtigung, die Datei @ zu schreiben",
    .folder = "@ ist ein Ordner, keine Datei",
    .not_plain = nullptr,
    .other = "Das Schreiben der Datei @ ist fehlgeschlagen",
};

// A failed save leaves no temporary file behind.
[[noreturn]] void write_failure(const std::string& name, int err) {
  remove_temp_file();
  file_failure(name, err, kWriteMessages);
}

void write_or_fail(int fd, const std::string& text, const std::string& name) {
  if (int err = write_all(fd, text.data(), text.size())) {
    ::close(fd);
    write_failure(name, err);
  }
}

// Where the world really goes: the target itself, or the file a symbolic
// link points to. Refuses targets we may not write before anything else.
std::string checked_target(const std::string& name) {
  struct stat st {};
  if (lstat(name.c_str(), &st) != 0) {
    if (errno != ENOENT) write_failure(name, errno);
    return name;
  }
  std::string target = name;
  if (S_ISLNK(st.st_mode)) {
    char resolved[PATH_MAX];
    if (realpath(name.c_str(), resolved)) target = resolved;
  }
  if (stat(target.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) write_failure(name, EISDIR);
    if (access(target.c_str(), W_OK) != 0) write_failure(name, errno);
  }
  return target;
}

std::string folder_of(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Temporary names carry the process id: ".zeko-PID-XXXXXX".
std::string temp_prefix(const std::string& folder) {
  return folder + "/.zeko-" + std::to_string(getpid()) + "-";
}

// A kill between naming the finished file and renaming it over the target
// (two system calls that no file system lets us join) leaves the new world
// under its temporary name. The next save in that folder removes such files
// of editors that no longer run.
void remove_leftovers_of_ended_editors(const std::string& folder) {
  DIR* d = opendir(folder.c_str());
  if (!d) return;
  while (dirent* e = readdir(d)) {
    const char* n = e->d_name;
    if (std::strncmp(n, ".zeko-", 6) != 0) continue;
    char* end = nullptr;
    long pid = std::strtol(n + 6, &end, 10);
    if (end == n + 6 || *end != '-' || std::strlen(end + 1) != 6 || pid <= 0) continue;
    if (pid == getpid() || kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
    unlinkat(dirfd(d), n, 0);
  }
  closedir(d);
}

// A hidden name beside the target that no file has yet (it may be taken by
// the time it is used; callers retry).
std::string fresh_temp_name(const std::string& folder) {
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  unsigned char random[6];
  if (getrandom(random, sizeof random, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof random)) {
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    unsigned long mix = static_cast<unsigned long>(now.tv_nsec) ^ (static_cast<unsigned long>(getpid()) << 20);
    for (unsigned char& r : random) {
      r = static_cast<unsigned char>(mix >> 33);
      mix = mix * 6364136223846793005UL + 1442695040888963407UL;
    }
  }
  std::string name = temp_prefix(folder);
  for (unsigned char r : random) name += kLetters[r % (sizeof kLetters - 1)];
  return name;
}

// The new world as an unnamed file in `folder`; -1 with errno set when that
// is not possible there.
int open_unnamed(const std::string& folder) {
  if (!g_unnamed_save_file) {
    errno = EOPNOTSUPP;
    return -1;
  }
  return ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
}

// Errors by which a kernel or file system says it makes no unnamed files.
bool unnamed_unsupported(int err) { return err == EOPNOTSUPP || err == EISDIR || err == EINVAL; }

// Gives the unnamed file behind `fd` the name `path`; fails with EEXIST when
// the name is taken.
bool link_unnamed(int fd, const std::string& path) {
  char self[40];
  std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
  if (linkat(AT_FDCWD, self, AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0) return true;
  if (errno == EEXIST) return false;
  int err = errno;  // no /proc: the direct way needs more rights, but try it
  if (linkat(fd, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH) == 0) return true;
  errno = err;
  return false;
}

// A named temporary file beside the target, for file systems without
// unnamed files; remembered so that every end we see removes it.
int open_named_temp(const std::string& folder, const std::string& name) {
  std::string temp = temp_prefix(folder) + "XXXXXX";
  if (temp.size() >= PATH_MAX) write_failure(name, ENAMETOOLONG);
  char path[PATH_MAX];
  std::snprintf(path, sizeof path, "%s", temp.c_str());
  int fd = mkostemp(path, O_CLOEXEC);
  if (fd < 0) write_failure(name, errno);
  remember_temp_file(path);
  return fd;
}

// The permissions the new world gets: the old file's, or the usual ones.
void take_over_mode(int fd, const std::string& target, const std::string& name) {
  struct stat st {};
  mode_t mode;
  if (stat(target.c_str(), &st) == 0) {
    mode = st.st_mode & 07777;
    if (fchown(fd, st.st_uid, st.st_gid) != 0) { /* not ours to change: keep our own */ }
  } else {
    mode_t mask = umask(0);
    umask(mask);
    mode = 0666 & ~mask;
  }
  if (fchmod(fd, mode) != 0 || fsync(fd) != 0) {
    int err = errno;
    ::close(fd);
    write_failure(name, err);
  }
}

void close_or_fail(int fd, const std::string& name) {
  if (::close(fd) != 0) write_failure(name, errno);
}

void rename_or_fail(const std::string& target, const std::string& name) {
  if (rename(temp_file(), target.c_str()) != 0) write_failure(name, errno);
  forget_temp_file();
}

// Puts the complete unnamed file in place of the target. A new world gets
// its name directly; an old one is replaced through a hidden name that
// exists only between two system calls. False when no link could be made
// (the caller then writes a named temporary file).
bool publish_unnamed(int fd, const std::string& folder, const std::string& target, const std::string& name) {
  struct stat st {};
  if (lstat(target.c_str(), &st) != 0 && link_unnamed(fd, target)) return true;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string temp = fresh_temp_name(folder);
    if (temp.size() >= PATH_MAX) write_failure(name, ENAMETOOLONG);
    if (link_unnamed(fd, temp)) {
      remember_temp_file(temp.c_str());
      rename_or_fail(target, name);
      return true;
    }
    if (errno != EEXIST) return false;
  }
  return false;
}

void write_world(std::string_view name_view, SupplyQuestion ask, int16_t fixed_supply) {
  std::string name = cut_name(name_view);
  std::string target = checked_target(name);
  std::string folder = folder_of(target);

  // The supply question may end the process (end of input, a run-time
  // error), and a signal may: the temporary file goes with it.
  remove_temp_file_at_exit();
  console::set_signal_hook([](int) { remove_temp_file(); });

  remove_leftovers_of_ended_editors(folder);
  int fd = open_unnamed(folder);
  bool unnamed = fd >= 0;
  if (!unnamed) {
    if (!unnamed_unsupported(errno)) write_failure(name, errno);
    fd = open_named_temp(folder, name);
  }

  std::string content = grid_text(FELD);
  write_or_fail(fd, content, name);

  std::string tail = tail_text(ask ? ask() : fixed_supply, ZEKO.x, ZEKO.y);
  write_or_fail(fd, tail, name);
  content += tail;

  take_over_mode(fd, target, name);
  if (unnamed && publish_unnamed(fd, folder, target, name)) {
    close_or_fail(fd, name);
  } else {
    if (unnamed) {  // no way to name it here: the same content the old way
      ::close(fd);
      fd = open_named_temp(folder, name);
      write_or_fail(fd, content, name);
      take_over_mode(fd, target, name);
    }
    close_or_fail(fd, name);
    rename_or_fail(target, name);
  }
  console::set_signal_hook(nullptr);
}

}  // namespace

std::string world_text(int16_t supply) { return grid_text(FELD) + tail_text(supply, ZEKO.x, ZEKO.y); }

void SCHREIBE_WELT(std::string_view name, SupplyQuestion supply) { write_world(name, supply, 0); }
void SCHREIBE_WELT(std::string_view name, int16_t supply) { write_world(name, nullptr, supply); }

}  // namespace zeko
