#include "sandbox.h"

#include "compile_command.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace zekocheck {
namespace {

// First uid of the slots' users: above every usual range, with room for the
// process id (at most 2^22) times 256 slots, so that two checks running at
// the same time never share a user.
constexpr uid_t kSlotUidBase = 0x40000000;

std::string find_in_path(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path ? path : "/usr/bin:/bin");
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return "";
}

void set_limit(int resource, rlim_t value) {
  rlimit r {value, value};
  setrlimit(resource, &r);
}

void pause_ms(long ms) {
  timespec t {ms / 1000, (ms % 1000) * 1000000L};
  nanosleep(&t, nullptr);
}

struct ProcessInfo {
  pid_t pid, ppid, sid;
  uid_t uid;
};

// A small file of /proc, read with plain calls: a process that goes while
// it is read gives an error, not an exception.
std::string read_proc(const std::string& path) {
  std::string text;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return text;
  char buf[4096];
  ssize_t n;
  while ((n = ::read(fd, buf, sizeof buf)) > 0 && text.size() < 65536) text.append(buf, static_cast<std::size_t>(n));
  ::close(fd);
  return text;
}

// Every process we can see, from /proc.
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

// kill(-1) as the slot's user reaches exactly that user's processes,
// wherever they hide (other sessions, other pid name spaces). True when the
// user still owns a process besides the killer (a dying one or one not yet
// reaped counts): allowed two processes, the killer cannot fork then.
bool kill_user(uid_t uid) {
  pid_t pid = fork();
  if (pid == 0) {
    if (setresgid(uid, uid, uid) != 0 || setresuid(uid, uid, uid) != 0) _exit(2);
    kill(-1, SIGKILL);
    set_limit(RLIMIT_NPROC, 2);
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

// Our children, as the kernel lists them (one small file); false where the
// kernel keeps no such list.
bool listed_children(std::vector<pid_t>& children) {
  const std::string list = "/proc/self/task/" + std::to_string(getpid()) + "/children";
  if (::access(list.c_str(), R_OK) != 0) return false;
  std::istringstream pids(read_proc(list));
  for (long pid; pids >> pid;) children.push_back(static_cast<pid_t>(pid));
  return true;
}

// A regular file copied, owned by `uid` when root.
bool copy_in(const std::string& from, const std::string& to, uid_t uid, bool root) {
  std::error_code ec;
  fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
  if (ec) return false;
  if (root && ::chown(to.c_str(), uid, uid) != 0) return false;
  return true;
}

// Every ancestor lets others pass: the slots' users reach the folder.
bool others_can_pass(const fs::path& dir) {
  for (fs::path p = dir; !p.empty(); p = p.parent_path()) {
    struct stat st {};
    if (::stat(p.c_str(), &st) != 0 || !(st.st_mode & S_IXOTH)) return false;
    if (p == p.root_path()) break;
  }
  return true;
}

// The folders the compile and the run need of Zeko: zekoc's own, and the
// unit's, the library's and the header's as the compile library finds them
// beside this program (the build tree's or the installed ones).
std::vector<std::string> zekoc_dirs(const std::string& zekoc) {
  std::vector<std::string> dirs;
  auto add = [&](const fs::path& dir) {
    std::error_code ec;
    fs::path real = fs::canonical(dir, ec);
    if (!ec && std::find(dirs.begin(), dirs.end(), real.string()) == dirs.end()) dirs.push_back(real);
  };
  std::error_code ec;
  fs::path self = fs::canonical(zekoc, ec);
  if (!ec) add(self.parent_path());
  zeko::compile::Layout layout =
      zeko::compile::find_layout(fs::read_symlink("/proc/self/exe", ec).parent_path().string());
  for (const std::string& dir : {layout.unit_dir, layout.lib_dir, layout.include_dir})
    if (!dir.empty()) add(dir);
  return dirs;
}

}  // namespace

std::vector<std::string> minimal_environment(const std::string& own) {
  const char* lang = std::getenv("LANG");
  std::vector<std::string> env = {"PATH=/usr/local/bin:/usr/bin:/bin",
                                  std::string("LANG=") + (lang && *lang ? lang : "C.UTF-8"), "HOME=" + own,
                                  "TMPDIR=" + own};
  for (const char* name : {"LC_ALL", "ZEKOC_FPC", "LD_PRELOAD", "ASAN_OPTIONS", "UBSAN_OPTIONS"})
    if (const char* v = std::getenv(name); v && *v) env.push_back(std::string(name) + "=" + v);
  return env;
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

Sandbox::Sandbox(bool wanted, std::string base, int slots, std::string zekoc, const BoxGuard& guard)
    : guard_(guard), base_(std::move(base)), zekoc_(std::move(zekoc)), root_(geteuid() == 0),
      slots_(std::max(1, slots)) {
  if (root_) {
    // The slot's user has nothing else: its limit is the run's own, plus
    // bubblewrap's two processes around the program (the limit counts in
    // the sandbox's user name space too, so no prlimit is needed inside).
    outer_processes_ = kProcessesPerRun + 2;
  } else {
    // Our processes now, and room for every slot's sandbox beside them.
    rlim_t count = 0;
    for (const ProcessInfo& p : processes())
      if (p.uid == getuid()) ++count;
    outer_processes_ = count + static_cast<rlim_t>(slots_) * (kProcessesPerRun + 16) + 64;
    rlimit own {};
    if (getrlimit(RLIMIT_NPROC, &own) == 0 && own.rlim_cur != RLIM_INFINITY && own.rlim_cur < outer_processes_)
      outer_processes_ = own.rlim_cur;
  }
  zeko_dirs_ = zekoc_dirs(zekoc_);
  for (const std::string& dir : zeko_dirs_)
    if (root_ && !others_can_pass(dir))
      unreachable_ = "Hinweis: als root uebersetzen und laufen die Programme unter eigenen Benutzern; " + dir +
                     " ist fuer sie nicht erreichbar (ein Ordner darueber ohne x-Recht fuer andere).";
  // Whatever a job leaves running in the background comes to us, not to
  // init, and is ended with the job.
  prctl(PR_SET_CHILD_SUBREAPER, 1);
  if (!wanted) return;
  bwrap_ = find_in_path("bwrap");
  if (bwrap_.empty())
    note_ = "Hinweis: bwrap (bubblewrap) ist nicht installiert; die Programme laufen ohne Sandbox, "
            "nur mit ihren Grenzen.";
  else if (base_.empty() || !probe())
    note_ = "Hinweis: bwrap (bubblewrap) laeuft hier nicht; die Programme laufen ohne Sandbox, "
            "nur mit ihren Grenzen.";
}

uid_t Sandbox::slot_uid(int slot) const {
  return kSlotUidBase + (static_cast<uid_t>(getpid()) << 8) + static_cast<uid_t>(slot);
}

// The same mounts and name spaces as a real run (a container may allow
// some of them and not others), as the slot's user.
bool Sandbox::probe() {
  use_bwrap_ = true;
  Job job;
  job.own = base_ + "/probe";
  job.command = {"/bin/true"};
  bool ok = prepare(job);
  int fd = -1;
  pid_t pid = ok ? start(job, fd) : -1;
  ok = pid > 0;
  int status = 0;
  if (ok) {
    // The output ends when the probe ends; one that hangs is ended after
    // five seconds.
    bool ended = false;
    for (int rounds = 0; rounds < 50 && !ended; ++rounds) {
      pollfd p {fd, POLLIN, 0};
      if (poll(&p, 1, 100) < 0 && errno != EINTR) break;
      char buf[512];
      ssize_t n;
      while ((n = ::read(fd, buf, sizeof buf)) > 0) {
      }
      ended = n == 0;
    }
    if (!ended) kill(-pid, SIGKILL);
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    ::close(fd);
    stop(job, pid);
  }
  clear(job);
  use_bwrap_ = ok && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return use_bwrap_;
}

// A tmpfs of our own (root only): its size and its number of files are
// limited, and unmounting it takes every file with it at once.
bool mount_limited(const std::string& dir, long kilobytes, long inodes, uid_t uid) {
  std::string options = "size=" + std::to_string(kilobytes) + "k,nr_inodes=" + std::to_string(inodes) +
                        ",mode=0700,uid=" + std::to_string(uid) + ",gid=" + std::to_string(uid);
  return ::mount("zekocheck", dir.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) == 0 ||
         ::chown(dir.c_str(), uid, uid) == 0;
}

bool Sandbox::prepare(const Job& job) {
  uid_t uid = slot_uid(job.slot);
  if (::mkdir(job.own.c_str(), 0700) != 0 && errno != EEXIST) return false;
  if (root_ && !mount_limited(job.own, kOwnFolderMb * 1024, kOwnFolderInodes, uid)) return false;
  for (const auto& [from, name] : job.own_files)
    if (!copy_in(from, job.own + "/" + name, uid, root_)) return false;
  return true;
}

bool Sandbox::hand_over(const Job& job, const std::string& dir) const {
  if (!root_) return true;
  uid_t uid = slot_uid(job.slot);
  if (::chown(dir.c_str(), uid, uid) != 0) return false;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(dir, ec))
    if (::lchown(e.path().c_str(), uid, uid) != 0) return false;
  return !ec;
}

// What every job's bubblewrap command starts with: the same for the whole
// check, so it is put together once.
const std::vector<std::string>& Sandbox::bwrap_common() {
  if (!common_.empty()) return common_;
  std::vector<std::string>& a = common_;
  a = {bwrap_, "--unshare-all", "--unshare-user", "--disable-userns", "--die-with-parent", "--new-session",
       "--cap-drop", "ALL", "--ro-bind", "/usr", "/usr"};
  for (const char* top : {"/bin", "/sbin", "/lib", "/lib32", "/lib64", "/libx32"}) {
    std::error_code ec;
    if (fs::is_symlink(top, ec)) a.insert(a.end(), {"--symlink", fs::read_symlink(top, ec).string(), top});
    else if (fs::is_directory(top, ec)) a.insert(a.end(), {"--ro-bind", top, top});
  }
  // What the dynamic loader and the compiler read from /etc.
  std::vector<std::string> etc = {"/etc/ld.so.cache", "/etc/ld.so.conf", "/etc/ld.so.conf.d", "/etc/alternatives",
                                  "/etc/fpc.cfg"};
  std::error_code ec;
  for (const auto& e : fs::directory_iterator("/etc", ec))
    if (e.path().filename().string().starts_with("fpc-")) etc.push_back(e.path());
  for (const std::string& e : etc)
    if (fs::exists(e, ec)) a.insert(a.end(), {"--ro-bind", e, e});
  a.insert(a.end(), {"--proc", "/proc", "--dev", "/dev", "--perms", "1777", "--size",
                     std::to_string(kShmMb << 20), "--tmpfs", "/dev/shm"});
  guard_.add_bwrap_arguments(a);
  std::vector<std::string> readable = zeko_dirs_;
  if (const char* preload = std::getenv("LD_PRELOAD")) {
    std::stringstream list(preload);
    for (std::string lib; std::getline(list, lib, ':');)
      if (lib.starts_with("/")) readable.push_back(lib);
  }
  // Zeko's folders below /usr (an installed Zeko) are there already.
  for (const std::string& r : readable)
    if (!r.starts_with("/usr/") && fs::exists(r, ec)) a.insert(a.end(), {"--ro-bind", r, r});
  return a;
}

std::vector<std::string> Sandbox::bwrap_command(const Job& job) {
  std::vector<std::string> a = bwrap_common();
  std::error_code ec;
  for (const std::string& r : job.readable)
    if (fs::exists(r, ec)) a.insert(a.end(), {"--ro-bind", r, r});
  if (root_ || job.compile) {
    a.insert(a.end(), {"--bind", job.own, job.own});
  } else {
    // The own folder lives only in the sandbox; the files it starts with
    // are shown read-only.
    a.insert(a.end(), {"--perms", "0700", "--size", std::to_string(kOwnFolderMb << 20), "--tmpfs", job.own});
    for (const auto& f : job.own_files) {
      std::string at = job.own + "/" + f.second;
      a.insert(a.end(), {"--ro-bind", at, at});
    }
  }
  a.insert(a.end(), {"--remount-ro", "/", "--chdir", job.cwd.empty() ? job.own : job.cwd, "--"});
  // A user's limit counts all of the user's processes: the run's own is set
  // inside, where only the sandbox's count.
  if (!root_) a.insert(a.end(), {"/usr/bin/prlimit", "--nproc=" + std::to_string(kProcessesPerRun), "--"});
  a.insert(a.end(), job.command.begin(), job.command.end());
  return a;
}

pid_t Sandbox::start(const Job& job, int& out_fd) {
  std::vector<std::string> args = use_bwrap_ ? bwrap_command(job) : job.command;
  std::vector<std::string> env = minimal_environment(job.own);
  env.insert(env.end(), job.env.begin(), job.env.end());
  std::vector<char*> argv, envp;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  uid_t uid = slot_uid(job.slot);
  rlim_t processes = use_bwrap_ ? outer_processes_ : root_ ? kProcessesPerRun : outer_processes_;
  int pipe_fds[2];
  if (pipe2(pipe_fds, O_CLOEXEC) != 0) return -1;
  pid_t pid = fork();
  if (pid < 0) {
    ::close(pipe_fds[0]);
    ::close(pipe_fds[1]);
    return -1;
  }
  if (pid == 0) {
    setsid();
    int null_fd = ::open("/dev/null", O_RDONLY);
    dup2(null_fd, 0);
    dup2(pipe_fds[1], 1);
    dup2(pipe_fds[1], 2);
    // The descriptors the job gets, at their numbers (first out of the way
    // of each other); bwrap passes them on as they are.
    int high[8];
    if (job.pass.size() > std::size(high)) _exit(126);
    for (std::size_t i = 0; i < job.pass.size(); ++i) high[i] = fcntl(job.pass[i].first, F_DUPFD_CLOEXEC, 100);
    for (std::size_t i = 0; i < job.pass.size(); ++i)
      if (high[i] < 0 || dup2(high[i], job.pass[i].second) < 0) _exit(126);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    for (int sig : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGCHLD}) signal(sig, SIG_DFL);
    if (::chdir((job.cwd.empty() ? job.own : job.cwd).c_str()) != 0) _exit(126);
    set_limit(RLIMIT_CORE, 0);
    rlimit cpu {job.limits.cpu_seconds, job.limits.cpu_seconds == RLIM_INFINITY ? RLIM_INFINITY
                                                                                 : job.limits.cpu_seconds + 1};
    setrlimit(RLIMIT_CPU, &cpu);
    if (job.limits.memory_bytes) set_limit(RLIMIT_AS, job.limits.memory_bytes);
    set_limit(RLIMIT_FSIZE, job.limits.file_bytes);
    if (processes != RLIM_INFINITY) set_limit(RLIMIT_NPROC, processes);
    if (root_ && (setgroups(0, nullptr) != 0 || setresgid(uid, uid, uid) != 0 || setresuid(uid, uid, uid) != 0))
      _exit(126);
    prctl(PR_SET_PDEATHSIG, SIGKILL);  // after the change of user, which clears it
    prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0);
    if (!guard_.enter(job.guarded, use_bwrap_)) _exit(126);
    execve(argv[0], argv.data(), envp.data());
    const char* text = "zekocheck: Programm nicht ausfuehrbar\n";
    [[maybe_unused]] ssize_t n = ::write(2, text, std::strlen(text));
    _exit(127);
  }
  ::close(pipe_fds[1]);
  fcntl(pipe_fds[0], F_SETFL, O_NONBLOCK);
  out_fd = pipe_fds[0];
  started_.insert(pid);
  return pid;
}

