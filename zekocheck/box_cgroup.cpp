#include "box_cgroup.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <initializer_list>
#include <sstream>

#include "cleanup.h"

namespace zekocheck {
namespace {

bool write_small(const std::string& path, const std::string& text) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  ::close(fd);
  return ok;
}

// Whether every word is in the list (separated by blanks or commas).
bool has_words(const std::string& list, std::initializer_list<const char*> words) {
  std::string spaced = " " + list + " ";
  for (char& c : spaced)
    if (c == ',' || c == '\n' || c == '\t') c = ' ';
  for (const char* w : words)
    if (spaced.find(" " + std::string(w) + " ") == std::string::npos) return false;
  return true;
}

struct Mount {
  std::string root, point;
};

// The mount of a cgroup file system: cgroup2, or the v1 hierarchy that
// holds `controller`.
bool find_mount(const std::string& controller, Mount& found) {
  std::istringstream lines(read_proc("/proc/self/mountinfo"));
  for (std::string line; std::getline(lines, line);) {
    std::istringstream f(line);
    std::string id, parent, dev, root, point, options, field;
    f >> id >> parent >> dev >> root >> point >> options;
    while (f >> field && field != "-") {
    }
    std::string type, source, super;
    f >> type >> source >> super;
    bool wanted = controller.empty() ? type == "cgroup2" : type == "cgroup" && has_words(super, {controller.c_str()});
    if (wanted) {
      found = {root, point};
      return true;
    }
  }
  return false;
}

// Our own cgroup's folder in that mount: from /proc/self/cgroup, the line of
// the unified hierarchy (empty `controller`) or of the v1 controller.
std::string own_folder(const std::string& controller, const Mount& mount) {
  std::istringstream lines(read_proc("/proc/self/cgroup"));
  for (std::string line; std::getline(lines, line);) {
    std::size_t first = line.find(':'), second = line.find(':', first + 1);
    if (first == std::string::npos || second == std::string::npos) continue;
    std::string controllers = line.substr(first + 1, second - first - 1), path = line.substr(second + 1);
    bool wanted = controller.empty() ? line.compare(0, first, "0") == 0 && controllers.empty()
                                     : has_words(controllers, {controller.c_str()});
    if (!wanted) continue;
    if (mount.root != "/" && path.compare(0, mount.root.size(), mount.root) == 0) path.erase(0, mount.root.size());
    return path == "/" ? mount.point : mount.point + path;
  }
  return "";
}

std::string check_folder_name() { return "zekocheck." + std::to_string(getpid()); }

std::string parent_of(const std::string& dir) { return dir.substr(0, dir.rfind('/')); }

// A folder that may still hold a dying process: tried for up to a second.
void remove_folder(const std::string& dir) {
  for (long pause = 1; ::rmdir(dir.c_str()) != 0 && errno == EBUSY && pause < 1024; pause *= 2) pause_ms(pause);
}

// How many processes the memory limit ended, as the cgroup counts them.
long oom_kills(const std::string& dir, bool v2) {
  std::string counts = read_proc(dir + (v2 ? "/memory.events" : "/memory.oom_control"));
  std::size_t at = counts.find("oom_kill ");
  return at == std::string::npos ? 0 : std::atol(counts.c_str() + at + 9);
}

}  // namespace

CgroupTree::CgroupTree() {
  if (find_v2() || find_v1()) return;
  missing_ = geteuid() == 0 ? "Speicher- und Prozess-Controller fehlen oder sind nicht beschreibbar"
                            : "kein an den Benutzer delegierter cgroup-Teilbaum";
}

CgroupTree::~CgroupTree() {
  for (const std::string& root : roots_) remove_folder(root);
}

// The unified hierarchy: the lowest folder from our own cgroup upwards that
// we may write and that hands memory and pids down (a folder with processes
// of its own cannot), within the mount.
bool CgroupTree::find_v2() {
  Mount mount;
  if (!find_mount("", mount) || !has_words(read_proc(mount.point + "/cgroup.controllers"), {"memory", "pids"}))
    return false;
  std::string dir = own_folder("", mount);
  for (; dir.size() >= mount.point.size() && !dir.empty(); dir = parent_of(dir)) {
    if (::access((dir + "/cgroup.procs").c_str(), W_OK) != 0 ||
        !has_words(read_proc(dir + "/cgroup.subtree_control"), {"memory", "pids"}))
      continue;
    std::string check = dir + "/" + check_folder_name();
    if (::mkdir(check.c_str(), 0755) != 0) continue;
    if (!write_small(check + "/cgroup.subtree_control", "+memory +pids")) {
      ::rmdir(check.c_str());
      continue;
    }
    roots_ = {check};
    v2_ = true;
    return true;
  }
  return false;
}

