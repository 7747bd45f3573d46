#include "runner.h"

#include "box_guard.h"
#include "sandbox.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>

#include "check_channel.h"
#include "compile_job.h"
#include "same_source.h"

namespace fs = std::filesystem;

namespace zekocheck {
namespace {

// The check channel's numbers in a run (calls, answers); what one look at
// it reads at most.
constexpr int kCallsFd = 3, kAnswersFd = 4;
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

// Which limit stopped the compiler, if one did. A compiler started through
// a wrapper that is a shell script shows a signal as status 128 + signal.
std::string compile_limit_reached(int status, bool timed_out, bool out_of_memory, const std::string& output,
                                  const Limits& limits) {
  const std::string memory = "Speicher (" + std::to_string(limits.memory_mb) + " MB)";
  if (out_of_memory) return memory;
  if (timed_out) return "Zeit (" + std::to_string(limits.compile_seconds) + " s)";
  int sig = 0;
  if (WIFSIGNALED(status)) sig = WTERMSIG(status);
  else if (WIFEXITED(status) && WEXITSTATUS(status) > 128) sig = WEXITSTATUS(status) - 128;
  if (sig == SIGXCPU || sig == SIGKILL) return "Rechenzeit (" + std::to_string(limits.compile_seconds) + " s)";
  if (sig == SIGXFSZ) return "Dateigroesse (" + std::to_string(limits.file_mb) + " MB)";
  // fpc's own words (English, German), the linker's and the C library's.
  for (const char* text : {"No memory left", "Speicher voll", "out of memory", "Cannot allocate memory"})
    if (output.find(text) != std::string::npos) return memory;
  if (sig == SIGSEGV || sig == SIGABRT) return memory;
  return "";
}

void reap_quietly(pid_t pid) {
  while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
  }
}


}  // namespace

bool is_source(const std::string& path) {
  std::string ext = fs::path(path).extension();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext == ".pas" || ext == ".pp" || ext == ".c" || ext == ".cpp" || ext == ".cc" || ext == ".cxx";
}

std::string source_copy(const Program& program) {
  return "programm" + fs::path(program.path).extension().string();
}

Runner::Runner(Limits limits, std::string zekoc) : limits_(limits), zekoc_(std::move(zekoc)) {
  base_ = make_base_folder();
  // A box's processes together: the memory one of them may have, and its
  // own folder and /dev/shm full.
  CgroupLimits per_box;
  if (limits_.memory_mb > 0)
    per_box.memory_bytes = static_cast<long long>(limits_.memory_mb + kOwnFolderMb + kShmMb) << 20;
  per_box.processes = static_cast<long>(kProcessesPerRun) + 4;  // and bubblewrap's
  guard_ = std::make_unique<BoxGuard>(per_box);
  sandbox_ = std::make_unique<Sandbox>(limits_.sandbox, base_, limits_.jobs, zekoc_, *guard_);
}

Runner::~Runner() {
  if (!base_.empty()) remove_tree(base_);
}

