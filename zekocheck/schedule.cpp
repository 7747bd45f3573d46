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

// Those who waited for a compile that ended come first: then a compiled
// program is gone early, before the boxes of others open beside it.
std::optional<std::size_t> Schedule::next() {
  auto waited = std::find_if(queue_.begin(), queue_.end(), [&](std::size_t pupil) {
    return leader_[pupil] != pupil && compiled_[leader_[pupil]];
  });
  auto it = waited != queue_.end() ? waited : std::find_if(queue_.begin(), queue_.end(), [&](std::size_t pupil) {
    return leader_[pupil] == pupil;
  });
  if (it == queue_.end()) return std::nullopt;
  std::size_t pupil = *it, from = leader_[pupil];
  queue_.erase(it);
  if (from == pupil) return pupil;
  // Its result is the compile's; without a program there is no box.
  const Program& source = programs_[from];
  take_compile_result(source, programs_[pupil]);
  if (!source.compile_failed && source.unusable.empty()) return pupil;
  opened(pupil);
  return next();
}

std::string Schedule::program_file(std::size_t pupil) const {
  if (!programs_[pupil].source) return programs_[pupil].read_from();
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
