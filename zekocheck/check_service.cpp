#include "check_service.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "replay.h"

namespace zekocheck {
namespace {

// What one look at the channel reads at most.
constexpr std::size_t kChannelReadLimit = 1 << 20;

void close_fd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

}  // namespace

bool CheckService::open() {
  int calls[2], answers[2];
  if (pipe2(calls, O_CLOEXEC) != 0) return false;
  if (pipe2(answers, O_CLOEXEC) != 0) {
    ::close(calls[0]);
    ::close(calls[1]);
    return false;
  }
  fcntl(calls[0], F_SETFL, O_NONBLOCK);
  fcntl(answers[1], F_SETFL, O_NONBLOCK);
  calls_ = calls[0];
  run_calls_ = calls[1];
  run_answers_ = answers[0];
  answers_ = answers[1];
  return true;
}

void CheckService::close_run_ends() {
  close_fd(run_calls_);
  close_fd(run_answers_);
}

int CheckService::answers_to_poll(Replay& replay) const {
  return answers_ >= 0 && !replay.outgoing().empty() ? answers_ : -1;
}

bool CheckService::serve(Replay& replay) {
  if (calls_ < 0) return !replay.stops();
  char buf[65536];
  bool closed = false;
  for (std::size_t taken = 0; taken < kChannelReadLimit && !replay.stops();) {
    ssize_t n = ::read(calls_, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      closed = n == 0;
      break;
    }
    replay.feed(buf, static_cast<std::size_t>(n));
    taken += static_cast<std::size_t>(n);
  }
  std::string& out = replay.outgoing();
  while (!out.empty() && !closed && answers_ >= 0) {
    ssize_t n = ::write(answers_, out.data(), out.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) close_fd(answers_);  // the program closed its end
    if (n <= 0) break;
    out.erase(0, static_cast<std::size_t>(n));
  }
  if (closed || replay.stops()) close();
  return !replay.stops();
}

void CheckService::serve_rest(Replay& replay) {
  for (int look = 0; look < 16 && calls_ >= 0; ++look) serve(replay);
  close();
}

void CheckService::close() {
  close_fd(calls_);
  close_fd(answers_);
}

CheckService::~CheckService() {
  close();
  close_run_ends();
}

}  // namespace zekocheck
