#include "event_loop.h"

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "pupil_box.h"

namespace zekocheck {
namespace {

constexpr int kSignals[4] = {SIGCHLD, SIGINT, SIGTERM, SIGHUP};

// The handlers write to this pipe (one loop at a time).
int g_wake = -1;
volatile sig_atomic_t g_interrupted = 0;

void wake(int signal_number) {
  int saved = errno;
  if (signal_number != SIGCHLD) g_interrupted = signal_number;
  char c = 0;
  [[maybe_unused]] ssize_t n = ::write(g_wake, &c, 1);
  errno = saved;
}

long now_ms() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1000L + t.tv_nsec / 1000000L;
}

}  // namespace

EventLoop::EventLoop() {
  if (pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) {
    wake_[0] = wake_[1] = -1;
    return;
  }
  g_wake = wake_[1];
  g_interrupted = 0;
  struct sigaction sa {};
  sa.sa_handler = wake;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART | SA_NOCLDSTOP;
  for (int i = 0; i < 4; ++i) sigaction(kSignals[i], &sa, &old_[i]);
}

EventLoop::~EventLoop() {
  if (wake_[0] < 0) return;
  for (int i = 0; i < 4; ++i) sigaction(kSignals[i], &old_[i], nullptr);
  ::close(wake_[0]);
  ::close(wake_[1]);
  g_wake = -1;
}

int EventLoop::interrupted() const { return g_interrupted; }

void EventLoop::wait(std::vector<std::unique_ptr<PupilBox>>& rooms) {
  std::vector<pollfd> fds = {{wake_[0], POLLIN, 0}};
  long next_deadline = now_ms() + 60000;
  for (auto& room : rooms) {
    room->add_polls(fds);
    next_deadline = std::min(next_deadline, room->deadline());
  }
  int timeout = static_cast<int>(std::max(0L, next_deadline - now_ms()));
  if (poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR) return;
  char sink[64];
  while (::read(wake_[0], sink, sizeof sink) > 0) {
  }
  long now = now_ms();
  for (std::size_t i = 0; i < rooms.size(); ++i) rooms[i]->on_events(&fds[1 + PupilBox::kPolls * i], now);
}

}  // namespace zekocheck
