// A terminal that goes away without telling us: when it is not our
// controlling terminal, closing its other side sends no hang-up signal;
// reads only report the end of input and writes fail. A program that keeps
// running then (an endless loop in Go mode) would run on unseen, so where
// the deliverable asks for it the process ends as a hang-up ends it.
#include <poll.h>
#include <signal.h>
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

}  // namespace

void check_terminal_lost() {
  if (!g_end_on_loss || !g.output_is_terminal) return;
  // Input from the same terminal has ended with it; other input must have
  // reported its end.
  if (!g.input_ended && !g.echo_allowed) return;
  if (!output_hung_up()) return;
  raise(SIGHUP);  // the console's handler restores what it can and ends us
  signal(SIGHUP, SIG_DFL);
  raise(SIGHUP);
  _exit(128 + SIGHUP);
}

}  // namespace detail

void end_on_terminal_loss(bool on) { detail::g_end_on_loss = on; }

}  // namespace console
