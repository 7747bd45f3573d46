#include "schedule.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "cleanup.h"
#include "same_source.h"

namespace zekocheck {

Schedule::Schedule(std::vector<Program>& programs, std::string builds)
    : programs_(programs), builds_(std::move(builds)), compiled_(programs.size()), holders_(programs.size()) {
  ::mkdir(builds_.c_str(), 0700);
  std::vector<bool> compiles(programs.size());
  for (std::size_t i = 0; i < programs.size(); ++i) {
    if (!programs[i].unusable.empty()) continue;
    compiles[i] = programs[i].source;
    queue_.push_back(i);
  }
  leader_ = compile_leaders(programs, compiles);
  for (std::size_t i : queue_)
    if (leader_[i] != i) ++holders_[leader_[i]];
}

Schedule::~Schedule() { remove_tree(builds_); }

std::optional<std::size_t> Schedule::next() {
  for (auto it = queue_.begin(); it != queue_.end(); ++it) {
    std::size_t pupil = *it, from = leader_[pupil];
    if (from != pupil && !compiled_[from]) continue;  // its compile has not ended yet
    queue_.erase(it);
    if (from == pupil) return pupil;
    // Its result is the compile's; without a program there is no box.
    const Program& source = programs_[from];
    take_compile_result(source, programs_[pupil]);
    if (!source.compile_failed && source.unusable.empty()) return pupil;
    opened(pupil);
    return next();
  }
  return std::nullopt;
}

std::string Schedule::program_file(std::size_t pupil) const {
  if (!programs_[pupil].source) return programs_[pupil].path;
  return leader_[pupil] == pupil ? "" : built(leader_[pupil]);
}

std::string Schedule::built(std::size_t pupil) const { return builds_ + "/" + std::to_string(pupil + 1); }

void Schedule::compiled(std::size_t pupil) {
  compiled_[pupil] = true;
  if (holders_[pupil] == 0) release_build(pupil);
}

void Schedule::opened(std::size_t pupil) {
  std::size_t from = leader_[pupil];
  if (from != pupil && --holders_[from] == 0) release_build(from);
}

void Schedule::release_build(std::size_t leader) { ::unlink(built(leader).c_str()); }

}  // namespace zekocheck
