// A world file built in a test: the grid, the supply and the robot's place,
// written the way the editor writes it.
#pragma once

#include <array>
#include <string>

namespace support {

struct World {
  using Rows = std::array<std::array<int, 17>, 10>;
  Rows rows{};  // [y][x], in the order of the file's lines
  int supply = 0;
  int x = 0;
  int y = 0;

  World& at(int fx, int fy, int value) {
    rows[fy][fx] = value;
    return *this;
  }
  int at(int fx, int fy) const { return rows[fy][fx]; }
  World& robot(int rx, int ry, int bag) {
    x = rx, y = ry, supply = bag;
    return *this;
  }

  // Values right-aligned in fields of five (one of five characters or more
  // gets a blank in front, so that it stays a number of its own), the supply
  // on a line of its own, then the position in fields of four.
  std::string text() const;
};

}  // namespace support
