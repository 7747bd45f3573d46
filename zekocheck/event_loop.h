// The runner's event loop: waits for whatever the open boxes need (their
// ends, output, check channels, deadlines), woken by SIGCHLD and by an
// interrupt of zekocheck itself, whose handlers it holds while it lives.
#pragma once

#include <poll.h>
#include <signal.h>

#include <memory>
#include <vector>

namespace zekocheck {

class PupilBox;

class EventLoop {
 public:
  EventLoop();
  ~EventLoop();
  EventLoop(const EventLoop&) = delete;
  EventLoop& operator=(const EventLoop&) = delete;

  bool ready() const { return wake_[0] >= 0; }
  // The signal that interrupted zekocheck, or 0.
  int interrupted() const;
  // Waits until something of a room happened or its deadline came, and
  // hands each room what happened to it.
  void wait(std::vector<std::unique_ptr<PupilBox>>& rooms);

 private:
  int wake_[2] = {-1, -1};
  struct sigaction old_[4] {};
};

}  // namespace zekocheck
