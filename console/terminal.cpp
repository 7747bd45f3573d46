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

void read_window_size() {
  g.width = 80;
  g.height = 25;
  if (!g.output_is_terminal) return;
  winsize ws {};
  if (ioctl(g.out_fd, TIOCGWINSZ, &ws) == 0) {
    if (ws.ws_col > 0) g.width = ws.ws_col;
    if (ws.ws_row > 0) g.height = ws.ws_row;
  }
}

// Reads the answer ESC [ row ; column R to the cursor query. Bytes that come
// before it (keys typed early) stay in the input ring for READKEY.
// When standard input is another device, the answer still comes from the
// output terminal, so it is read there and the keys around it are dropped.
bool answer_byte(unsigned char& b) {
  if (g.echo_allowed) return next_byte(b, 1000);
  pollfd p {g.out_fd, POLLIN, 0};
  return poll(&p, 1, 1000) > 0 && read(g.out_fd, &b, 1) == 1;
}

bool read_cursor_answer(int& row, int& column) {
  enum { kEsc, kBracket, kRow, kColumn } phase = kEsc;
  unsigned char pending[kInputSize];
  std::size_t npending = 0;
  row = column = 0;
  for (;;) {
    unsigned char b;
    if (!answer_byte(b)) break;
    switch (phase) {
      case kEsc:
        if (b == 27) phase = kBracket;
        else if (g.echo_allowed && npending < sizeof pending) pending[npending++] = b;
        continue;
      case kBracket:
        phase = b == '[' ? kRow : kEsc;
        continue;
      case kRow:
        if (b >= '0' && b <= '9') row = row * 10 + (b - '0');
        else if (b == ';') phase = kColumn;
        else phase = kEsc;
        continue;
      case kColumn:
        if (b >= '0' && b <= '9') { column = column * 10 + (b - '0'); continue; }
        if (b == 'R') {
          for (std::size_t i = npending; i > 0; --i) push_back_byte(pending[i - 1]);
          return row > 0 && column > 0;
        }
        phase = kEsc;
        continue;
    }
  }
  for (std::size_t i = npending; i > 0; --i) push_back_byte(pending[i - 1]);
  return false;
}

void on_exit() { shutdown(); }

void on_fatal_signal(int sig) {
  int saved = errno;
  if (g_signal_hook) g_signal_hook(sig);
  restore_modes();
  signal(sig, SIG_DFL);
  errno = saved;
  raise(sig);
}

}  // namespace

void enter_raw_mode() {
  if (tcgetattr(g.out_fd, &g.saved_modes) != 0) return;
  g.modes_saved = true;
  termios raw = g.saved_modes;
  raw.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF);
  raw.c_oflag &= ~OPOST;
  raw.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  raw.c_cflag &= ~(CSIZE | PARENB);
  raw.c_cflag |= CS8;
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  tcsetattr(g.out_fd, TCSADRAIN, &raw);
}

// Async-signal-safe: tcsetattr only.
void restore_modes() {
  if (g.modes_saved) tcsetattr(g.out_fd, TCSADRAIN, &g.saved_modes);
}

void install_signal_handlers() {
  // Ended from outside (kill, closed terminal): restore, then die of the signal.
  for (int sig : {SIGTERM, SIGHUP, SIGQUIT, SIGINT}) {
    struct sigaction sa {};
    sa.sa_handler = on_fatal_signal;
    sigemptyset(&sa.sa_mask);
    sigaction(sig, &sa, nullptr);
  }
  // Crashes: only where nobody else (a language run-time, a sanitizer) has
  // taken the signal already.
  for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) {
    struct sigaction old {};
    if (sigaction(sig, nullptr, &old) != 0 || old.sa_handler != SIG_DFL) continue;
    struct sigaction sa {};
    sa.sa_handler = on_fatal_signal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESETHAND;
    sigaction(sig, &sa, nullptr);
  }
}

}  // namespace detail

using namespace detail;

void start(int input_fd, int output_fd) {
  if (g.started) return;
  g.started = true;
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
  if (!g.output_is_terminal) return;

  enter_raw_mode();
  put("\033[6n", 4);
  flush();
  int row, column;
  if (read_cursor_answer(row, column)) {
    g.row = row;
    g.column = column;
  } else {
    g.row = g.column = 1;
    put("\033[H", 3);
  }
  put("\033[m", 3);
  flush();
}

void shutdown() {
  if (!g.started) return;
  flush();
  restore_modes();
}

void set_signal_hook(SignalHook hook) { g_signal_hook = hook; }

int screen_width() { return g.width; }
int screen_height() { return g.height; }
bool output_is_terminal() { return g.output_is_terminal; }
bool echo_allowed() { return g.echo_allowed; }

}  // namespace console
