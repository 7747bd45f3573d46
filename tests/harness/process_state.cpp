#include "process_state.h"

#include <dirent.h>
#include <sys/syscall.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace zt {
namespace {

std::string first_line(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

// /proc/PID/stat: "pid (comm) state ppid pgrp ..."; comm may hold blanks.
bool read_stat(pid_t pid, char* state, pid_t* group) {
  std::string line = first_line("/proc/" + std::to_string(pid) + "/stat");
  std::size_t close = line.rfind(')');
  if (close == std::string::npos) return false;
  std::istringstream rest(line.substr(close + 1));
  long parent = 0, pgrp = 0;
  if (!(rest >> *state >> parent >> pgrp)) return false;
  *group = static_cast<pid_t>(pgrp);
  return true;
}

long context_switches(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  long total = 0;
  for (std::string line; std::getline(in, line);)
    if (line.find("ctxt_switches:") != std::string::npos) total += std::atol(line.substr(line.find(':') + 1).c_str());
  return total;
}

// /proc/PID/syscall: the number of the call the process is blocked in and
// its arguments in hex, or "running", or "-1 ..." outside any call.
bool blocked_without_time_limit(pid_t pid) {
  std::istringstream in(first_line("/proc/" + std::to_string(pid) + "/syscall"));
  long nr = -1;
  unsigned long arg[6] = {};
  if (!(in >> nr)) return false;
  for (auto& a : arg) in >> std::hex >> a;
  switch (nr) {
    case SYS_read:
    case SYS_readv:
    case SYS_rt_sigsuspend:
    case SYS_waitid:
      return true;
    case SYS_wait4:
      return (arg[2] & WNOHANG) == 0;
    case SYS_ppoll:
      return arg[2] == 0;
    case SYS_pselect6:
      return arg[4] == 0;
    case SYS_epoll_pwait:
      return static_cast<int>(arg[3]) < 0;
#ifdef SYS_poll
    case SYS_poll:
      return static_cast<int>(arg[2]) < 0;
#endif
#ifdef SYS_select
    case SYS_select:
      return arg[4] == 0;
#endif
#ifdef SYS_epoll_wait
    case SYS_epoll_wait:
      return static_cast<int>(arg[3]) < 0;
#endif
#ifdef SYS_pause
    case SYS_pause:
      return true;
#endif
    default:
      return false;
  }
}

}  // namespace

GroupState group_state(pid_t group) {
  GroupState s;
  s.all_wait_for_input = true;
  DIR* proc = opendir("/proc");
  if (!proc) return {};
  while (dirent* e = readdir(proc)) {
    pid_t pid = static_cast<pid_t>(std::atol(e->d_name));
    char state = 0;
    pid_t pgrp = 0;
    if (pid <= 0 || !read_stat(pid, &state, &pgrp) || pgrp != group) continue;
    if (state == 'Z') continue;  // ended, waiting to be collected
    if (state != 'S' || !blocked_without_time_limit(pid)) s.all_wait_for_input = false;
    s.switches.emplace_back(pid, context_switches(pid));
  }
  closedir(proc);
  std::sort(s.switches.begin(), s.switches.end());
  if (s.switches.empty()) s.all_wait_for_input = false;
  return s;
}

}  // namespace zt
