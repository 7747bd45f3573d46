#include "cleanup.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/ipc.h>
#include <sys/msg.h>
#include <sys/resource.h>
#include <sys/sem.h>
#include <sys/shm.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>

namespace fs = std::filesystem;

namespace zekocheck {

std::string read_proc(const std::string& path) {
  std::string text;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return text;
  char buf[4096];
  ssize_t n;
  while ((n = ::read(fd, buf, sizeof buf)) > 0 && text.size() < (1 << 20)) text.append(buf, static_cast<std::size_t>(n));
  ::close(fd);
  return text;
}

void pause_ms(long ms) {
  timespec t {ms / 1000, (ms % 1000) * 1000000L};
  nanosleep(&t, nullptr);
}

namespace {

// Our children, as the kernel lists them (one small file); false where the
// kernel keeps no such list.
bool listed_children(std::vector<pid_t>& children) {
  const std::string list = "/proc/self/task/" + std::to_string(getpid()) + "/children";
  if (::access(list.c_str(), R_OK) != 0) return false;
  std::istringstream pids(read_proc(list));
  for (long pid; pids >> pid;) children.push_back(static_cast<pid_t>(pid));
  return true;
}

void reap(pid_t pid) {
  while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
  }
}

// The objects of one /proc/sysvipc table whose owner or creator is `uid`:
// their ids. `uid_column` is where the owner's uid stands (the creator's
// comes two later).
std::vector<int> ipc_ids_of(const char* table, int uid_column, uid_t uid) {
  std::vector<int> ids;
  std::istringstream lines(read_proc(std::string("/proc/sysvipc/") + table));
  std::string line;
  std::getline(lines, line);  // the heading
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::vector<long long> f;
    for (long long v; f.size() <= static_cast<std::size_t>(uid_column) + 2 && fields >> v;) f.push_back(v);
    if (f.size() > static_cast<std::size_t>(uid_column) + 2 &&
        (f[static_cast<std::size_t>(uid_column)] == uid || f[static_cast<std::size_t>(uid_column) + 2] == uid))
      ids.push_back(static_cast<int>(f[1]));
  }
  return ids;
}

}  // namespace

std::vector<ProcessInfo> processes() {
  std::vector<ProcessInfo> all;
  DIR* proc = opendir("/proc");
  if (!proc) return all;
  while (dirent* e = readdir(proc)) {
    if (e->d_name[0] < '1' || e->d_name[0] > '9') continue;
    std::string dir = std::string("/proc/") + e->d_name;
    // The real user from the status (the folder's owner turns root for a
    // process that made itself undumpable).
    std::string status = read_proc(dir + "/status");
    std::size_t uid_at = status.find("\nUid:");
    std::string stat = read_proc(dir + "/stat");
    std::size_t close_paren = stat.rfind(')');
    if (uid_at == std::string::npos || close_paren == std::string::npos) continue;
    long uid = std::atol(status.c_str() + uid_at + 5);
    std::istringstream fields(stat.substr(close_paren + 1));
    std::string state;
    long ppid = 0, pgrp = 0, sid = 0;
    fields >> state >> ppid >> pgrp >> sid;
    all.push_back({static_cast<pid_t>(std::atol(e->d_name)), static_cast<pid_t>(ppid), static_cast<pid_t>(sid),
                   static_cast<uid_t>(uid)});
  }
  closedir(proc);
  return all;
}

// kill(-1) as the user reaches exactly that user's processes, wherever they
// hide (other sessions, other pid name spaces). Allowed two processes, the
// killer cannot fork while another one is left.
bool kill_user(uid_t uid) {
  pid_t pid = fork();
  if (pid == 0) {
    if (setresgid(uid, uid, uid) != 0 || setresuid(uid, uid, uid) != 0) _exit(2);
    kill(-1, SIGKILL);
    rlimit two {2, 2};
    setrlimit(RLIMIT_NPROC, &two);
    pid_t probe = fork();
    if (probe == 0) _exit(0);
    if (probe > 0) waitpid(probe, nullptr, 0);
    _exit(probe < 0 ? 1 : 0);
  }
  int status = 0;
  if (pid > 0)
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  return pid > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 1;
}

bool end_adopted(const std::set<pid_t>& ours) {
  std::vector<pid_t> children;
  if (!listed_children(children))
    for (const ProcessInfo& p : processes())
      if (p.ppid == getpid()) children.push_back(p.pid);
  bool any = false;
  for (pid_t pid : children)
    if (!ours.count(pid)) {
      kill(pid, SIGKILL);
      reap(pid);
      any = true;
    }
  return any;
}

