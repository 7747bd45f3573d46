#include "world_format.h"

#include <cstdio>

namespace zeko {
namespace {

// By hand rather than snprintf: a world has 170 values.
void append_grid_value(std::string& text, int16_t v) {
  char digits[8];
  std::size_t start = sizeof digits;
  int magnitude = v < 0 ? -v : v;
  do {
    digits[--start] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude > 0);
  if (v < 0) digits[--start] = '-';
  std::size_t length = sizeof digits - start;
  text.append(length < 5 ? 5 - length : 1, ' ');
  text.append(digits + start, length);
}

}  // namespace

std::string grid_text(const Grid& feld) {
  std::string text;
  for (int y = 0; y < kRows; ++y) {
    for (int x = 0; x < kColumns; ++x) append_grid_value(text, feld[x][y]);
    text += '\n';
  }
  return text;
}

std::string tail_text(int16_t supply, int x, int y) {
  char tail[64];
  std::snprintf(tail, sizeof tail, "%d\n%4d%4d\n", supply, x, y);
  return tail;
}

}  // namespace zeko