// What a job left with us: our children that are no job's first process
// (we are the subreaper, so whatever outlives its parent comes here). Where
// the kernel lists no children, a walk over /proc finds them, and ends the
// session's other processes on the way.
std::vector<pid_t> Sandbox::adopted(pid_t session) const {
  std::vector<pid_t> children, left;
  if (!listed_children(children))
    for (const ProcessInfo& p : processes()) {
      if (session > 0 && p.sid == session && p.pid != session) kill(p.pid, SIGKILL);
      if (p.ppid == getpid()) children.push_back(p.pid);
    }
  for (pid_t pid : children)
    if (!started_.count(pid)) left.push_back(pid);
  return left;
}

void Sandbox::stop(const Job& job, pid_t session) {
  started_.erase(session);
  kill(-session, SIGKILL);
  const uid_t uid = slot_uid(job.slot);
  // Round by round: every process of the slot's user (root), and what
  // landed with us, ended and reaped; the ones that left the session land
  // here when their parent goes. As root, the slot's user must own no
  // process before its next job (a killed process may take a moment to go).
  long pause = 0;
  for (int round = 0; round < 1000; ++round) {
    bool user_left = root_ && kill_user(uid);
    std::vector<pid_t> left = adopted(session);
    for (pid_t pid : left) {
      kill(pid, SIGKILL);
      while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
      }
    }
    if (!left.empty()) continue;
    if (!user_left || pause >= 2048) break;
    pause = pause ? pause * 2 : 1;
    pause_ms(pause);
  }
}

void Sandbox::end_adopted() {
  for (pid_t pid : adopted(0)) {
    kill(pid, SIGKILL);
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
}

void Sandbox::clear(const Job& job) {
  if (root_) {
    ::umount2(job.own.c_str(), MNT_DETACH);
    if (!use_bwrap_) {
      // Without the sandbox the slot's user could write to the shared
      // places; what it owns there goes.
      uid_t uid = slot_uid(job.slot);
      for (const char* shared : {"/dev/shm", "/tmp", "/var/tmp", "/dev/mqueue"}) {
        DIR* dir = opendir(shared);
        if (!dir) continue;
        std::vector<std::string> mine;
        while (dirent* e = readdir(dir)) {
          struct stat st {};
          std::string path = std::string(shared) + "/" + e->d_name;
          if (e->d_name[0] != '.' || (std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, "..")))
            if (::lstat(path.c_str(), &st) == 0 && st.st_uid == uid) mine.push_back(path);
        }
        closedir(dir);
        for (const std::string& m : mine) remove_tree(m);
      }
    }
  }
  remove_tree(job.own);
}

}  // namespace zekocheck