void end_left_processes(uid_t uid, const std::set<pid_t>& ours) {
  // A killed process may take a moment to go: the pause doubles up to
  // about two seconds in all.
  long pause = 0;
  for (int round = 0; round < 1000; ++round) {
    bool user_left = uid > 0 && kill_user(uid);
    if (end_adopted(ours)) continue;
    if (!user_left || pause >= 2048) break;
    pause = pause ? pause * 2 : 1;
    pause_ms(pause);
  }
}

void remove_owned_by(uid_t uid) {
  for (const char* shared : {"/dev/shm", "/tmp", "/var/tmp", "/dev/mqueue", "/run/lock"}) {
    DIR* dir = opendir(shared);
    if (!dir) continue;
    std::vector<std::string> mine;
    while (dirent* e = readdir(dir)) {
      if (!std::strcmp(e->d_name, ".") || !std::strcmp(e->d_name, "..")) continue;
      struct stat st {};
      std::string path = std::string(shared) + "/" + e->d_name;
      if (::lstat(path.c_str(), &st) == 0 && st.st_uid == uid) mine.push_back(path);
    }
    closedir(dir);
    for (const std::string& m : mine) remove_tree(m);
  }
  for (int id : ipc_ids_of("shm", 7, uid)) shmctl(id, IPC_RMID, nullptr);
  for (int id : ipc_ids_of("sem", 4, uid)) semctl(id, 0, IPC_RMID);
  for (int id : ipc_ids_of("msg", 7, uid)) msgctl(id, IPC_RMID, nullptr);
}

void remove_tree(const std::string& path) {
  int top = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (top < 0) {
    ::unlink(path.c_str());
    return;
  }
  struct stat top_st {};
  fstat(top, &top_st);
  // Walk down one folder at a time, holding only the current folder's
  // descriptor and the names on the way; ".." leads back up.
  std::vector<std::string> names;
  int fd = top;
  for (;;) {
    int scan = dup(fd);
    DIR* dir = scan >= 0 ? fdopendir(scan) : nullptr;
    if (!dir) {
      if (scan >= 0) ::close(scan);
      break;
    }
    std::string down;
    while (dirent* e = readdir(dir)) {
      if (!std::strcmp(e->d_name, ".") || !std::strcmp(e->d_name, "..")) continue;
      struct stat st {};
      if (fstatat(fd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
      if (S_ISDIR(st.st_mode) && st.st_dev == top_st.st_dev) {
        down = e->d_name;
        break;
      }
      if (!S_ISDIR(st.st_mode)) unlinkat(fd, e->d_name, 0);
    }
    closedir(dir);
    if (!down.empty()) {
      int next = openat(fd, down.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (next < 0 && errno == EACCES && fchmodat(fd, down.c_str(), 0700, 0) == 0)
        next = openat(fd, down.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (next < 0) {
        unlinkat(fd, down.c_str(), AT_REMOVEDIR);  // nothing more to do for it
        continue;
      }
      if (fd != top) ::close(fd);
      fd = next;
      names.push_back(down);
      continue;
    }
    if (names.empty()) break;
    int up = openat(fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd != top) ::close(fd);
    if (up < 0) break;
    fd = up;
    unlinkat(fd, names.back().c_str(), AT_REMOVEDIR);
    names.pop_back();
  }
  if (fd != top) ::close(fd);
  ::close(top);
  ::rmdir(path.c_str());
}

std::string make_base_folder() {
  const char* tmp = std::getenv("TMPDIR");
  std::string parent = tmp && *tmp ? tmp : "/tmp";
  if (geteuid() == 0 && !others_can_pass(parent)) parent = "/tmp";
  std::string pattern = parent + "/zekocheck.XXXXXX";
  if (!mkdtemp(pattern.data())) return "";
  if (geteuid() == 0) ::chmod(pattern.c_str(), 0711);
  return pattern;
}

bool others_can_pass(const std::string& dir) {
  for (fs::path p = dir; !p.empty(); p = p.parent_path()) {
    struct stat st {};
    if (::stat(p.c_str(), &st) != 0 || !(st.st_mode & S_IXOTH)) return false;
    if (p == p.root_path()) break;
  }
  return true;
}

}  // namespace zekocheck
