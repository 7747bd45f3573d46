// A terminal that goes away without telling us: when it is not our
// controlling terminal, closing its other side sends no hang-up signal;
// reads only report the end of input and writes fail. A program that keeps
// running then (an endless loop in Go mode) would run on unseen, so where
// the deliverable asks for it the process ends as a hang-up ends it.
#include <errno.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include "console.h"
#include "state.h"

namespace console {
namespace detail {
namespace {

bool g_end_on_loss;

// The terminal of standard output reports a hang-up (its other side closed).
bool output_hung_up() {
  pollfd p {g.out_fd, 0, 0};
  return poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR)) != 0;
}

// Input from the same terminal has ended with it; other input must have
// reported its end.
bool input_gone() { return g.echo_allowed || __atomic_load_n(&g.input_ended, __ATOMIC_RELAXED); }

// Sleeps in poll until the terminal reports a hang-up. It runs with every
// signal blocked, so signals still reach the program's own thread, and the
// hang-up it sends is handled there as a real one.
void* watch_terminal(void*) {
  pollfd p {g.out_fd, 0, 0};  // no events asked: a hang-up is always reported
  for (;;) {
    int n = poll(&p, 1, -1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0 || (p.revents & POLLNVAL) != 0) return nullptr;
    if ((p.revents & (POLLHUP | POLLERR)) != 0) break;
  }
  if (input_gone()) kill(getpid(), SIGHUP);
  return nullptr;
}

}  // namespace

void watch_for_terminal_loss() {
  // Our controlling terminal sends a real hang-up when it goes away.
  if (!g_end_on_loss || !g.output_is_terminal || tcgetsid(g.out_fd) == getsid(0)) return;
  sigset_t all, old;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &old);
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
  pthread_t watcher;
  pthread_create(&watcher, &attr, watch_terminal, nullptr);
  pthread_attr_destroy(&attr);
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

void check_terminal_lost() {
  if (!g_end_on_loss || !g.output_is_terminal) return;
  if (!input_gone() || !output_hung_up()) return;
  raise(SIGHUP);  // the console's handler restores what it can and ends us
  signal(SIGHUP, SIG_DFL);
  raise(SIGHUP);
  _exit(128 + SIGHUP);
}

}  // namespace detail

void end_on_terminal_loss(bool on) { detail::g_end_on_loss = on; }

}  // namespace console
