#include "box.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>

#include "box_protocol.h"
#include "cleanup.h"

namespace fs = std::filesystem;

namespace zekocheck {
namespace {

long now_ms() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1000L + t.tv_nsec / 1000000L;
}

void set_limit(int resource, rlim_t value) {
  rlimit r {value, value};
  setrlimit(resource, &r);
}

// A tmpfs of our own (root only): its size and its number of files are
// limited, and unmounting it takes every file with it at once.
bool mount_limited(const std::string& dir, uid_t uid) {
  std::string options = "size=" + std::to_string(kOwnFolderMb * 1024) + "k,nr_inodes=" +
                        std::to_string(kOwnFolderInodes) + ",mode=0700,uid=" + std::to_string(uid) +
                        ",gid=" + std::to_string(uid);
  return ::mount("zekocheck", dir.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) == 0;
}

// The child side of the box's first process: descriptors, signals,
// limits, user; then bubblewrap or the supervisor.
[[noreturn]] void exec_first(const Sandbox& sandbox, const BoxInfo& info, std::vector<char*>& argv,
                             std::vector<char*>& envp, const std::vector<int>& keep) {
  setsid();
  int null_fd = ::open("/dev/null", O_RDWR | O_CLOEXEC);
  for (int fd : {0, 1, 2}) dup2(null_fd, fd);
  box_protocol::close_on_exec_from(3);
  for (int fd : keep) fcntl(fd, F_SETFD, 0);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  for (int sig : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGCHLD}) signal(sig, SIG_DFL);
  set_limit(RLIMIT_CORE, 0);
  // As root with bubblewrap the box is the slot user's from the start: its
  // limit covers bubblewrap, the supervisor and the job. Without it the
  // supervisor stays root and gives the jobs the slot's user.
  if (info.bwrap || !sandbox.root()) {
    if (sandbox.outer_processes() != RLIM_INFINITY) set_limit(RLIMIT_NPROC, sandbox.outer_processes());
  }
  if (info.bwrap && sandbox.root() &&
      (setgroups(0, nullptr) != 0 || setresgid(info.user, info.user, info.user) != 0 ||
       setresuid(info.user, info.user, info.user) != 0))
    _exit(126);
  prctl(PR_SET_PDEATHSIG, SIGKILL);  // after the change of user, which clears it
  prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0);
  if (!sandbox.guards().before_exec(info)) _exit(126);
  execve(argv[0], argv.data(), envp.data());
  _exit(127);
}

// Every descriptor from 3 on is closed but those in `keep`.
void close_all_but(std::vector<int> keep) noexcept {
  std::sort(keep.begin(), keep.end());
  unsigned from = 3;
  for (int fd : keep) {
    if (fd < static_cast<int>(from)) continue;
    if (static_cast<unsigned>(fd) > from) close_range(from, static_cast<unsigned>(fd) - 1, 0);
    from = static_cast<unsigned>(fd) + 1;
  }
  close_range(from, ~0U, 0);
}

// The descriptors received go to the numbers the command names (first
// above all of them, so that none is overwritten on the way).
bool place_descriptors(const std::vector<int>& got, const std::vector<int>& wanted) {
  if (got.size() != wanted.size()) return false;
  int above = 3;
  for (int fd : got) above = std::max(above, fd + 1);
  for (int fd : wanted) above = std::max(above, fd + 1);
  std::vector<int> high;
  for (int fd : got) {
    high.push_back(fcntl(fd, F_DUPFD_CLOEXEC, above));
    ::close(fd);
  }
  for (std::size_t i = 0; i < high.size(); ++i) {
    if (high[i] < 0 || dup2(high[i], wanted[i]) < 0) return false;
    ::close(high[i]);
  }
  return true;
}

// The command as the slot's box sends it: the descriptors' numbers, the
// arguments, the environment.
std::vector<std::string> command_message(const std::vector<std::string>& args, const std::vector<int>& keep,
                                         const std::vector<std::string>& env) {
  std::vector<std::string> f = {std::to_string(keep.size())};
  for (int fd : keep) f.push_back(std::to_string(fd));
  f.push_back(std::to_string(args.size()));
  f.insert(f.end(), args.begin(), args.end());
  f.insert(f.end(), env.begin(), env.end());
  return f;
}

