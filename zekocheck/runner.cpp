#include "runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "check_channel.h"
#include "compile_job.h"
#include "same_source.h"

extern char** environ;

namespace fs = std::filesystem;

namespace zekocheck {
namespace {

constexpr long kCompileSeconds = 60;
// The check channel's number in a run; what one look at it reads at most.
constexpr int kChannelFd = 3;
constexpr std::size_t kChannelReadLimit = 1 << 20;

// SIGCHLD and an interrupt of zekocheck itself wake the loop through this pipe.
int g_wake[2] = {-1, -1};
volatile sig_atomic_t g_interrupted = 0;

void wake(int signal_number) {
  int saved = errno;
  if (signal_number != SIGCHLD) g_interrupted = signal_number;
  char c = 0;
  [[maybe_unused]] ssize_t n = ::write(g_wake[1], &c, 1);
  errno = saved;
}

long now_ms() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1000L + t.tv_nsec / 1000000L;
}

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

std::string read_small(const std::string& path, std::size_t limit) {
  std::ifstream in(path, std::ios::binary);
  std::string text(limit, '\0');
  in.read(text.data(), static_cast<std::streamsize>(limit));
  text.resize(static_cast<std::size_t>(in.gcount()));
  return text;
}

struct Launch {
  std::vector<std::string> argv;
  std::vector<std::string> env;
  std::string dir;
  bool limited = false;  // a learner program: the resource limits apply
  int channel = -1;      // the run's end of its check channel, as kChannelFd
};

struct ResourceLimits {
  rlim_t cpu_seconds, memory_bytes, file_bytes, processes;
};

void set_limit(int resource, rlim_t value) {
  rlimit r {value, value};
  setrlimit(resource, &r);
}

// Processes of the real user now; a limit a little above keeps a fork bomb
// small without stopping the teacher's own programs (root is not limited).
rlim_t process_allowance() {
  if (getuid() == 0) return RLIM_INFINITY;
  rlim_t count = 0;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator("/proc", ec)) {
    struct stat st {};
    const std::string name = entry.path().filename();
    if (!name.empty() && std::isdigit(static_cast<unsigned char>(name[0])) &&
        ::stat(entry.path().c_str(), &st) == 0 && st.st_uid == getuid())
      ++count;
  }
  return count + 64;
}

// Starts the child in a session and process group of its own; standard
// input is /dev/null, output and error go into one pipe.
pid_t spawn(const Launch& launch, const ResourceLimits& limits, int& out_fd) {
  std::vector<char*> argv, envp;
  for (const auto& a : launch.argv) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  for (const auto& e : launch.env) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);
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
    if (launch.channel == kChannelFd) fcntl(kChannelFd, F_SETFD, 0);
    else if (launch.channel >= 0) dup2(launch.channel, kChannelFd);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    for (int sig : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGCHLD}) signal(sig, SIG_DFL);
    if (::chdir(launch.dir.c_str()) != 0) _exit(126);
    set_limit(RLIMIT_CORE, 0);
    if (launch.limited) {
      rlimit cpu {limits.cpu_seconds, limits.cpu_seconds + 1};
      setrlimit(RLIMIT_CPU, &cpu);
      if (limits.memory_bytes) set_limit(RLIMIT_AS, limits.memory_bytes);
      set_limit(RLIMIT_FSIZE, limits.file_bytes);
      if (limits.processes != RLIM_INFINITY) set_limit(RLIMIT_NPROC, limits.processes);
    }
    execve(argv[0], argv.data(), envp.data());
    const char* text = "zekocheck: Programm nicht ausfuehrbar\n";
    [[maybe_unused]] ssize_t n = ::write(2, text, std::strlen(text));
    _exit(127);
  }
  ::close(pipe_fds[1]);
  fcntl(pipe_fds[0], F_SETFL, O_NONBLOCK);
  out_fd = pipe_fds[0];
  return pid;
}

void reap_quietly(pid_t pid) {
  while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
  }
}

// Our own children that outlived their group (adopted through the
// subreaper setting): ended and reaped.
void end_adopted_children() {
  std::error_code ec;
  std::string me = std::to_string(getpid());
  for (const auto& entry : fs::directory_iterator("/proc", ec)) {
    const std::string name = entry.path().filename();
    if (name.empty() || !std::isdigit(static_cast<unsigned char>(name[0]))) continue;
    std::string stat = read_small(entry.path().string() + "/stat", 512);
    std::size_t close_paren = stat.rfind(')');
    if (close_paren == std::string::npos) continue;
    std::istringstream fields(stat.substr(close_paren + 1));
    std::string state, ppid;
    fields >> state >> ppid;
    if (ppid != me) continue;
    pid_t pid = std::atoi(name.c_str());
    kill(pid, SIGKILL);
    reap_quietly(pid);
  }
}

