#include "files.h"

#include <limits.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "runtime_error.h"
#include "world_lookup.h"

namespace zeko {
namespace {

char g_temp_path[PATH_MAX];

std::string filled(const char* text, std::string_view name) {
  std::string s;
  for (const char* c = text; *c; ++c) {
    if (*c == '@') s += quoted(name);
    else s += *c;
  }
  return s;
}

const char* chosen(const char* text, const FileMessages& m) { return text ? text : m.other; }

}  // namespace

int write_all(int fd, const char* bytes, std::size_t length) {
  while (length > 0) {
    ssize_t n = ::write(fd, bytes, length);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    bytes += n;
    length -= static_cast<std::size_t>(n);
  }
  return 0;
}

std::string quoted(std::string_view name) { return "\"" + std::string(name) + "\""; }

void file_failure(std::string_view name, int err, const FileMessages& m) {
  int number = console::file_error_number(err);
  const char* text = m.other;
  if (err == ENOENT) text = chosen(m.missing, m);
  else if (number == 5) text = chosen(m.denied, m);
  else if (err == EISDIR) text = chosen(m.folder, m);
  else if (err == kNotPlainFile) text = chosen(m.not_plain, m);
  console::runtime_error(number, filled(text, name) + ".");
}

bool remember_temp_file(const char* path) {
  std::size_t n = std::strlen(path);
  if (n == 0 || n >= sizeof g_temp_path) return false;
  std::memcpy(g_temp_path + 1, path + 1, n);
  std::atomic_signal_fence(std::memory_order_seq_cst);
  g_temp_path[0] = path[0];
  return true;
}

void forget_temp_file() {
  g_temp_path[0] = 0;
  std::atomic_signal_fence(std::memory_order_seq_cst);
}

const char* temp_file() { return g_temp_path; }

void remove_temp_file() {
  if (g_temp_path[0]) unlink(g_temp_path);
  forget_temp_file();
}

void remove_temp_file_at_exit() {
  static bool registered = false;
  if (!registered) registered = std::atexit(remove_temp_file) == 0;
}

}  // namespace zeko
