// zekobox: the supervisor inside one pupil's box. zekocheck starts it once
// per box (as the first process of the sandbox, or directly without one)
// and sends it the box's jobs one after the other over a socket; it starts
// each job, and when the job's first process ends it ends whatever else of
// the job still runs before it says so. Without the sandbox, as root, the
// jobs run as the slot's user given on the command line.
//
//   zekobox SOCKET_FD pid1|plain [UID]
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/signalfd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "box_protocol.h"

namespace {

using zekocheck::box_protocol::receive;
using zekocheck::box_protocol::send;

struct Supervisor {
  int socket = -1;
  bool pid1 = false;        // init of the box's pid name space: kill(-1) reaches exactly the box
  long uid = -1;            // the jobs' user, or -1: ours
  pid_t job = -1;
};

rlim_t number(const std::string& text) { return static_cast<rlim_t>(std::strtoull(text.c_str(), nullptr, 10)); }

void set_limit(int resource, rlim_t soft, rlim_t hard) {
  rlimit r {soft, hard};
  setrlimit(resource, &r);
}

// Where the box's memory runs out, the job is ended first, never its
// supervisor: raising one's own score needs no privilege, but its file in
// /proc is the job's only once it is dumpable again, as its exec right
// after makes it anyway (ours is not: in a user name space the file would
// be an unmapped root's).
void prefer_job_when_memory_runs_out() {
  prctl(PR_SET_DUMPABLE, 1);
  if (int adj = ::open("/proc/self/oom_score_adj", O_WRONLY | O_CLOEXEC); adj >= 0) {
    [[maybe_unused]] ssize_t n = ::write(adj, "1000", 4);
    ::close(adj);
  }
}

// The job's side of the fork: its descriptors at their numbers, limits,
// user, and then the program.
[[noreturn]] void become_job(const Supervisor& s, const std::vector<std::string>& f, const std::vector<int>& fds,
                             std::size_t argc) {
  setsid();
  int high[zekocheck::box_protocol::kMaxDescriptors];
  for (std::size_t i = 0; i < fds.size(); ++i) high[i] = fcntl(fds[i], F_DUPFD_CLOEXEC, 100);
  int null_fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (null_fd < 0 || dup2(null_fd, 0) < 0 || dup2(high[0], 1) < 0 || dup2(high[0], 2) < 0) _exit(126);
  for (std::size_t i = 1; i < fds.size(); ++i)
    if (high[i] < 0 || dup2(high[i], static_cast<int>(i) + 2) < 0) _exit(126);
  zekocheck::box_protocol::close_on_exec_from(static_cast<int>(fds.size()) + 2);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  if (::chdir(f[6].c_str()) != 0) _exit(126);
  set_limit(RLIMIT_CORE, 0, 0);
  set_limit(RLIMIT_CPU, number(f[1]), number(f[2]));
  if (number(f[3])) set_limit(RLIMIT_AS, number(f[3]), number(f[3]));
  set_limit(RLIMIT_FSIZE, number(f[4]), number(f[4]));
  if (number(f[5]) != RLIM_INFINITY) set_limit(RLIMIT_NPROC, number(f[5]), number(f[5]));
  if (s.uid >= 0) {
    uid_t u = static_cast<uid_t>(s.uid);
    if (setgroups(0, nullptr) != 0 || setresgid(u, u, u) != 0 || setresuid(u, u, u) != 0) _exit(126);
  }
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0);
  prefer_job_when_memory_runs_out();
  std::vector<char*> argv, envp;
  for (std::size_t i = 0; i < argc; ++i) argv.push_back(const_cast<char*>(f[8 + i].c_str()));
  argv.push_back(nullptr);
  for (std::size_t i = 8 + argc; i < f.size(); ++i) envp.push_back(const_cast<char*>(f[i].c_str()));
  envp.push_back(nullptr);
  execve(argv[0], argv.data(), envp.data());
  const char* text = "zekocheck: Programm nicht ausfuehrbar\n";
  [[maybe_unused]] ssize_t n = ::write(2, text, std::strlen(text));
  _exit(127);
}