// v1: a folder below our own cgroup in the memory and in the pids hierarchy.
bool CgroupTree::find_v1() {
  for (const char* controller : {"memory", "pids"}) {
    Mount mount;
    std::string own = find_mount(controller, mount) ? own_folder(controller, mount) : "";
    std::string check = own + "/" + check_folder_name();
    if (own.empty() || ::mkdir(check.c_str(), 0755) != 0) {
      for (const std::string& root : roots_) ::rmdir(root.c_str());
      roots_.clear();
      return false;
    }
    roots_.push_back(check);
  }
  return true;
}

bool CgroupTree::limit(const BoxCgroup& box, const CgroupLimits& limits) const {
  const std::string memory = std::to_string(limits.memory_bytes), processes = std::to_string(limits.processes);
  const std::string& memory_dir = box.dirs.front();
  const std::string& pids_dir = box.dirs.back();
  if (limits.processes > 0 && !write_small(pids_dir + "/pids.max", processes)) return false;
  if (limits.memory_bytes <= 0) return true;
  if (v2_) {
    // No swap (the file is missing where swap is not accounted: then there
    // is none to take). Not memory.oom.group: the box's supervisor is in it
    // and outlives the job that ran out of memory.
    if (!write_small(memory_dir + "/memory.max", memory)) return false;
    return write_small(memory_dir + "/memory.swap.max", "0") || errno == ENOENT;
  }
  // Memory and swap together stay at or above memory alone: when a limit
  // set before rises, the sum rises first.
  const std::string alone = memory_dir + "/memory.limit_in_bytes", with_swap = memory_dir + "/memory.memsw.limit_in_bytes";
  if (!write_small(alone, memory) && !(write_small(with_swap, memory) && write_small(alone, memory))) return false;
  if (write_small(with_swap, memory)) return true;
  // Swap not accounted: the box's pages are at least not swapped out to
  // make room under its limit.
  return errno == ENOENT && write_small(memory_dir + "/memory.swappiness", "0");
}

BoxCgroup CgroupTree::make(const CgroupLimits& limits) {
  BoxCgroup box;
  const std::string name = "/" + std::to_string(next_++);
  for (const std::string& root : roots_) {
    std::string dir = root + name;
    if (::mkdir(dir.c_str(), 0755) != 0) break;
    box.dirs.push_back(dir);
    int fd = ::open((dir + "/cgroup.procs").c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) break;
    box.procs.push_back(fd);
  }
  if (box.procs.size() != roots_.size() || roots_.empty() || !limit(box, limits)) {
    end(box);
    return box;
  }
  box.memory_bounded = limits.memory_bytes > 0;
  return box;
}

bool CgroupTree::end(BoxCgroup& box) const {
  for (int fd : box.procs) ::close(fd);
  box.procs.clear();
  if (box.dirs.empty()) return false;
  if (v2_) write_small(box.dirs.front() + "/cgroup.kill", "1");
  // Round by round until no process is listed (one may fork while the
  // others are ended; the process limit bounds how often).
  for (int round = 0; round < 200; ++round) {
    bool any = false;
    std::istringstream pids(read_proc(box.dirs.back() + "/cgroup.procs"));
    for (long pid; pids >> pid; any = true) ::kill(static_cast<pid_t>(pid), SIGKILL);
    if (!any) break;
    pause_ms(round < 10 ? 1 : 10);
  }
  bool out_of_memory = memory_ends(box) > 0;
  for (const std::string& dir : box.dirs) remove_folder(dir);
  box.dirs.clear();
  box.memory_bounded = false;
  return out_of_memory;
}

long CgroupTree::memory_ends(const BoxCgroup& box) const {
  return box.memory_bounded && !box.dirs.empty() ? oom_kills(box.dirs.front(), v2_) : 0;
}

bool join_cgroup(const BoxCgroup& box) noexcept {
  for (int fd : box.procs)
    if (::write(fd, "0", 1) != 1) return false;
  return true;
}

}  // namespace zekocheck
