// Start-up and shut-down of the console: the one place where the terminal's
// modes are saved, changed and restored, for every way the process can end.
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "console.h"
#include "state.h"

namespace console {
namespace detail {

State g;

namespace {

SignalHook g_signal_hook;

bool same_terminal(int a, int b) {
  struct stat sa {}, sb {};
  if (fstat(a, &sa) != 0 || fstat(b, &sb) != 0) return false;
  return sa.st_rdev == sb.st_rdev && sa.st_ino == sb.st_ino && sa.st_dev == sb.st_dev;
}

// The terminal's own colours again, unless the start state is in effect.
// Async-signal-safe.
void reset_colours() {
  if (!g.output_is_terminal || g.sent_attr == 7) return;
  write_fully(g.out_fd, "\033[m", 3);
  g.sent_attr = 7;
}

// What a learner sees after Ctrl-C: the colours reset, the note on row 23
// and the cursor on row 24, as after a failed command.
constexpr char kInterruptNote[] = "Programm abgebrochen (Strg+C).";
constexpr char kInterruptOnTerminal[] = "\033[m\033[23;1HProgramm abgebrochen (Strg+C).\033[K\033[24;1H";
constexpr char kInterruptAsText[] = "\nProgramm abgebrochen (Strg+C).\n";
static_assert(sizeof kInterruptNote < sizeof kInterruptAsText);

void on_exit() { shutdown(); }

void on_fatal_signal(int sig, siginfo_t*, void* context) {
  int saved = errno;
  if (g_signal_hook) g_signal_hook(sig);
  bool interrupt = sig == SIGINT && g.profile.ctrl_c == CtrlC::ends_program;
  if (interrupt && g.output_is_terminal) write_fully(g.out_fd, kInterruptOnTerminal, sizeof kInterruptOnTerminal - 1);
  else if (interrupt) write_fully(g.out_fd, kInterruptAsText, sizeof kInterruptAsText - 1);
  else reset_colours();
  restore_modes();
  if (interrupt && after_interrupt_report) after_interrupt_report(context);
  signal(sig, SIG_DFL);
  errno = saved;
  raise(sig);
}

// The handlers of a language run-time that ours hand on to.
struct sigaction g_previous[NSIG];

// The run-time's own end after a crash may not call into the C library
// safely any more (its report then comes twice and the terminal stays raw):
// the terminal is restored here, and the console counts as shut down.
void on_crash_before_runtime(int sig, siginfo_t* info, void* context) {
  int saved = errno;
  reset_colours();
  restore_modes();
  g.started = false;
  errno = saved;
  const struct sigaction& previous = g_previous[sig];
  if (previous.sa_flags & SA_SIGINFO) previous.sa_sigaction(sig, info, context);
  else previous.sa_handler(sig);
}

}  // namespace

void write_fully(int fd, const char* bytes, std::size_t length) {
  while (length > 0) {
    ssize_t n = ::write(fd, bytes, length);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    bytes += n;
    length -= static_cast<std::size_t>(n);
  }
}

void read_window_size() {
  g.width = 80;
  g.height = 25;
  g.size_known = false;
  if (!g.output_is_terminal) return;
  winsize ws {};
  if (ioctl(g.out_fd, TIOCGWINSZ, &ws) == 0) {
    g.size_known = ws.ws_col > 0 && ws.ws_row > 0;
    if (ws.ws_col > 0) g.width = ws.ws_col;
    if (ws.ws_row > 0) g.height = ws.ws_row;
  }
}

void enter_raw_mode(bool signal_keys) {
  if (!g.modes_saved) {
    if (tcgetattr(g.out_fd, &g.saved_modes) != 0) return;
    g.modes_saved = true;
  }
  termios raw = g.saved_modes;
  raw.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF);
  raw.c_oflag &= ~OPOST;
  raw.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  raw.c_cflag &= ~(CSIZE | PARENB);
  raw.c_cflag |= CS8;
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  if (signal_keys) {
    // Only Ctrl-C: every other key stays a key.
    raw.c_lflag |= ISIG;
    raw.c_cc[VINTR] = 3;
    raw.c_cc[VQUIT] = _POSIX_VDISABLE;
    raw.c_cc[VSUSP] = _POSIX_VDISABLE;
  }
  tcsetattr(g.out_fd, TCSADRAIN, &raw);
}

// Async-signal-safe: tcsetattr only.
void restore_modes() {
  if (g.modes_saved) tcsetattr(g.out_fd, TCSADRAIN, &g.saved_modes);
}

void install_signal_handlers() {
  // Ended from outside (kill, closed terminal) or by Ctrl-C: restore, then
  // die of the signal.
  for (int sig : {SIGTERM, SIGHUP, SIGQUIT, SIGINT}) {
    struct sigaction sa {};
    sa.sa_sigaction = on_fatal_signal;
    sa.sa_flags = SA_SIGINFO;
    sigemptyset(&sa.sa_mask);
    sigaction(sig, &sa, nullptr);
  }
}

// Crashes: ours where nobody else has taken the signal. In a learner's
// program the language run-time has taken them (it turns a crash into its
// run-time error), but only after the console started: so this runs again
// when the program's unit starts the console a second time, and puts our
// handler in front of the run-time's.
void install_crash_handlers() {
  for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) {
    struct sigaction old {};
    if (sigaction(sig, nullptr, &old) != 0 || old.sa_handler == SIG_IGN) continue;
    if ((old.sa_flags & SA_SIGINFO) &&
        (old.sa_sigaction == on_fatal_signal || old.sa_sigaction == on_crash_before_runtime))
      continue;
    bool chained = old.sa_handler != SIG_DFL;
    if (chained && g.profile.ctrl_c != CtrlC::ends_program) continue;
    struct sigaction sa {};
    sigemptyset(&sa.sa_mask);
    if (chained) {
      g_previous[sig] = old;
      sa.sa_sigaction = on_crash_before_runtime;
      sa.sa_flags = SA_SIGINFO | (old.sa_flags & SA_ONSTACK);
      sa.sa_mask = old.sa_mask;
    } else {
      sa.sa_sigaction = on_fatal_signal;
      sa.sa_flags = SA_SIGINFO | SA_RESETHAND;
    }
    sigaction(sig, &sa, nullptr);
  }
}

}  // namespace detail