void start_job(Supervisor& s, const std::vector<std::string>& f, const std::vector<int>& fds) {
  std::size_t argc = f.size() > 7 ? std::strtoul(f[7].c_str(), nullptr, 10) : 0;
  if (s.job > 0 || fds.empty() || argc == 0 || f.size() < 8 + argc) {
    send(s.socket, {"end", std::to_string(126 << 8)});
    return;
  }
  s.job = fork();
  if (s.job == 0) become_job(s, f, fds, argc);
  if (s.job < 0) send(s.socket, {"end", std::to_string(126 << 8)});
}

// Our children, as the kernel lists them.
std::vector<pid_t> children() {
  std::vector<pid_t> list;
  std::string path = "/proc/self/task/" + std::to_string(getpid()) + "/children";
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return list;
  std::string text;
  char buf[4096];
  ssize_t n;
  while ((n = ::read(fd, buf, sizeof buf)) > 0) text.append(buf, static_cast<std::size_t>(n));
  ::close(fd);
  for (const char* p = text.c_str(); *p;) {
    char* end;
    long pid = std::strtol(p, &end, 10);
    if (end == p) break;
    list.push_back(static_cast<pid_t>(pid));
    p = end;
  }
  return list;
}

// Every process below us ends and is reaped: as the pid name space's init
// one kill reaches all of them; otherwise whatever outlives its parent
// comes to us (subreaper) and is ended round by round.
void end_everything(const Supervisor& s) {
  for (;;) {
    if (s.pid1) kill(-1, SIGKILL);
    for (pid_t child : children()) kill(child, SIGKILL);
    if (waitpid(-1, nullptr, __WALL) < 0 && errno == ECHILD) return;
  }
}

void job_ended(Supervisor& s, int status) {
  kill(-s.job, SIGKILL);
  end_everything(s);
  s.job = -1;
  send(s.socket, {"end", std::to_string(status)});
}

void reap(Supervisor& s) {
  int status = 0;
  pid_t pid;
  while ((pid = waitpid(-1, &status, WNOHANG | __WALL)) > 0)
    if (pid == s.job) job_ended(s, status);
}

bool serve_request(Supervisor& s) {
  std::vector<std::string> fields;
  std::vector<int> fds;
  if (!receive(s.socket, fields, fds)) return false;
  if (!fields.empty() && fields[0] == "start") start_job(s, fields, fds);
  else if (!fields.empty() && fields[0] == "kill" && s.job > 0) {
    kill(-s.job, SIGKILL);
    kill(s.job, SIGKILL);
  }
  for (int fd : fds) ::close(fd);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  Supervisor s;
  s.socket = std::atoi(argv[1]);
  s.pid1 = std::strcmp(argv[2], "pid1") == 0;
  if (argc > 3) s.uid = std::atol(argv[3]);
  fcntl(s.socket, F_SETFD, FD_CLOEXEC);
  // Nothing in the box may read or trace us; what outlives its parent
  // comes to us; without zekocheck we end.
  prctl(PR_SET_DUMPABLE, 0);
  prctl(PR_SET_CHILD_SUBREAPER, 1);
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() == 1 && !s.pid1) return 1;
  sigset_t child;
  sigemptyset(&child);
  sigaddset(&child, SIGCHLD);
  sigprocmask(SIG_BLOCK, &child, nullptr);
  int children_fd = signalfd(-1, &child, SFD_CLOEXEC | SFD_NONBLOCK);
  for (bool open = true; open;) {
    pollfd fds[2] = {{s.socket, POLLIN, 0}, {children_fd, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0 && errno != EINTR) break;
    if (fds[1].revents) {
      signalfd_siginfo info;
      while (::read(children_fd, &info, sizeof info) > 0) {
      }
      reap(s);
    }
    if (fds[0].revents) open = serve_request(s);
  }
  if (s.job > 0) kill(-s.job, SIGKILL);
  end_everything(s);
  return 0;
}
