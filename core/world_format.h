// The world file's text, without console: the editor's writer and the
// goal worlds zekocheck makes from a model solution write the same bytes.
#pragma once

#include <cstdint>
#include <string>

#include "rules.h"

namespace zeko {

// The grid's ten lines: each value right-aligned in five characters; one
// that needs five or more gets a blank before it, so every value stays
// readable.
std::string grid_text(const Grid& feld);
// The lines after the grid: the supply, then the robot's column and row.
std::string tail_text(int16_t supply, int x, int y);

}  // namespace zeko
