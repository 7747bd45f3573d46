// The world file writer. The new world goes to a temporary file beside the
// target and replaces it by rename only when complete, so the file on disk is
// always either the old world or the whole new one, also when the editor is
// ended during the supply question. A folder where we may not create files
// therefore refuses the save, like a file we may not write.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "console.h"
#include "runtime_error.h"
#include "world.h"

namespace zeko {
namespace {

// The temporary file while a world is written; removed if a signal ends us.
char g_temp_path[PATH_MAX];

void remove_temp_on_signal(int) {
  if (g_temp_path[0]) unlink(g_temp_path);
}

// The supply question may end the process (end of input, a run-time error);
// the half-written temporary file must not stay behind then either.
void remove_temp_at_exit() {
  if (g_temp_path[0]) unlink(g_temp_path);
  g_temp_path[0] = 0;
}

std::string quoted(std::string_view name) { return "\"" + std::string(name) + "\""; }

[[noreturn]] void write_failure(const std::string& name, int err) {
  if (g_temp_path[0]) unlink(g_temp_path);
  g_temp_path[0] = 0;
  int number = console::file_error_number(err);
  std::string what;
  if (number == 5) what = "Keine Berechtigung, die Datei " + quoted(name) + " zu schreiben";
  else if (err == EISDIR) what = quoted(name) + " ist ein Ordner, keine Datei";
  else if (err == ENOENT) what = "Den Ordner fuer die Datei " + quoted(name) + " gibt es nicht";
  else what = "Das Schreiben der Datei " + quoted(name) + " ist fehlgeschlagen";
  console::runtime_error(number, what + ".");
}

void write_all(int fd, const std::string& text, const std::string& name) {
  std::size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      int err = errno;
      ::close(fd);
      write_failure(name, err);
    }
    done += static_cast<std::size_t>(n);
  }
}

// A value that needs five characters or more gets a blank before it, so
// that every value stays readable.
std::string grid_value(int16_t v) {
  char cell[16];
  std::snprintf(cell, sizeof cell, v <= -1000 || v >= 10000 ? " %d" : "%5d", v);
  return cell;
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

void write_world(std::string_view name_view, SupplyQuestion ask, int16_t fixed_supply) {
  std::string name = cut_name(name_view);
  std::string target = checked_target(name);

  static bool cleanup_registered = false;
  if (!cleanup_registered) cleanup_registered = std::atexit(remove_temp_at_exit) == 0;

  std::string temp = folder_of(target) + "/.zeko-XXXXXX";
  if (temp.size() >= sizeof g_temp_path) write_failure(name, ENAMETOOLONG);
  std::snprintf(g_temp_path, sizeof g_temp_path, "%s", temp.c_str());
  int fd = mkstemp(g_temp_path);
  if (fd < 0) {
    int err = errno;
    g_temp_path[0] = 0;
    write_failure(name, err);
  }
  console::set_signal_hook(remove_temp_on_signal);

  std::string grid;
  for (int y = 0; y < kRows; ++y) {
    for (int x = 0; x < kColumns; ++x) grid += grid_value(FELD[x][y]);
    grid += '\n';
  }
  write_all(fd, grid, name);

  int16_t supply = ask ? ask() : fixed_supply;
  char tail[64];
  std::snprintf(tail, sizeof tail, "%d\n%4d%4d\n", supply, ZEKO.x, ZEKO.y);
  write_all(fd, tail, name);

  // The new file keeps the old one's permissions; a new one gets the usual ones.
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
  if (::close(fd) != 0) write_failure(name, errno);
  if (rename(g_temp_path, target.c_str()) != 0) write_failure(name, errno);
  g_temp_path[0] = 0;
  console::set_signal_hook(nullptr);
}

}  // namespace

void SCHREIBE_WELT(std::string_view name, SupplyQuestion supply) { write_world(name, supply, 0); }
void SCHREIBE_WELT(std::string_view name, int16_t supply) { write_world(name, nullptr, supply); }

}  // namespace zeko
