#include "atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace zekocheck {
namespace {

std::string reason(int err) {
  switch (err) {
    case ENOENT: return "den Ordner gibt es nicht";
    case EACCES:
    case EPERM: return "keine Berechtigung";
    case ENOSPC:
    case EDQUOT: return "kein Platz mehr";
    case EROFS: return "nur lesbares Dateisystem";
    case EISDIR: return "das ist ein Ordner";
    default: return std::strerror(err);
  }
}

}  // namespace

bool write_file_atomically(const std::string& path, const std::string& content, std::string& error) {
  // A link there may have been put by anyone who can write to the folder:
  // what it points to is never written, nor the link replaced.
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    error = "dort liegt ein Verweis (symbolischer Link)";
    return false;
  }
  std::size_t slash = path.rfind('/');
  std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  std::string temp = folder + "/.zekocheck-XXXXXX";
  std::vector<char> name(temp.begin(), temp.end());
  name.push_back(0);
  int fd = mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) {
    error = reason(errno);
    return false;
  }
  mode_t mask = umask(0);
  umask(mask);
  int err = fchmod(fd, 0666 & ~mask) == 0 ? 0 : errno;
  for (std::size_t done = 0; !err && done < content.size();) {
    ssize_t n = ::write(fd, content.data() + done, content.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) err = n < 0 ? errno : EIO;
    else done += static_cast<std::size_t>(n);
  }
  if (!err && fsync(fd) != 0) err = errno;
  if (::close(fd) != 0 && !err) err = errno;
  if (!err && rename(name.data(), path.c_str()) != 0) err = errno;
  if (err) {
    unlink(name.data());
    error = reason(err);
    return false;
  }
  return true;
}

}  // namespace zekocheck