using namespace detail;

void (*after_interrupt_report)(const void* signal_context);

namespace {

// ZEKO_FARBEN: "dunkel" swaps black and white text for dark terminals,
// "auto" asks the terminal for its background; anything else (or unset)
// keeps the colours as they are.
enum class Colours { as_given, dark, ask };

Colours colours_wanted() {
  const char* v = std::getenv("ZEKO_FARBEN");
  if (!v) return Colours::as_given;
  if (std::strcmp(v, "dunkel") == 0) return Colours::dark;
  if (std::strcmp(v, "auto") == 0) return Colours::ask;
  return Colours::as_given;
}

}  // namespace

void start(int input_fd, int output_fd, Profile profile) {
  if (g.started) return install_crash_handlers();
  g.started = true;
  g.profile = profile;
  g.in_fd = input_fd;
  g.out_fd = output_fd;
  g.output_is_terminal = isatty(output_fd);
  g.input_is_terminal = isatty(input_fd);
  g.echo_allowed = g.output_is_terminal && g.input_is_terminal && same_terminal(input_fd, output_fd);
  g.text_attr = g.sent_attr = 7;
  g.column = g.row = 1;
  read_window_size();
  std::atexit(on_exit);
  install_signal_handlers();
  install_crash_handlers();
  if (!g.output_is_terminal) return;

  bool signal_keys = profile.ctrl_c == CtrlC::ends_program;
  bool too_small = g.size_known && (g.width < 80 || g.height < 25);
  if (profile.needs_whole_window && too_small) {
    enter_raw_mode(false);  // Ctrl-C is a key while waiting
    wait_for_whole_window();
  }
  enter_raw_mode(signal_keys);

  Colours colours = colours_wanted();
  g.dark_colours = colours == Colours::dark;
  Answers a = ask_terminal(colours == Colours::ask);
  if (a.background_dark == 1) g.dark_colours = true;
  if (a.row > 0 && a.column > 0) {
    g.row = a.row;
    g.column = a.column;
  } else {
    g.row = g.column = 1;
    put("\033[H", 3);
  }
  put("\033[m", 3);
  flush();
  detail::watch_for_terminal_loss();
}

void shutdown() {
  if (!g.started) return;
  flush();
  reset_colours();
  restore_modes();
}

bool interrupted() { return g.interrupted; }

void set_signal_hook(SignalHook hook) { g_signal_hook = hook; }

int screen_width() { return g.width; }
int screen_height() { return g.height; }
bool output_is_terminal() { return g.output_is_terminal; }
bool echo_allowed() { return g.echo_allowed; }

}  // namespace console