bool parse_count(const std::vector<std::string>& f, std::size_t at, std::size_t& count) {
  if (at >= f.size()) return false;
  char* end = nullptr;
  unsigned long value = std::strtoul(f[at].c_str(), &end, 10);
  count = value;
  return end && *end == '\0' && value <= f.size();
}

// A prepared first process: it leaves the terminal's signals and every
// descriptor of ours behind, joins what the guards prepared and waits
// for its command; then it goes on as any first process.
[[noreturn]] void wait_for_command(const Sandbox& sandbox, BoxInfo info, int socket, pid_t parent) {
  setsid();
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != parent) _exit(0);
  std::vector<int> keep = {socket};
  sandbox.guards().prepared_fds(info.slot, keep);
  close_all_but(keep);
  if (!sandbox.guards().join_prepared(info.slot)) _exit(126);
  std::vector<std::string> f;
  std::vector<int> got, wanted;
  if (!box_protocol::receive(socket, f, got)) _exit(0);
  ::close(socket);
  std::size_t fds = 0, args = 0;
  if (!parse_count(f, 0, fds) || !parse_count(f, fds + 1, args) || fds + 2 + args > f.size()) _exit(126);
  for (std::size_t i = 1; i <= fds; ++i) wanted.push_back(std::atoi(f[i].c_str()));
  if (!place_descriptors(got, wanted)) _exit(126);
  std::vector<char*> argv, envp;
  for (std::size_t i = fds + 2; i < f.size(); ++i) (i < fds + 2 + args ? argv : envp).push_back(f[i].data());
  argv.push_back(nullptr);
  envp.push_back(nullptr);
  info.prepared = true;
  exec_first(sandbox, info, argv, envp, wanted);
}

}  // namespace

Box::Box(Sandbox& sandbox, int slot, std::string folder) : sandbox_(sandbox) {
  info_.slot = slot;
  info_.user = sandbox.root() ? sandbox.slot_uid(slot) : getuid();
  info_.folder = std::move(folder);
  info_.bwrap = sandbox.in_use();
}

Box::~Box() { close(); }

std::vector<std::string> Box::bwrap_command(int socket_fd, int supervisor_fd, const std::vector<std::string>& extra) {
  std::vector<std::string> a = sandbox_.bwrap_common();
  a.insert(a.end(), extra.begin(), extra.end());
  a.insert(a.end(), {"--bind", info_.folder, info_.folder});
  if (!sandbox_.root()) {
    // As a user the box's folder is one of the host's: what a run writes
    // goes into a tmpfs of its own in the box, bounded.
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(info_.folder, ec))
      if (e.path().filename().string().starts_with("w"))
        a.insert(a.end(), {"--perms", "0700", "--size", std::to_string(kOwnFolderMb << 20), "--tmpfs", e.path()});
  }
  a.insert(a.end(), {"--perms", "0555", "--ro-bind-data", std::to_string(supervisor_fd), "/zekobox", "--remount-ro",
                     "/", "--chdir", info_.folder, "--", "/zekobox", std::to_string(socket_fd), "pid1"});
  return a;
}

std::vector<std::string> Box::first_command(int socket_fd, int supervisor_fd, const std::vector<std::string>& extra) {
  if (info_.bwrap) return bwrap_command(socket_fd, supervisor_fd, extra);
  std::vector<std::string> a = {sandbox_.supervisor(), std::to_string(socket_fd), "plain"};
  if (sandbox_.root()) a.push_back(std::to_string(info_.user));
  return a;
}

