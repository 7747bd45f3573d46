#include "runner.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>

#include "box_guard.h"
#include "cleanup.h"
#include "event_loop.h"
#include "pupil_box.h"
#include "sandbox.h"
#include "schedule.h"

namespace fs = std::filesystem;

namespace zekocheck {

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
  // A box's processes together: the supervisor, bubblewrap's two and a job.
  CgroupLimits per_job;
  if (limits_.memory_mb > 0) per_job.memory_bytes = static_cast<long long>(limits_.memory_mb) << 20;
  per_job.processes = static_cast<long>(kProcessesPerRun) + 4;
  auto guard = std::make_unique<BoxGuard>(per_job);
  guard_note_ = guard->note();
  sandbox_ = std::make_unique<Sandbox>(limits_.sandbox, base_, limits_.jobs, zekoc_, std::move(guard));
}

Runner::~Runner() {
  sandbox_.reset();
  if (!base_.empty()) remove_tree(base_);
}

const std::string& Runner::sandbox_note() const { return sandbox_->note(); }
const std::string& Runner::access_note() const { return sandbox_->unreachable(); }
bool Runner::sandboxed() const { return sandbox_->in_use(); }

namespace {

Classroom classroom(const Limits& limits, Sandbox& sandbox, const std::string& zekoc,
                    const std::vector<World>& start_worlds) {
  Classroom room;
  room.limits = limits;
  room.sandbox = &sandbox;
  room.zekoc = zekoc;
  room.start_worlds = &start_worlds;
  room.run_limits.cpu_seconds = static_cast<rlim_t>(std::ceil(limits.seconds)) + 1;
  room.run_limits.memory_bytes = static_cast<rlim_t>(limits.memory_mb) << 20;
  room.run_limits.file_bytes = static_cast<rlim_t>(limits.file_mb) << 20;
  room.compile_limits = room.run_limits;
  room.compile_limits.cpu_seconds = static_cast<rlim_t>(limits.compile_seconds) + 1;
  return room;
}

}  // namespace

// Opens boxes for the pupils that can start, as long as a slot is free.
void Runner::open_rooms(Schedule& schedule, std::vector<std::unique_ptr<PupilBox>>& rooms,
                        std::vector<bool>& slot_busy, std::vector<std::size_t>& pupil_of,
                        const Classroom& room, std::vector<Program>& programs) {
  for (;;) {
    auto free_slot = std::find(slot_busy.begin(), slot_busy.end(), false);
    if (free_slot == slot_busy.end()) return;
    std::optional<std::size_t> pupil = schedule.next();
    if (!pupil) return;
    int slot = static_cast<int>(free_slot - slot_busy.begin());
    auto box = std::make_unique<PupilBox>(room, programs[*pupil], slot, base_ + "/p" + std::to_string(*pupil + 1),
                                          schedule.program_file(*pupil), schedule.built(*pupil));
    bool running = box->open();
    schedule.opened(*pupil);
    if (box->compile_ended()) schedule.compiled(*pupil);
    if (!running) continue;
    *free_slot = true;
    rooms.push_back(std::move(box));
    pupil_of.push_back(*pupil);
  }
}

void Runner::run_all(std::vector<Program>& programs, const std::vector<World>& start_worlds) {
  EventLoop loop;
  if (!loop.ready()) return;
  for (Program& p : programs) {
    // Every verdict says whether its program ran in the sandbox.
    p.without_sandbox = p.unusable.empty() && !sandbox_->in_use();
    p.sandboxed = p.unusable.empty() && sandbox_->in_use();
  }
  const Classroom room = classroom(limits_, *sandbox_, zekoc_, start_worlds);
  std::vector<std::unique_ptr<PupilBox>> rooms;
  std::vector<std::size_t> pupil_of;
  std::vector<bool> slot_busy(static_cast<std::size_t>(std::max(1, std::min(limits_.jobs, sandbox_->slots()))));
  {
    Schedule schedule(programs, base_ + "/programme");
    while (!loop.interrupted()) {
      open_rooms(schedule, rooms, slot_busy, pupil_of, room, programs);
      if (rooms.empty()) break;
      loop.wait(rooms);
      for (std::size_t i = 0; i < rooms.size(); ++i) {
        if (rooms[i]->compile_ended()) schedule.compiled(pupil_of[i]);
        if (!rooms[i]->done()) continue;
        slot_busy[static_cast<std::size_t>(rooms[i]->slot())] = false;
        rooms.erase(rooms.begin() + static_cast<long>(i));
        pupil_of.erase(pupil_of.begin() + static_cast<long>(i));
        --i;
      }
    }
    for (auto& r : rooms) r->abort();
    rooms.clear();
  }
  sandbox_->end_prepared();  // the first processes made ahead for boxes that never came
  sandbox_->end_adopted_children();
  if (int sig = loop.interrupted()) {
    sandbox_.reset();
    remove_tree(base_);
    base_.clear();
    signal(sig, SIG_DFL);
    raise(sig);
  }
}

}  // namespace zekocheck
