// A window smaller than the 80 x 25 the programs draw for garbles their
// screen. At start the program says so and waits, without spinning, until
// the window has been made big enough (SIGWINCH), or ends on Esc, Ctrl-C or
// the end of input.
#include <poll.h>
#include <signal.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "state.h"

namespace console::detail {
namespace {

constexpr int kSequenceWait = 10;

void on_window_change(int) {}

void show_message() {
  std::string m = "\033[m\033[H\033[2J";
  m += "Das Fenster ist nur " + std::to_string(g.width) + " x " + std::to_string(g.height) + " Zeichen gross.\r\n";
  m += "ZEKO braucht mindestens 80 x 25 Zeichen (Spalten x Zeilen).\r\n";
  m += "Bitte das Fenster vergroessern, dann geht es weiter.\r\n";
  m += "Ende mit Esc.\r\n";
  write_fully(g.out_fd, m.data(), m.size());
}

[[noreturn]] void give_up() {
  std::exit(1);  // the shut-down registered at start restores the terminal
}

// A key while waiting: Esc alone and Ctrl-C end, the end of input ends,
// every other key (and a whole key sequence after ESC) is dropped.
void take_key() {
  unsigned char b;
  if (!next_byte(b, 0)) {
    if (g.input_ended) give_up();
    return;
  }
  if (b == as_char(Key::ctrl_c)) give_up();
  if (b != as_char(Key::esc)) return;
  if (!next_byte(b, kSequenceWait)) give_up();
  while (next_byte(b, kSequenceWait)) {
  }
}

}  // namespace

void wait_for_whole_window() {
  sigset_t winch, outside;
  sigemptyset(&winch);
  sigaddset(&winch, SIGWINCH);
  sigprocmask(SIG_BLOCK, &winch, &outside);
  struct sigaction sa {}, old {};
  sa.sa_handler = on_window_change;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGWINCH, &sa, &old);
  sigset_t waiting = outside;  // SIGWINCH gets through only while waiting
  sigdelset(&waiting, SIGWINCH);

  show_message();
  while (g.width < 80 || g.height < 25) {
    pollfd p {g.in_fd, POLLIN, 0};
    int r = g.in_count > 0 ? 1 : ppoll(&p, 1, nullptr, &waiting);
    if (r > 0) {
      take_key();
      continue;
    }
    if (r < 0 && errno != EINTR) give_up();
    int old_width = g.width, old_height = g.height;
    read_window_size();
    if ((g.width != old_width || g.height != old_height) && (g.width < 80 || g.height < 25)) show_message();
  }
  write_fully(g.out_fd, "\033[H\033[2J", 7);

  sigaction(SIGWINCH, &old, nullptr);
  sigprocmask(SIG_SETMASK, &outside, nullptr);
}

}  // namespace console::detail
