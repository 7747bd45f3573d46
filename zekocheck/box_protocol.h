// The messages between zekocheck and the supervisor inside a box: one
// packet per message on a sequenced-packet socket, its fields separated by
// NUL bytes, descriptors passed alongside.
//
//   zekocheck -> box: "start", cpu soft, cpu hard, address space, file size,
//                     processes, folder, argument count, arguments...,
//                     environment...   with the descriptors: output (1 and
//                     2), then optionally the check channel (3 and 4)
//                     "kill"             the job's processes end at once
//   box -> zekocheck: "end", wait status: the job's first process ended and
//                     nothing of the job runs any more
//
// The box ends when zekocheck closes its end of the socket.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace zekocheck::box_protocol {

constexpr std::size_t kMessageLimit = 1 << 16;
constexpr std::size_t kMaxDescriptors = 3;

// One message; false when it does not fit or the socket is gone.
bool send(int socket, const std::vector<std::string>& fields, const std::vector<int>& descriptors = {});

// The next message, its descriptors close-on-exec. False at the socket's
// end or on a message that does not fit (its descriptors closed then).
bool receive(int socket, std::vector<std::string>& fields, std::vector<int>& descriptors);

// Child side, before exec: every descriptor from `first` on is closed on
// exec, whatever our caller left open without that flag (a box gets only
// the descriptors it is given). Async-signal-safe.
void close_on_exec_from(int first) noexcept;

}  // namespace zekocheck::box_protocol