// Environment of the children: ours without the check-mode variables, which
// only the runs get.
std::vector<std::string> base_environment() {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    std::string_view v(*e);
    if (v.starts_with("ZEKO_PRUEFEN=") || v.starts_with("ZEKO_PRUEFWELT=") || v.starts_with("ZEKO_MAX_BEFEHLE=") ||
        v.starts_with(std::string(zeko::check_channel::kEnvironment) + "="))
      continue;
    env.emplace_back(v);
  }
  return env;
}

bool probe_bwrap(const std::string& bwrap, const std::string& hidden) {
  Launch launch;
  // The same mounts and name spaces as a real run (a container may allow
  // some of them and not others).
  launch.argv = {bwrap, "--ro-bind", "/", "/", "--dev", "/dev", "--proc", "/proc", "--tmpfs", hidden,
               "--unshare-all", "--die-with-parent", "--new-session", "--", "/bin/true"};
  launch.env = base_environment();
  launch.dir = "/";
  int fd = -1;
  pid_t pid = spawn(launch, ResourceLimits {}, fd);
  if (pid < 0) return false;
  // The probe's output ends when it ends; then it is reaped. One that hangs
  // is ended after five seconds.
  int status = 0;
  long deadline = now_ms() + 5000;
  bool ended = false;
  while (!ended) {
    long left = deadline - now_ms();
    pollfd p {fd, POLLIN, 0};
    if (left <= 0 || (poll(&p, 1, static_cast<int>(left)) < 0 && errno != EINTR)) break;
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
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Removes a folder tree also when a program took away its own permissions.
void remove_tree(const std::string& path) {
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(path, fs::directory_options::skip_permission_denied, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
    if (it->is_directory(ec)) ::chmod(it->path().c_str(), 0700);
  fs::remove_all(path, ec);
}

}  // namespace

std::string source_copy(const Program& program) {
  return "programm" + fs::path(program.path).extension().string();
}

Runner::Runner(Limits limits, std::string zekoc) : limits_(limits), zekoc_(std::move(zekoc)) {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/zekocheck.XXXXXX";
  if (mkdtemp(pattern.data())) base_ = pattern;
  if (!limits_.sandbox) return;
  bwrap_ = find_in_path("bwrap");
  if (bwrap_.empty())
    sandbox_note_ = "Hinweis: bwrap (bubblewrap) ist nicht installiert; die Programme laufen ohne Sandbox, "
                    "nur mit ihren Grenzen.";
  else if (base_.empty() || !probe_bwrap(bwrap_, base_))
    sandbox_note_ = "Hinweis: bwrap (bubblewrap) laeuft hier nicht; die Programme laufen ohne Sandbox, "
                    "nur mit ihren Grenzen.";
  else
    use_bwrap_ = true;
}

Runner::~Runner() {
  if (!base_.empty()) remove_tree(base_);
}

void Runner::run_all(std::vector<Program>& programs, const std::vector<World>& start_worlds) {
  if (pipe2(g_wake, O_CLOEXEC | O_NONBLOCK) != 0) return;
  struct sigaction sa {};
  sa.sa_handler = wake;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART | SA_NOCLDSTOP;
  struct sigaction old_chld {}, old_int {}, old_term {}, old_hup {};
  sigaction(SIGCHLD, &sa, &old_chld);
  sigaction(SIGINT, &sa, &old_int);
  sigaction(SIGTERM, &sa, &old_term);
  sigaction(SIGHUP, &sa, &old_hup);
  prctl(PR_SET_CHILD_SUBREAPER, 1);

  ResourceLimits rl {};
  rl.cpu_seconds = static_cast<rlim_t>(std::ceil(limits_.seconds)) + 1;
  rl.memory_bytes = static_cast<rlim_t>(limits_.memory_mb) << 20;
  rl.file_bytes = static_cast<rlim_t>(limits_.file_mb) << 20;
  rl.processes = process_allowance();
  std::vector<std::string> env = base_environment();

  struct Job {
    std::size_t program;
    int pair;  // -1: compile
  };
  struct Child {
    pid_t pid;
    int fd;
    int channel = -1;  // our end of the run's check channel
    Job job;
    long started, deadline;
    bool timed_out;
    std::string output;
    bool cut;
  };
  std::deque<Job> queue;
  std::vector<Child> running;
  std::vector<std::string> exe(programs.size());

  auto program_dir = [&](std::size_t i) { return base_ + "/p" + std::to_string(i + 1); };
  auto enqueue_runs = [&](std::size_t i) {
    programs[i].runs.assign(start_worlds.size(), Run {});
    for (int k = static_cast<int>(start_worlds.size()) - 1; k >= 0; --k) queue.push_front({i, k});
  };
  for (std::size_t i = 0; i < programs.size(); ++i) {
    Program& p = programs[i];
    if (!p.unusable.empty()) continue;
    std::error_code ec;
    fs::create_directory(program_dir(i), ec);
    if (p.source) {
      fs::copy_file(p.path, program_dir(i) + "/" + source_copy(p), fs::copy_options::overwrite_existing, ec);
      if (ec) {
        p.unusable = "die Datei laesst sich nicht lesen";
        continue;
      }
      exe[i] = program_dir(i) + "/programm";
      queue.push_back({i, -1});
    } else {
      exe[i] = program_dir(i) + "/programm";
      fs::copy_file(p.path, exe[i], fs::copy_options::overwrite_existing, ec);
      if (!ec) fs::permissions(exe[i], fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                            fs::perms::others_read | fs::perms::others_exec, ec);
      if (ec) {
        p.unusable = "das Programm laesst sich nicht lesen";
        continue;
      }
      enqueue_runs(i);
    }
  }
  // Identical sources are compiled once; the others wait for that compile.
  std::vector<bool> compiled(programs.size());
  for (const auto& job : queue) compiled[job.program] = compiled[job.program] || job.pair < 0;
  const std::vector<std::size_t> leader = compile_leaders(programs, compiled);
  std::erase_if(queue, [&](const auto& job) { return job.pair < 0 && leader[job.program] != job.program; });
  std::vector<std::size_t> waited_for;  // compiles that others wait for
  for (std::size_t i = 0; i < programs.size(); ++i)
    if (leader[i] != i && std::find(waited_for.begin(), waited_for.end(), leader[i]) == waited_for.end())
      waited_for.push_back(leader[i]);
  // Once such a compile has ended (failed, could not start, or its runs
  // are queued), each program that waited gets its result and a copy of
  // its executable in its own folder, and its runs.
  auto share_finished_compiles = [&] {
    std::erase_if(waited_for, [&](std::size_t from) {
      const Program& p = programs[from];
      bool ok = !p.compile_failed && p.unusable.empty();
      if (ok && p.runs.empty()) return false;  // still compiling
      for (std::size_t i = 0; i < programs.size(); ++i) {
        if (i == from || leader[i] != from) continue;
        take_compile_result(programs[from], programs[i]);
        std::error_code ec;
        if (ok) fs::copy_file(exe[from], exe[i], fs::copy_options::overwrite_existing, ec);
        if (ok && ec) programs[i].unusable = "das uebersetzte Programm laesst sich nicht kopieren";
        else if (ok) enqueue_runs(i);
      }
      return true;
    });
  };

  // The command line of a child: in bubblewrap when it works (read-only
  // system, no network, the other programs' folders hidden, only `writable`
  // writable), else as is.
  auto sandboxed = [&](const std::vector<std::string>& writable, const std::vector<std::string>& readable,
                       const std::string& dir, std::vector<std::string> command) {
    if (!use_bwrap_) return command;
    std::vector<std::string> argv = {bwrap_,   "--ro-bind", "/",   "/",      "--dev",    "/dev",   "--proc",
                                     "/proc",  "--tmpfs",   base_, "--setenv", "TMPDIR", dir};
    for (const auto& r : readable) argv.insert(argv.end(), {"--ro-bind", r, r});
    for (const auto& w : writable) argv.insert(argv.end(), {"--bind", w, w});
    argv.insert(argv.end(), {"--chdir", dir, "--unshare-all", "--die-with-parent", "--new-session", "--"});
    argv.insert(argv.end(), command.begin(), command.end());
    return argv;
  };

  auto start = [&](const Job& job) {
    Launch launch;
    launch.env = env;
    long seconds = kCompileSeconds;
    if (job.pair < 0) {
      // The compiler reads the untrusted source too: it runs in the sandbox
      // as well, writing only into the program's folder.
      launch.dir = program_dir(job.program);
      CompileLaunch compiler;
      if (compile_launch(launch.dir + "/" + source_copy(programs[job.program]), launch.dir + "/uebersetzung",
                         compiler)) {
        for (const std::string& e : compiler.env)
          if (std::none_of(launch.env.begin(), launch.env.end(),
                           [&](const std::string& v) { return v.starts_with(e.substr(0, e.find('=') + 1)); }))
            launch.env.push_back(e);
        launch.argv = sandboxed({launch.dir}, {}, compiler.dir, compiler.argv);
        launch.dir = compiler.dir;
      } else {
        launch.argv = sandboxed({launch.dir}, {}, launch.dir, {zekoc_, source_copy(programs[job.program])});
      }
    } else {
      std::string dir = program_dir(job.program) + "/w" + std::to_string(job.pair + 1);
      std::error_code ec;
      fs::create_directory(dir, ec);
      launch.dir = dir;
      launch.limited = true;
      launch.env.push_back(std::string(zeko::check_channel::kEnvironment) + "=" + std::to_string(kChannelFd));
      launch.env.push_back("ZEKO_MAX_BEFEHLE=" + std::to_string(limits_.max_commands));
      launch.argv = sandboxed({dir}, {program_dir(job.program)}, dir, {exe[job.program]});
      Run& run = programs[job.program].runs[job.pair];
      run.started = true;
      run.replay = Replay(start_worlds[job.pair], limits_.max_commands, limits_.max_commands * 10);
    }
    Child c {};
    c.job = job;
    int channel[2] = {-1, -1};
    if (job.pair >= 0 && socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, channel) == 0) {
      fcntl(channel[0], F_SETFL, O_NONBLOCK);
      launch.channel = channel[1];
      c.channel = channel[0];
    }
    c.pid = spawn(launch, rl, c.fd);
    if (channel[1] >= 0) ::close(channel[1]);
    c.started = now_ms();
    c.deadline = c.started + (job.pair < 0 ? seconds * 1000 : static_cast<long>(limits_.seconds * 1000));
    if (c.pid < 0) {
      if (c.channel >= 0) ::close(c.channel);
      Program& p = programs[job.program];
      if (job.pair < 0) {
        p.unusable = "zekoc laesst sich nicht starten";
      } else {
        p.runs[job.pair].wait_status = 127 << 8;
      }
      return;
    }
    running.push_back(std::move(c));
  };

  // Reads what the pipe holds; at its end the pipe is closed, so that it
  // is not polled again while the child is still to be reaped.
  auto drain = [&](Child& c) {
    if (c.fd < 0) return;
    char buf[8192];
    for (;;) {
      ssize_t n = ::read(c.fd, buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return;  // nothing more for now
      if (n == 0) {
        ::close(c.fd);
        c.fd = -1;
        return;
      }
      std::size_t room = kOutputLimit - std::min(kOutputLimit, c.output.size());
      c.output.append(buf, std::min(room, static_cast<std::size_t>(n)));
      if (static_cast<std::size_t>(n) > room) c.cut = true;
    }
  };

  // Serves a run's check channel without ever waiting on it: takes the
  // calls that came (at most kChannelReadLimit bytes a look), sends what
  // the replay answers as far as the socket takes it, and ends the run at
  // once when its replay says nothing can change the verdict any more.
  auto serve = [&](Child& c) {
    if (c.channel < 0) return;
    Replay& replay = programs[c.job.program].runs[c.job.pair].replay;
    char buf[65536];
    bool closed = false;
    for (std::size_t taken = 0; taken < kChannelReadLimit && !replay.stops();) {
      ssize_t n = ::read(c.channel, buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        closed = n == 0;
        break;
      }
      replay.feed(buf, static_cast<std::size_t>(n));
      taken += static_cast<std::size_t>(n);
    }
    std::string& out = replay.outgoing();
    while (!out.empty() && !closed) {
      ssize_t n = ::send(c.channel, out.data(), out.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      out.erase(0, static_cast<std::size_t>(n));
    }
    if (replay.stops()) kill(-c.pid, SIGKILL);
    if (closed || replay.stops()) {
      ::close(c.channel);
      c.channel = -1;
    }
  };

  auto finish = [&](Child& c, int status) {
    // Whatever the program left running in its group ends before the next
    // program starts: killed, and reaped as it comes to us (subreaper).
    kill(-c.pid, SIGKILL);
    for (;;) {
      pid_t left = waitpid(-c.pid, nullptr, 0);
      if (left <= 0 && errno != EINTR) break;
    }
    drain(c);
    if (c.fd >= 0) ::close(c.fd);
    for (int look = 0; look < 16 && c.channel >= 0; ++look) serve(c);  // the calls still in the socket
    if (c.channel >= 0) ::close(c.channel);
    Program& p = programs[c.job.program];
    if (c.job.pair < 0) {
      bool ok = WIFEXITED(status) && WEXITSTATUS(status) == 0 && ::access(exe[c.job.program].c_str(), X_OK) == 0;
      p.compile_messages = c.output;
      if (ok) enqueue_runs(c.job.program);
      else p.compile_failed = true;
      return;
    }
    Run& r = p.runs[c.job.pair];
    r.timed_out = c.timed_out;
    r.wait_status = status;
    r.milliseconds = now_ms() - c.started;
    r.output = std::move(c.output);
    r.output_cut = c.cut;
    if (p.source) {  // messages name the copy; the teacher knows the original
      std::string name = fs::path(p.path).filename(), copy = source_copy(p);
      for (std::string* text : {&r.output, &r.replay.info()})
        for (std::size_t at = 0; (at = text->find(copy, at)) != std::string::npos; at += name.size())
          text->replace(at, copy.size(), name);
    }
  };

  while (!g_interrupted && (!queue.empty() || !running.empty())) {
    while (!queue.empty() && static_cast<int>(running.size()) < std::max(1, limits_.jobs)) {
      Job job = queue.front();
      queue.pop_front();
      start(job);
    }
    if (running.empty()) continue;
    std::vector<pollfd> fds;
    fds.push_back({g_wake[0], POLLIN, 0});
    long next_deadline = running.front().deadline;
    for (const Child& c : running) {
      fds.push_back({c.fd, POLLIN, 0});  // -1 once the output has ended: ignored
      short wants = POLLIN;
      if (c.channel >= 0 && !programs[c.job.program].runs[c.job.pair].replay.outgoing().empty()) wants |= POLLOUT;
      fds.push_back({c.channel, wants, 0});
      next_deadline = std::min(next_deadline, c.deadline);
    }
    int timeout = static_cast<int>(std::max(0L, next_deadline - now_ms()));
    int ready = poll(fds.data(), fds.size(), timeout);
    if (ready < 0 && errno != EINTR) break;
    char sink[64];
    while (::read(g_wake[0], sink, sizeof sink) > 0) {
    }
    for (std::size_t i = 0; i < running.size(); ++i) {
      if (fds[1 + 2 * i].revents & (POLLIN | POLLHUP | POLLERR)) drain(running[i]);
      if (fds[2 + 2 * i].revents & (POLLIN | POLLOUT | POLLHUP | POLLERR)) serve(running[i]);
    }
    long now = now_ms();
    for (Child& c : running)
      if (!c.timed_out && now >= c.deadline) {
        c.timed_out = true;
        kill(-c.pid, SIGKILL);
      }
    for (;;) {
      int status = 0;
      pid_t pid = waitpid(-1, &status, WNOHANG);
      if (pid <= 0) break;
      auto it = std::find_if(running.begin(), running.end(), [&](const Child& c) { return c.pid == pid; });
      if (it == running.end()) continue;  // an adopted grandchild
      finish(*it, status);
      running.erase(it);
    }
    share_finished_compiles();
  }
  share_finished_compiles();  // those that could not even start

  if (g_interrupted) {
    for (Child& c : running) {
      kill(-c.pid, SIGKILL);
      reap_quietly(c.pid);
      if (c.fd >= 0) ::close(c.fd);
      if (c.channel >= 0) ::close(c.channel);
    }
    running.clear();
  }
  end_adopted_children();
  sigaction(SIGCHLD, &old_chld, nullptr);
  sigaction(SIGINT, &old_int, nullptr);
  sigaction(SIGTERM, &old_term, nullptr);
  sigaction(SIGHUP, &old_hup, nullptr);
  ::close(g_wake[0]);
  ::close(g_wake[1]);
  if (g_interrupted) {
    int sig = g_interrupted;
    remove_tree(base_);
    base_.clear();
    signal(sig, SIG_DFL);
    raise(sig);
  }
}

}  // namespace zekocheck
