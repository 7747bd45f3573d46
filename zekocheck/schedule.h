// The order of the pupils' boxes: every program that can be tried gets a
// box of its own; identical sources are compiled once, and the pupils who
// share that compile open their boxes once it ended, with a copy of its
// program. A compiled program is removed once every box that needs it has
// its own copy.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "runner.h"

namespace zekocheck {

class Schedule {
 public:
  // `builds` is a folder of zekocheck's own for the compiled programs.
  Schedule(std::vector<Program>& programs, std::string builds);
  Schedule(const Schedule&) = delete;
  Schedule& operator=(const Schedule&) = delete;
  ~Schedule();

  // The next pupil whose box can open now.
  std::optional<std::size_t> next();
  // Pupils still to open a box (some may wait for a compile).
  bool waiting() const { return !queue_.empty(); }
  // The program a pupil's runs start, or empty: its source is compiled in
  // its box first (to built()).
  std::string program_file(std::size_t pupil) const;
  std::string built(std::size_t pupil) const;
  // A pupil's compile ended: those who wait for it take its result.
  void compiled(std::size_t pupil);
  // A pupil's box has its copy of the program it was given.
  void opened(std::size_t pupil);

 private:
  void release_build(std::size_t leader);

  std::vector<Program>& programs_;
  std::string builds_;
  std::vector<std::size_t> queue_;    // pupils in the order given
  std::vector<std::size_t> leader_;   // whose compile each one shares
  std::vector<bool> compiled_;        // the leader's compile ended
  std::vector<int> holders_;          // boxes yet to copy a leader's build
};

}  // namespace zekocheck