bool Box::open(const std::vector<std::string>& subfolders) {
  opened_ = true;
  if (sandbox_.supervisor().empty()) return false;
  if (::mkdir(info_.folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
  if (sandbox_.root()) {
    mounted_ = mount_limited(info_.folder, info_.user);
    if (!mounted_ && !hand_over(info_.folder)) return false;
  }
  for (const std::string& sub : subfolders) {
    std::string path = info_.folder + "/" + sub;
    if (::mkdir(path.c_str(), 0700) != 0 || !hand_over(path)) return false;
  }
  std::vector<std::string> extra;
  std::vector<int> keep;
  info_.prepared = sandbox_.prepared(info_.slot).pid > 0;
  bool guarded = sandbox_.guards().before_start(info_, extra, keep);
  const std::size_t guards_fds = keep.size();
  int pair[2];
  bool started = false;
  if (guarded && socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) == 0) {
    control_ = pair[0];
    int supervisor_fd = info_.bwrap ? ::open(sandbox_.supervisor().c_str(), O_RDONLY | O_CLOEXEC) : -1;
    keep.push_back(pair[1]);
    if (supervisor_fd >= 0) keep.push_back(supervisor_fd);
    if (!info_.bwrap || supervisor_fd >= 0) {
      std::vector<std::string> command = first_command(pair[1], supervisor_fd, extra);
      started = info_.prepared ? release_prepared(command, keep) : start_first(command, keep);
    }
    ::close(pair[1]);
    if (supervisor_fd >= 0) ::close(supervisor_fd);
  }
  for (std::size_t i = 0; i < guards_fds; ++i) ::close(keep[i]);
  if (started) prepare_next();
  return started;
}

// The slot's next box gets its first process now: what its start waits
// for (joining a fresh cgroup takes a kernel-wide lock whose first taker
// waits for the other CPUs) happens while this box is at work.
void Box::prepare_next() {
  PreparedFirst& next = sandbox_.prepared(info_.slot);
  int pair[2];
  if (next.pid > 0 || socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) return;
  sandbox_.guards().before_prepare(info_.slot);
  const pid_t parent = getpid();
  pid_t pid = fork();
  if (pid == 0) wait_for_command(sandbox_, info_, pair[1], parent);
  ::close(pair[1]);
  if (pid < 0) {
    ::close(pair[0]);
    sandbox_.guards().drop_prepared(info_.slot);
    return;
  }
  next = {pid, pair[0]};
  sandbox_.first_processes().insert(pid);
}

// The slot's prepared first process gets its command and becomes the box's.
bool Box::release_prepared(const std::vector<std::string>& args, const std::vector<int>& keep) {
  PreparedFirst& p = sandbox_.prepared(info_.slot);
  bool sent = box_protocol::send(p.socket, command_message(args, keep, minimal_environment(info_.folder)), keep);
  ::close(p.socket);
  info_.first = p.pid;  // ended and reaped by close() as any first process
  p = PreparedFirst {};
  return sent;
}

bool Box::start_first(const std::vector<std::string>& args, const std::vector<int>& keep) {
  std::vector<std::string> env = minimal_environment(info_.folder);
  std::vector<char*> argv, envp;
  std::vector<std::string> a = args;
  for (auto& s : a) argv.push_back(s.data());
  argv.push_back(nullptr);
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  pid_t pid = fork();
  if (pid == 0) exec_first(sandbox_, info_, argv, envp, keep);
  if (pid < 0) return false;
  info_.first = pid;
  sandbox_.first_processes().insert(pid);
  return true;
}

bool Box::start(const BoxJob& job, int& out_fd) {
  int out[2];
  if (control_ < 0 || pipe2(out, O_CLOEXEC) != 0) return false;
  const ChildLimits& l = job.limits;
  std::vector<std::string> f = {
      "start",
      std::to_string(l.cpu_seconds),
      std::to_string(l.cpu_seconds == RLIM_INFINITY ? RLIM_INFINITY : l.cpu_seconds + 1),
      std::to_string(l.memory_bytes),
      std::to_string(l.file_bytes),
      std::to_string(sandbox_.job_processes()),
      job.cwd,
      std::to_string(job.command.size())};
  f.insert(f.end(), job.command.begin(), job.command.end());
  std::vector<std::string> env = minimal_environment(job.cwd);
  f.insert(f.end(), env.begin(), env.end());
  f.insert(f.end(), job.env.begin(), job.env.end());
  std::vector<int> fds = {out[1]};
  if (job.calls >= 0 && job.answers >= 0) fds.insert(fds.end(), {job.calls, job.answers});
  bool sent = box_protocol::send(control_, f, fds);
  ::close(out[1]);
  if (!sent) {
    ::close(out[0]);
    return false;
  }
  fcntl(out[0], F_SETFL, O_NONBLOCK);
  out_fd = out[0];
  return true;
}

void Box::kill_job() {
  if (control_ >= 0) box_protocol::send(control_, {"kill"});
}

bool Box::take_end(int& status) {
  if (control_ < 0) return false;
  std::vector<std::string> fields;
  std::vector<int> fds;
  bool got = box_protocol::receive(control_, fields, fds);
  for (int fd : fds) ::close(fd);
  if (!got) {  // the box went: its job with it
    ::close(control_);
    control_ = -1;
    status = SIGKILL;
    return true;
  }
  if (fields.size() != 2 || fields[0] != "end") return false;
  char* end = nullptr;
  long value = std::strtol(fields[1].c_str(), &end, 10);
  status = end && *end == '\0' && value >= 0 && value <= 0xffff ? static_cast<int>(value) : SIGKILL;
  return true;
}

bool Box::run_to_end(const BoxJob& job, long ms, int& status) {
  int out = -1;
  if (!start(job, out)) return false;
  long deadline = now_ms() + ms;
  bool ended = false, killed = false;
  while (!ended) {
    long left = deadline - now_ms();
    if (left <= 0 && killed) break;
    if (left <= 0) {
      kill_job();
      killed = true;
      deadline = now_ms() + 1000;
      continue;
    }
    pollfd fds[2] = {{control_, POLLIN, 0}, {out, POLLIN, 0}};
    if (poll(fds, 2, static_cast<int>(std::min(left, 100L))) < 0 && errno != EINTR) break;
    char buf[512];
    while (out >= 0 && ::read(out, buf, sizeof buf) > 0) {
    }
    if (fds[0].revents) ended = take_end(status);
  }
  ::close(out);
  return ended && !killed;
}

void Box::wait_first() {
  if (info_.first <= 0) return;
  // The supervisor ends everything once its socket closes; one that does
  // not within two seconds is ended (bubblewrap takes the box's name spaces
  // with it). Its end is waited for on a descriptor of the process.
  int pidfd = static_cast<int>(syscall(SYS_pidfd_open, info_.first, 0));
  if (pidfd >= 0) {
    pollfd p {pidfd, POLLIN, 0};
    while (poll(&p, 1, 2000) < 0 && errno == EINTR) {
    }
    if (!(p.revents & POLLIN)) kill(info_.first, SIGKILL);
    ::close(pidfd);
  } else {
    for (long waited = 0; waited < 2000; waited += 5) {
      if (waitpid(info_.first, nullptr, WNOHANG) != 0) return;
      pause_ms(5);
    }
    kill(info_.first, SIGKILL);
  }
  while (waitpid(info_.first, nullptr, 0) < 0 && errno == EINTR) {
  }
}

void Box::close() {
  if (!opened_) return;
  opened_ = false;
  if (control_ >= 0) ::close(control_);
  control_ = -1;
  wait_first();
  sandbox_.first_processes().erase(info_.first);
  // In bubblewrap every process of the box was in its pid name space, which
  // ended with its init; without it, as root, the slot's user may have
  // processes outside the supervisor's tree.
  end_left_processes(sandbox_.root() && !info_.bwrap ? info_.user : 0, sandbox_.first_processes());
  // Without the sandbox the slot's user could write to the shared places
  // and make IPC objects: what it owns there goes.
  if (sandbox_.root() && !info_.bwrap) remove_owned_by(info_.user);
  sandbox_.guards().at_end(info_);
  if (mounted_) ::umount2(info_.folder.c_str(), MNT_DETACH);
  mounted_ = false;
  remove_tree(info_.folder);
  info_.first = -1;
}

bool Box::hand_over(const std::string& path) const {
  if (!sandbox_.root()) return true;
  if (::lchown(path.c_str(), info_.user, info_.user) != 0) return false;
  std::error_code ec;
  if (fs::is_directory(fs::symlink_status(path, ec)))
    for (const auto& e : fs::directory_iterator(path, ec))
      if (::lchown(e.path().c_str(), info_.user, info_.user) != 0) return false;
  return !ec;
}

bool Box::copy_in(const std::string& from, const std::string& to, bool executable) const {
  std::error_code ec;
  fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
  if (ec) return false;
  ::chmod(to.c_str(), executable ? 0700 : 0600);
  return hand_over(to);
}

}  // namespace zekocheck
