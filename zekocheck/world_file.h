// World files as zekocheck sees them: read exactly as the library reads them
// (so that a goal world means what a learner's program would load), and
// checked against the exact format the editor writes, line by line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zekocheck {

constexpr int kColumns = 17;
constexpr int kRows = 10;

struct World {
  int16_t feld[kColumns][kRows] = {};
  int16_t vorrat = 0;
  int x = 0;
  int y = 0;
  int richtung = 1;  // ZEKO's heading: 0 up, 1 down, 2 left, 3 right; never compared
};

struct Deviation {
  int line;  // 1-based; 0: the file as a whole
  std::string text;
};

struct WorldFile {
  bool readable = false;   // the library would load it without a run-time error
  std::string error;       // why not (German)
  World world;             // as the library loads it
  std::vector<Deviation> deviations;  // from the exact format, in line order
};

// A plain file's first `limit` bytes (and at most one read more), opened
// without following a link; false with the reason (German). `through_link`
// follows a last link, for the /proc/self/fd name of a file zekocheck holds.
bool read_plain_file(const std::string& path, std::size_t limit, std::string& text, std::string& error,
                     bool through_link = false);

// Reads and checks the file (as read_plain_file); never ends the program.
WorldFile read_world_file(const std::string& path);
// The same for text already in memory (the result file of a run).
WorldFile read_world_text(const std::string& text);

}  // namespace zekocheck
