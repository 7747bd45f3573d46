#include "pupil_box.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>

#include "check_channel.h"
#include "compile_job.h"

namespace fs = std::filesystem;

namespace zekocheck {
namespace {

// The check channel's numbers in a run (calls, answers).
constexpr int kCallsFd = 3, kAnswersFd = 4;

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

// A plain file of the box, never a link we would follow.
bool regular_file(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

PupilBox::PupilBox(const Classroom& room, Program& program, int slot, std::string folder, std::string program_file,
                   std::string built)
    : room_(room),
      program_(program),
      slot_(slot),
      program_file_(std::move(program_file)),
      built_(std::move(built)),
      box_(*room.sandbox, slot, std::move(folder)) {}

bool PupilBox::open() {
  std::vector<std::string> folders = {"c"};
  for (std::size_t k = 1; k <= room_.start_worlds->size(); ++k) folders.push_back("w" + std::to_string(k));
  bool opened = box_.open(folders);
  if (opened && !program_file_.empty()) {
    if (!box_.copy_in(program_file_, box_.folder() + "/programm", true)) {
      program_.unusable = program_.source ? "das uebersetzte Programm laesst sich nicht kopieren"
                                          : "das Programm laesst sich nicht lesen";
      opened = false;
    }
  }
  step_ = program_file_.empty() ? -1 : 0;
  if (!program_file_.empty()) program_.runs.assign(room_.start_worlds->size(), Run {});
  if (!opened && program_.unusable.empty()) {
    if (step_ < 0) program_.unusable = "zekoc laesst sich nicht starten";
    for (Run& r : program_.runs) r.wait_status = 127 << 8;
  }
  compile_ended_ = !opened && step_ < 0;
  done_ = !opened || !begin_step();
  if (done_) box_.close();
  return !done_;
}

bool PupilBox::begin_compile(BoxJob& job) {
  // The compiler reads the untrusted source too: it runs in the box as
  // well, under limits like a run's.
  const std::string dir = box_.folder() + "/c", copy = source_copy(program_);
  if (!box_.copy_in(program_.read_from(), dir + "/" + copy, false)) {
    program_.unusable = "die Datei laesst sich nicht lesen";
    return false;
  }
  job.cwd = dir;
  job.command = {room_.zekoc, copy};
  job.limits = room_.compile_limits;
  // The compiler itself, as zekoc would start it, with its own files in the
  // box; where a file of Zeko is missing, zekoc runs and says so.
  // (Only fpc gets a work folder of its own, which the box's user must own.)
  CompileLaunch compiler;
  const std::string work = dir + "/uebersetzung";
  if (compile_launch(dir + "/" + copy, work, room_.sandbox->layout(), compiler) &&
      (::access(work.c_str(), F_OK) != 0 || box_.hand_over(work))) {
    job.command = compiler.argv;
    job.cwd = compiler.dir;
    job.env.insert(job.env.end(), compiler.env.begin(), compiler.env.end());
  }
  deadline_ = now_ms() + room_.limits.compile_seconds * 1000;
  return true;
}

bool PupilBox::begin_run(BoxJob& job) {
  const std::size_t k = static_cast<std::size_t>(step_);
  job.cwd = box_.folder() + "/w" + std::to_string(k + 1);
  job.command = {box_.folder() + "/programm"};
  job.limits = room_.run_limits;
  if (!channel_.open()) return false;
  job.calls = channel_.run_calls_end();
  job.answers = channel_.run_answers_end();
  job.env = {std::string(zeko::check_channel::kEnvironment) + "=" + std::to_string(kCallsFd) + "," +
                 std::to_string(kAnswersFd),
             "ZEKO_MAX_BEFEHLE=" + std::to_string(room_.limits.max_commands)};
  const std::vector<std::string>& zeko_env = room_.sandbox->run_environment();
  job.env.insert(job.env.end(), zeko_env.begin(), zeko_env.end());
  Run& r = program_.runs[k];
  r.started = true;
  r.replay = Replay((*room_.start_worlds)[k], room_.limits.max_commands, room_.limits.max_commands * 10);
  deadline_ = now_ms() + static_cast<long>(room_.limits.seconds * 1000);
  return true;
}

// Starts the job of this step; false when there is none left (or it could
// not start: its result says why).
bool PupilBox::begin_step() {
  for (; step_ < static_cast<int>(program_.runs.size()) || step_ < 0; ++step_) {
    BoxJob job;
    output_.clear();
    cut_ = timed_out_ = false;
    bool ready = step_ < 0 ? begin_compile(job) : begin_run(job);
    started_ = now_ms();
    memory_ends_ = box_.memory_ends();
    if (ready && box_.start(job, out_)) {
      channel_.close_run_ends();
      return true;
    }
    channel_.close();
    channel_.close_run_ends();
    if (step_ < 0) {
      if (program_.unusable.empty()) program_.unusable = "zekoc laesst sich nicht starten";
      compile_ended_ = true;
      return false;
    }
    program_.runs[static_cast<std::size_t>(step_)].wait_status = 127 << 8;
  }
  return false;
}

void PupilBox::add_polls(std::vector<pollfd>& fds) {
  Replay* replay = run() ? &run()->replay : nullptr;
  fds.push_back({box_.control(), POLLIN, 0});
  fds.push_back({out_, POLLIN, 0});  // -1 once the output has ended: ignored
  fds.push_back({replay ? channel_.calls() : -1, POLLIN, 0});
  fds.push_back({replay ? channel_.answers_to_poll(*replay) : -1, POLLOUT, 0});
}

void PupilBox::on_events(const pollfd* fds, long now) {
  if (done_) return;
  if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) drain();
  if (run() && ((fds[2].revents | fds[3].revents) & (POLLIN | POLLOUT | POLLHUP | POLLERR)))
    if (!channel_.serve(run()->replay)) box_.kill_job();
  if (!timed_out_ && now >= deadline_) {
    timed_out_ = true;
    deadline_ = now + 3600 * 1000;  // its end comes through the box
    box_.kill_job();
  }
  int status = 0;
  if ((fds[0].revents & (POLLIN | POLLHUP | POLLERR)) && box_.take_end(status)) end_step(status);
}

// Reads what the pipe holds; at its end the pipe is closed, so that it is
// not polled again.
void PupilBox::drain() {
  if (out_ < 0) return;
  char buf[8192];
  for (;;) {
    ssize_t n = ::read(out_, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return;  // nothing more for now
    if (n == 0) {
      ::close(out_);
      out_ = -1;
      return;
    }
    std::size_t room = kOutputLimit - std::min(kOutputLimit, output_.size());
    output_.append(buf, std::min(room, static_cast<std::size_t>(n)));
    if (static_cast<std::size_t>(n) > room) cut_ = true;
  }
}

// The job ended and nothing of it runs any more: what it left is read,
// and the next step starts.
void PupilBox::end_step(int status) {
  drain();
  if (out_ >= 0) ::close(out_);
  out_ = -1;
  out_of_memory_ = box_.memory_ends() > memory_ends_;
  if (step_ < 0) end_compile(status);
  else end_run(status);
  ++step_;
  if (!program_.unusable.empty() || program_.compile_failed || !begin_step()) {
    done_ = true;
    box_.close();
  }
}

void PupilBox::end_compile(int status) {
  compile_ended_ = true;
  const std::string made = box_.folder() + "/c/programm";
  bool ok = WIFEXITED(status) && WEXITSTATUS(status) == 0 && !timed_out_ && regular_file(made);
  std::error_code ec;
  if (ok) ok = fs::copy_file(made, built_, fs::copy_options::overwrite_existing, ec) &&
               box_.copy_in(built_, box_.folder() + "/programm", true);
  program_.compile_messages = output_;
  if (ok) {
    program_.runs.assign(room_.start_worlds->size(), Run {});
    step_ = -1;  // the runs follow from 0
    return;
  }
  program_.compile_failed = true;
  program_.compile_limit = compile_limit_reached(status, timed_out_, out_of_memory_, output_, room_.limits);
}

void PupilBox::end_run(int status) {
  Run& r = *run();
  channel_.serve_rest(r.replay);  // the calls still in the pipe
  r.timed_out = timed_out_;
  r.out_of_memory = out_of_memory_;
  r.wait_status = status;
  r.milliseconds = now_ms() - started_;
  r.output = std::move(output_);
  r.output_cut = cut_;
  output_.clear();
  if (program_.source) {  // messages name the copy; the teacher knows the original
    std::string name = fs::path(program_.path).filename(), copy = source_copy(program_);
    for (std::string* text : {&r.output, &r.replay.info()})
      for (std::size_t at = 0; (at = text->find(copy, at)) != std::string::npos; at += name.size())
        text->replace(at, copy.size(), name);
  }
}

bool PupilBox::compile_ended() {
  bool ended = compile_ended_;
  compile_ended_ = false;
  return ended;
}

void PupilBox::abort() {
  if (out_ >= 0) ::close(out_);
  out_ = -1;
  channel_.close();
  box_.close();
  done_ = true;
}

}  // namespace zekocheck
