// Runs core_driver on a pty: writes the world file into a fresh directory,
// starts the driver there, and steps through its script one key at a time.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "files.h"
#include "pty_terminal.h"
#include "screen_text.h"
#include "temp_dir.h"
#include "world_text.h"

namespace core_test {

using support::World;

class DriverSession {
 public:
  // variant: prog, edit or inc. The world is written as `name` in a fresh
  // directory; the driver waits for a key before each letter of `script`.
  DriverSession(const std::string& variant, const World& world, const std::string& script,
                const std::string& name = "welt.zko") {
    dir_.put(name, world.text());
    zt::Options o;
    o.cwd = dir_.path();
    o.env_extra = {"ZEKO_DRIVER_RECORD=" + record_path().string()};
    term_ = std::make_unique<zt::Terminal>(std::vector<std::string>{CORE_DRIVER_PATH, variant, name, script}, o);
  }

  zt::Terminal& term() { return *term_; }
  const zt::Terminal& term() const { return *term_; }

  // Waits until the driver reports step n (0: the start-up drawing).
  // The whole marker must be there: output can arrive cut in the middle of it.
  bool reached(int n, int timeout_ms = 5000) {
    return term_->wait_for(
        [&] {
          std::size_t at = marker_start(n);
          return at != std::string::npos && term_->raw_output().find('\a', at) != std::string::npos;
        },
        timeout_ms);
  }
  bool started() { return reached(0); }

  // Types one key: the next letter of the script runs.
  bool step() {
    term_->send(" ");
    return reached(++done_);
  }
  int steps_done() const { return done_; }

  // The four sensors after step n, as "vf=B fl=B tl=B aa=B".
  std::string sensors(int n) const {
    const std::string& raw = term_->raw_output();
    std::size_t at = marker_start(n);
    if (at == std::string::npos) return "(no step " + std::to_string(n) + ")";
    std::size_t begin = raw.find(' ', at) + 1;
    return raw.substr(begin, raw.find('\a', begin) - begin);
  }
  std::string sensors() const { return sensors(done_); }

  // The bytes the driver sent for step n, between the two markers.
  std::string bytes_of_step(int n) const {
    const std::string& raw = term_->raw_output();
    std::size_t prev = marker_start(n - 1), at = marker_start(n);
    if (prev == std::string::npos || at == std::string::npos) return "(missing marker)";
    std::size_t begin = raw.find('\a', prev) + 1;
    return raw.substr(begin, at - begin);
  }

  std::string recorded() const { return support::read_file(record_path()); }

  std::filesystem::path dir() const { return dir_.path(); }

 private:
  std::filesystem::path record_path() const { return dir_ / "recorded.txt"; }
  std::size_t marker_start(int n) const {
    return term_->raw_output().find("\033]7770;step=" + std::to_string(n) + " ");
  }

  support::TempDir dir_;
  std::unique_ptr<zt::Terminal> term_;
  int done_ = 0;
};

using support::cells;

// The columns from..to of `row` whose foreground is not `fg`, for messages.
inline std::string off_colour(const zt::Terminal& t, int row, int from, int to, int fg, int bg = -1) {
  std::string bad;
  for (int c = from; c <= to; ++c) {
    zt::Cell cell = t.cell(row, c);
    if (cell.ch != " " && cell.fg != fg) bad += " col" + std::to_string(c) + "fg=" + std::to_string(cell.fg);
    if (cell.bg != bg) bad += " col" + std::to_string(c) + "bg=" + std::to_string(cell.bg);
  }
  return bad;
}

}  // namespace core_test
