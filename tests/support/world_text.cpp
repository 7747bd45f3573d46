#include "world_text.h"

#include <cstdio>

namespace support {

std::string World::text() const {
  std::string s;
  char cell[32];
  for (const auto& row : rows) {
    for (int v : row) {
      bool fits = std::snprintf(nullptr, 0, "%d", v) < 5;
      std::snprintf(cell, sizeof cell, fits ? "%5d" : " %d", v);
      s += cell;
    }
    s += '\n';
  }
  std::snprintf(cell, sizeof cell, "%4d%4d", x, y);
  return s + std::to_string(supply) + "\n" + cell + "\n";
}

}  // namespace support
