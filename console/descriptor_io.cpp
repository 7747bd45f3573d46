// The console's reads, writes and waits on its input and output descriptors,
// in an object of their own: the fuzz targets link their own from memory
// instead, so that an input costs no system call.
#include <poll.h>
#include <unistd.h>

#include "state.h"

namespace console::detail {

int wait_for_input_bytes(int timeout_ms) {
  pollfd p {g.in_fd, POLLIN, 0};
  return poll(&p, 1, timeout_ms);
}

ssize_t read_input(void* buffer, std::size_t size) { return ::read(g.in_fd, buffer, size); }

ssize_t write_output(const void* bytes, std::size_t size) { return ::write(g.out_fd, bytes, size); }

}  // namespace console::detail
