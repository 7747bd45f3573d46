#include "check_mode.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "call_site.h"
#include "check_channel.h"
#include "console.h"
#include "deliverable.h"
#include "files.h"
#include "world.h"

namespace zeko::check_mode {
namespace {

constexpr long kDefaultLimit = 100000;

// Plain zeroed data: the library has no start-up code in a Pascal program.
struct State {
  bool active;
  int fd;         // the calls go here ...
  int answer_fd;  // ... and the start world comes from here
  long limit, sensor_limit;
  long commands, sensors;
  unsigned char pending[512];  // calls not yet sent: only sensors, or the one call being sent
  std::size_t length;
};
State g;

// The program cannot go on unjudged: it ends at once, with a status that
// fails the run.
[[noreturn]] void channel_lost() {
  static const char text[] = "zekoinc: die Verbindung zu zekocheck ist unterbrochen\n";
  [[maybe_unused]] ssize_t n = ::write(2, text, sizeof text - 1);
  _exit(kChannelLostStatus);
}

void send_pending() {
  if (g.length == 0) return;
  std::size_t length = g.length;
  g.length = 0;
  if (write_all(g.fd, reinterpret_cast<const char*>(g.pending), length) != 0) channel_lost();
}

void after_command() {
  if (++g.commands > g.limit) std::exit(kLimitExitStatus);
}

// The failed command with its place in the program, as the library reports
// it on standard error ("prog.pas, Zeile 12: vor - vor Zeko liegt ein
// Hindernis"): for zekocheck's report only, zekocheck saw the failure itself.
void command_failed(Command command) {
  char line[256];
  std::size_t n = library::failure_line(command, line, sizeof line);
  send_pending();
  unsigned char message[2 + sizeof line];
  message[0] = check_channel::kInfo;
  message[1] = static_cast<unsigned char>(n);
  std::memcpy(message + 2, line, n);
  if (write_all(g.fd, reinterpret_cast<const char*>(message), n + 2) != 0) channel_lost();
}

void on_exit_status(int, void*) { send_pending(); }

}  // namespace

bool requested() {
  const char* fd = std::getenv(check_channel::kEnvironment);
  return fd && *fd;
}

bool active() { return g.active; }

void start() {
  if (g.active) return;
  g.active = true;
  check_channel::Descriptors fds = check_channel::parse_descriptors(std::getenv(check_channel::kEnvironment));
  g.fd = fds.calls;  // -1: lost at the first call
  g.answer_fd = fds.answers;
  for (int own : {g.fd, g.answer_fd})
    if (own >= 0) fcntl(own, F_SETFD, FD_CLOEXEC);  // not handed on to programs it starts
  g.limit = kDefaultLimit;
  if (const char* limit = std::getenv("ZEKO_MAX_BEFEHLE")) {
    char* end = nullptr;
    long l = std::strtol(limit, &end, 10);
    if (end != limit && *end == 0 && l >= 0) g.limit = l;
  }
  g.sensor_limit = g.limit * kSensorsPerCommand;

  // No terminal at all: the console draws into /dev/null and reads its end.
  int null_fd = ::open("/dev/null", O_RDWR | O_CLOEXEC);
  console::start(null_fd, null_fd);
  use_deliverable(ZEKOINC_PRUEFEN);
  hooks.step_pause = after_command;
  hooks.before_failure_exit = command_failed;
  on_exit(on_exit_status, nullptr);
}

void load_world(std::string_view name) {
  g.pending[g.length++] = check_channel::kWorldRequest;
  send_pending();
  unsigned char world[check_channel::kWorldSize];
  std::size_t got = 0;
  while (got < sizeof world) {
    ssize_t n = ::read(g.answer_fd, world + got, sizeof world - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) channel_lost();
    got += static_cast<std::size_t>(n);
  }
  if (!check_channel::decode_world(world, FELD, ZEKO)) channel_lost();
  std::size_t shown = deliverable().shown_name_length;
  if (shown > 0) DATEINAME.assign(cut_name(name).substr(0, shown));
}

void call(rules::Call call) {
  if (!g.active) return;
  g.pending[g.length++] = check_channel::call_byte(call);
  if (!rules::is_sensor(call)) return send_pending();
  if (++g.sensors > g.sensor_limit) {
    send_pending();
    std::exit(kLimitExitStatus);
  }
  if (g.length == sizeof g.pending) send_pending();
}

void warte() { send_pending(); }

void write_program_text(const char* text, std::size_t length) { write_all(1, text, length); }

void program_end(long, bool) { send_pending(); }

}  // namespace zeko::check_mode