const std::string& Runner::sandbox_note() const { return sandbox_->note(); }
const std::string& Runner::access_note() const { return sandbox_->unreachable(); }
const std::string& Runner::guard_note() const { return guard_->note(); }

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

  ChildLimits run_limits, compile_limits;
  run_limits.cpu_seconds = static_cast<rlim_t>(std::ceil(limits_.seconds)) + 1;
  run_limits.memory_bytes = static_cast<rlim_t>(limits_.memory_mb) << 20;
  run_limits.file_bytes = static_cast<rlim_t>(limits_.file_mb) << 20;
  compile_limits = run_limits;
  compile_limits.cpu_seconds = static_cast<rlim_t>(limits_.compile_seconds) + 1;

  struct Task {
    std::size_t program;
    int pair;  // -1: compile
  };
  struct Child {
    pid_t pid;
    int fd;
    int channel = -1;  // our ends of the run's check channel: the calls come here ...
    int answers = -1;  // ... and the start worlds go here
    Task task;
    Job job;
    long started, deadline;
    bool timed_out;
    std::string output;
    bool cut;
    void close_channel() {
      for (int* end : {&channel, &answers}) {
        if (*end >= 0) ::close(*end);
        *end = -1;
      }
    }
  };
  std::deque<Task> queue;
  std::vector<Child> running;
  std::vector<bool> slot_busy(static_cast<std::size_t>(std::max(1, limits_.jobs)), false);
  std::vector<std::string> exe(programs.size());

  auto program_dir = [&](std::size_t i) { return base_ + "/p" + std::to_string(i + 1); };
  auto enqueue_runs = [&](std::size_t i) {
    programs[i].runs.assign(start_worlds.size(), Run {});
    for (int k = static_cast<int>(start_worlds.size()) - 1; k >= 0; --k) queue.push_front({i, k});
  };
  // The program folders: only their owner reads them (root lets the
  // slots' users pass to the executable).
  const fs::perms folder_perms = geteuid() == 0 ? fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec
                                                : fs::perms::owner_all;
  const fs::perms exe_perms = fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec;
  for (std::size_t i = 0; i < programs.size(); ++i) {
    Program& p = programs[i];
    if (!p.unusable.empty()) continue;
    p.without_sandbox = sandbox_->missing();
    p.sandboxed = sandbox_->in_use();
    std::error_code ec;
    fs::create_directory(program_dir(i), ec);
    fs::permissions(program_dir(i), folder_perms, ec);
    exe[i] = program_dir(i) + "/programm";
    if (p.source) {
      std::ifstream readable(p.path);
      if (!readable) {
        p.unusable = "die Datei laesst sich nicht lesen";
        continue;
      }
      queue.push_back({i, -1});
    } else {
      fs::copy_file(p.path, exe[i], fs::copy_options::overwrite_existing, ec);
      if (!ec) fs::permissions(exe[i], exe_perms, ec);
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

  auto start = [&](const Task& task, int slot) {
    Job job;
    job.slot = slot;
    Program& p = programs[task.program];
    std::string folder = program_dir(task.program);
    long milliseconds;
    if (task.pair < 0) {
      // The compiler reads the untrusted source too: it runs in the
      // sandbox as well, under limits like a run's.
      job.compile = true;
      job.own = folder + "/c";
      job.own_files = {{p.path, source_copy(p)}};
      job.command = {zekoc_, source_copy(p)};
      job.limits = compile_limits;
      milliseconds = limits_.compile_seconds * 1000;
    } else {
      std::string pair = std::to_string(task.pair + 1);
      job.own = folder + "/w" + pair;
      job.readable = {exe[task.program]};
      job.command = {exe[task.program]};
      job.limits = run_limits;
      job.env = {std::string(zeko::check_channel::kEnvironment) + "=" + std::to_string(kCallsFd) + "," +
                     std::to_string(kAnswersFd),
                 "ZEKO_MAX_BEFEHLE=" + std::to_string(limits_.max_commands)};
      Run& run = p.runs[task.pair];
      run.started = true;
      run.replay = Replay(start_worlds[task.pair], limits_.max_commands, limits_.max_commands * 10);
      milliseconds = static_cast<long>(limits_.seconds * 1000);
    }
    Child c {};
    c.task = task;
    bool ready = sandbox_->prepare(job);
    if (ready && job.compile) {
      // The compiler itself, as zekoc would start it, with its own files in
      // the own folder; where a file of Zeko is missing, zekoc runs and says so.
      CompileLaunch compiler;
      if (compile_launch(job.own + "/" + source_copy(p), job.own + "/uebersetzung", compiler) &&
          sandbox_->hand_over(job, job.own + "/uebersetzung")) {
        job.command = compiler.argv;
        job.cwd = compiler.dir;
        job.env.insert(job.env.end(), compiler.env.begin(), compiler.env.end());
      }
    }
    int calls[2] = {-1, -1}, answers[2] = {-1, -1};
    if (ready && !job.compile && pipe2(calls, O_CLOEXEC) == 0 && pipe2(answers, O_CLOEXEC) == 0) {
      fcntl(calls[0], F_SETFL, O_NONBLOCK);
      fcntl(answers[1], F_SETFL, O_NONBLOCK);
      job.pass = {{calls[1], kCallsFd}, {answers[0], kAnswersFd}};
      c.channel = calls[0];
      c.answers = answers[1];
    } else if (calls[0] >= 0) {
      ::close(calls[0]);
      ::close(calls[1]);
    }
    if (ready) job.guarded = guard_->open_box();
    c.pid = ready ? sandbox_->start(job, c.fd) : -1;
    for (const auto& [fd, as] : job.pass) ::close(fd);
    job.pass.clear();
    c.started = now_ms();
    c.deadline = c.started + milliseconds;
    if (c.pid < 0) {
      c.close_channel();
      guard_->close_box(job.guarded);
      sandbox_->clear(job);
      if (task.pair < 0) p.unusable = "zekoc laesst sich nicht starten";
      else p.runs[task.pair].wait_status = 127 << 8;
      return;
    }
    c.job = std::move(job);
    slot_busy[static_cast<std::size_t>(slot)] = true;
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
  // the replay answers as far as the pipe takes it, and ends the run at
  // once when its replay says nothing can change the verdict any more.
  auto serve = [&](Child& c) {
    if (c.channel < 0) return;
    Replay& replay = programs[c.task.program].runs[c.task.pair].replay;
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
    while (!out.empty() && !closed && c.answers >= 0) {
      ssize_t n = ::write(c.answers, out.data(), out.size());
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno != EAGAIN) {  // the program closed its end: nothing goes there any more
        ::close(c.answers);
        c.answers = -1;
      }
      if (n <= 0) break;
      out.erase(0, static_cast<std::size_t>(n));
    }
    if (replay.stops()) kill(-c.pid, SIGKILL);
    if (closed || replay.stops()) c.close_channel();
  };

  auto finish = [&](Child& c, int status) {
    // Nothing of the job runs on while we read what it left.
    sandbox_->stop(c.job, c.pid);
    const bool out_of_memory = guard_->close_box(c.job.guarded);
    drain(c);
    if (c.fd >= 0) ::close(c.fd);
    for (int look = 0; look < 16 && c.channel >= 0; ++look) serve(c);  // the calls still in the pipe
    c.close_channel();
    slot_busy[static_cast<std::size_t>(c.job.slot)] = false;
    Program& p = programs[c.task.program];
    if (c.task.pair < 0) {
      std::error_code ec;
      struct stat st {};
      std::string built = c.job.own + "/programm";  // a plain file, never a link we would follow
      bool ok = WIFEXITED(status) && WEXITSTATUS(status) == 0 && !c.timed_out &&
                ::lstat(built.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
                fs::copy_file(built, exe[c.task.program], fs::copy_options::overwrite_existing, ec);
      if (ok) fs::permissions(exe[c.task.program], exe_perms, ec);
      sandbox_->clear(c.job);
      p.compile_messages = c.output;
      if (ok && !ec) {
        enqueue_runs(c.task.program);
        return;
      }
      p.compile_failed = true;
      p.compile_limit = compile_limit_reached(status, c.timed_out, out_of_memory, c.output, limits_);
      return;
    }
    Run& r = p.runs[c.task.pair];
    r.timed_out = c.timed_out;
    r.out_of_memory = out_of_memory;
    r.wait_status = status;
    r.milliseconds = now_ms() - c.started;
    r.output = std::move(c.output);
    r.output_cut = c.cut;
    sandbox_->clear(c.job);
    if (p.source) {  // messages name the copy; the teacher knows the original
      std::string name = fs::path(p.path).filename(), copy = source_copy(p);
      for (std::string* text : {&r.output, &r.replay.info()})
        for (std::size_t at = 0; (at = text->find(copy, at)) != std::string::npos; at += name.size())
          text->replace(at, copy.size(), name);
    }
  };

  while (!g_interrupted && (!queue.empty() || !running.empty())) {
    while (!queue.empty() && static_cast<int>(running.size()) < std::max(1, limits_.jobs)) {
      Task task = queue.front();
      queue.pop_front();
      int slot = static_cast<int>(std::find(slot_busy.begin(), slot_busy.end(), false) - slot_busy.begin());
      start(task, slot);
    }
    if (running.empty()) continue;
    std::vector<pollfd> fds;
    fds.push_back({g_wake[0], POLLIN, 0});
    long next_deadline = running.front().deadline;
    for (const Child& c : running) {
      fds.push_back({c.fd, POLLIN, 0});  // -1 once the output has ended: ignored
      fds.push_back({c.channel, POLLIN, 0});
      // the answers' end only while a start world waits to go
      bool sending = c.answers >= 0 && !programs[c.task.program].runs[c.task.pair].replay.outgoing().empty();
      fds.push_back({sending ? c.answers : -1, POLLOUT, 0});
      next_deadline = std::min(next_deadline, c.deadline);
    }
    int timeout = static_cast<int>(std::max(0L, next_deadline - now_ms()));
    int ready = poll(fds.data(), fds.size(), timeout);
    if (ready < 0 && errno != EINTR) break;
    char sink[64];
    while (::read(g_wake[0], sink, sizeof sink) > 0) {
    }
    for (std::size_t i = 0; i < running.size(); ++i) {
      if (fds[1 + 3 * i].revents & (POLLIN | POLLHUP | POLLERR)) drain(running[i]);
      if ((fds[2 + 3 * i].revents | fds[3 + 3 * i].revents) & (POLLIN | POLLOUT | POLLHUP | POLLERR))
        serve(running[i]);
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
      sandbox_->stop(c.job, c.pid);
      guard_->close_box(c.job.guarded);
      sandbox_->clear(c.job);
      if (c.fd >= 0) ::close(c.fd);
      c.close_channel();
    }
    running.clear();
  }
  sandbox_->end_adopted();
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
    // No destructor runs after the signal: the check's cgroup goes now.
    sandbox_.reset();
    guard_.reset();
    signal(sig, SIG_DFL);
    raise(sig);
  }
}

}  // namespace zekocheck
