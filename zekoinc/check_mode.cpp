#include "check_mode.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "call_site.h"
#include "console.h"
#include "deliverable.h"
#include "files.h"
#include "world.h"

namespace zeko::check_mode {
namespace {

constexpr long kDefaultLimit = 100000;

// Plain zeroed data: the library has no start-up code in a Pascal program.
// The result is assembled in a fixed buffer so that a signal handler can
// write it (only write, rename and close there).
struct State {
  bool active;
  bool ended;  // a final end is written; later ends change nothing
  long limit;
  long commands;
  long worlds;
  char result_path[PATH_MAX];
  char temp_path[PATH_MAX + 8];
  char world[PATH_MAX];
  char text[4096];
  std::size_t length;
};
State g;

void add(const char* s) {
  while (*s && g.length < sizeof g.text - 1) g.text[g.length++] = *s++;
}

void add_number(long value, int width = 0) {
  char digits[24];
  int n = 0;
  unsigned long magnitude = value < 0 ? 0UL - static_cast<unsigned long>(value) : static_cast<unsigned long>(value);
  do digits[n++] = static_cast<char>('0' + magnitude % 10);
  while ((magnitude /= 10) > 0);
  if (value < 0) digits[n++] = '-';
  for (int i = n; i < width; ++i) add(" ");
  char one[2] = {0, 0};
  while (n > 0) {
    one[0] = digits[--n];
    add(one);
  }
}

// Writes the world and the end; async-signal-safe.
void write_result(const char* reason, long number, const char* message) {
  g.length = 0;
  for (int y = 0; y < kRows; ++y) {
    for (int x = 0; x < kColumns; ++x) add_number(FELD[x][y], 5);
    add("\n");
  }
  add_number(ZEKO.vorrat);
  add("\n");
  add_number(ZEKO.x, 4);
  add_number(ZEKO.y, 4);
  add("\nrichtung ");
  add_number(ZEKO.richtung & 3);
  add("\nbefehle ");
  add_number(g.commands);
  add("\nwelten ");
  add_number(g.worlds);
  add("\nende ");
  add(reason);
  if (number >= 0) {
    add(" ");
    add_number(number);
  }
  if (message) {
    add(" ");
    add(message);
  }
  add("\n");

  int fd = ::open(g.temp_path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return;
  bool ok = write_all(fd, g.text, g.length) == 0;
  ::close(fd);
  if (ok) ::rename(g.temp_path, g.result_path);
  else ::unlink(g.temp_path);
}

void final_end(const char* reason, long number, const char* message = nullptr) {
  if (g.ended) return;
  g.ended = true;
  write_result(reason, number, message);
}

void after_command() {
  if (++g.commands > g.limit) {
    final_end("limit", g.limit);
    std::exit(kLimitExitStatus);
  }
}

// The failed command with its place in the program, as the library reports
// it on standard error: "prog.pas, Zeile 12: vor - vor Zeko liegt ein
// Hindernis".
void command_failed(Command command) {
  char line[512];
  library::failure_line(command, line, sizeof line);
  final_end("fehler", deliverable().exit_status[command], line);
}

void on_exit_status(int status, void*) { final_end(status == 0 ? "normal" : "status", status == 0 ? -1 : status); }

// Called by the console's handler of SIGTERM, SIGHUP, SIGQUIT and SIGINT.
void on_console_signal(int signal_number) { final_end("signal", signal_number); }

// The limits zekocheck sets: CPU time and file size.
void on_limit_signal(int signal_number) {
  int saved = errno;
  final_end("signal", signal_number);
  signal(signal_number, SIG_DFL);
  errno = saved;
  raise(signal_number);
}

void copy(char* to, std::size_t capacity, const char* from) {
  std::size_t n = std::strlen(from);
  if (n >= capacity) n = capacity - 1;
  std::memcpy(to, from, n);
  to[n] = 0;
}

}  // namespace

bool requested() {
  const char* path = std::getenv("ZEKO_PRUEFEN");
  return path && *path;
}

bool active() { return g.active; }

void start() {
  if (g.active) return;
  g.active = true;
  copy(g.result_path, sizeof g.result_path, std::getenv("ZEKO_PRUEFEN"));
  copy(g.temp_path, sizeof g.temp_path - 8, g.result_path);
  std::strcat(g.temp_path, ".neu");
  const char* world = std::getenv("ZEKO_PRUEFWELT");
  copy(g.world, sizeof g.world, world ? world : "");
  g.limit = kDefaultLimit;
  if (const char* limit = std::getenv("ZEKO_MAX_BEFEHLE")) {
    char* end = nullptr;
    long n = std::strtol(limit, &end, 10);
    if (end != limit && *end == 0 && n >= 0) g.limit = n;
  }

  // No terminal at all: the console draws into /dev/null and reads its end.
  int null_fd = ::open("/dev/null", O_RDWR | O_CLOEXEC);
  console::start(null_fd, null_fd);
  console::set_signal_hook(on_console_signal);
  use_deliverable(ZEKOINC_PRUEFEN);
  hooks.step_pause = after_command;
  hooks.before_failure_exit = command_failed;
  on_exit(on_exit_status, nullptr);
  for (int sig : {SIGXCPU, SIGXFSZ}) {
    struct sigaction sa {};
    sa.sa_handler = on_limit_signal;
    sigemptyset(&sa.sa_mask);
    sigaction(sig, &sa, nullptr);
  }
}

void load_world(std::string_view name) {
  ++g.worlds;
  LIES_MTWELT(g.world[0] ? std::string_view(g.world) : name);
}

void warte() {
  if (!g.ended) write_result("warte", -1, nullptr);
}

void write_program_text(const char* text, std::size_t length) { write_all(1, text, length); }

void program_end(long code, bool runtime_error) {
  if (runtime_error) final_end("laufzeitfehler", code);
  else final_end(code == 0 ? "normal" : "status", code == 0 ? -1 : code);
}

}  // namespace zeko::check_mode
