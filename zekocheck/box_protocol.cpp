#include "box_protocol.h"

#include <fcntl.h>
#include <linux/close_range.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace zekocheck::box_protocol {
namespace {

constexpr std::size_t kControlSpace = CMSG_SPACE(sizeof(int) * kMaxDescriptors);

}  // namespace

bool send(int socket, const std::vector<std::string>& fields, const std::vector<int>& descriptors) {
  std::string packet;
  for (const std::string& f : fields) packet.append(f).push_back('\0');
  if (packet.size() > kMessageLimit || descriptors.size() > kMaxDescriptors) return false;
  iovec part {packet.data(), packet.size()};
  msghdr message {};
  message.msg_iov = &part;
  message.msg_iovlen = 1;
  alignas(cmsghdr) char control[kControlSpace] {};
  if (!descriptors.empty()) {
    message.msg_control = control;
    message.msg_controllen = CMSG_SPACE(sizeof(int) * descriptors.size());
    cmsghdr* header = CMSG_FIRSTHDR(&message);
    header->cmsg_level = SOL_SOCKET;
    header->cmsg_type = SCM_RIGHTS;
    header->cmsg_len = CMSG_LEN(sizeof(int) * descriptors.size());
    std::memcpy(CMSG_DATA(header), descriptors.data(), sizeof(int) * descriptors.size());
  }
  ssize_t sent;
  while ((sent = ::sendmsg(socket, &message, MSG_NOSIGNAL)) < 0 && errno == EINTR) {
  }
  return sent == static_cast<ssize_t>(packet.size());
}

bool receive(int socket, std::vector<std::string>& fields, std::vector<int>& descriptors) {
  fields.clear();
  descriptors.clear();
  std::string packet(kMessageLimit, '\0');
  iovec part {packet.data(), packet.size()};
  msghdr message {};
  message.msg_iov = &part;
  message.msg_iovlen = 1;
  alignas(cmsghdr) char control[kControlSpace] {};
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  ssize_t got;
  while ((got = ::recvmsg(socket, &message, MSG_CMSG_CLOEXEC)) < 0 && errno == EINTR) {
  }
  for (cmsghdr* h = got >= 0 ? CMSG_FIRSTHDR(&message) : nullptr; h; h = CMSG_NXTHDR(&message, h))
    if (h->cmsg_level == SOL_SOCKET && h->cmsg_type == SCM_RIGHTS) {
      std::size_t count = (h->cmsg_len - CMSG_LEN(0)) / sizeof(int);
      for (std::size_t i = 0; i < count; ++i) {
        int fd;
        std::memcpy(&fd, CMSG_DATA(h) + i * sizeof(int), sizeof fd);
        descriptors.push_back(fd);
      }
    }
  bool whole = got > 0 && !(message.msg_flags & (MSG_TRUNC | MSG_CTRUNC)) && packet[static_cast<std::size_t>(got) - 1] == '\0';
  if (!whole) {
    for (int fd : descriptors) ::close(fd);
    descriptors.clear();
    return false;
  }
  for (std::size_t at = 0; at < static_cast<std::size_t>(got);) {
    std::size_t end = packet.find('\0', at);
    fields.emplace_back(packet, at, end - at);
    at = end + 1;
  }
  return true;
}

void close_on_exec_from(int first) noexcept {
  if (close_range(static_cast<unsigned>(first), ~0U, CLOSE_RANGE_CLOEXEC) == 0) return;
  // A kernel without close_range: one by one, up to the descriptor limit.
  rlimit files {};
  int last = getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < 65536 ? static_cast<int>(files.rlim_cur) : 65536;
  for (int fd = first; fd < last; ++fd) fcntl(fd, F_SETFD, FD_CLOEXEC);
}

}  // namespace zekocheck::box_protocol
