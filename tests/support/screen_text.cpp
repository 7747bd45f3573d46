#include "screen_text.h"

namespace support {

std::string status(const zt::Terminal& t, int row, int column) {
  std::string text = t.row_text(row);
  return text.size() < static_cast<std::size_t>(column) ? "" : text.substr(column - 1);
}

std::string cells(const zt::Terminal& t, int row, int from, int to) {
  std::string s;
  for (int c = from; c <= to; ++c) s += t.cell(row, c).ch;
  return s;
}

bool blank_screen(const zt::Terminal& t) { return t.screen_text().find_first_not_of(" \n") == std::string::npos; }

std::string repeat(const std::string& s, int n) {
  std::string r;
  while (n-- > 0) r += s;
  return r;
}

bool shows(zt::Terminal& t, std::string_view text) {
  auto there = [&] { return t.screen_text().find(text) != std::string::npos; };
  return settles_with(t, there);
}

bool settles_with(zt::Terminal& t, const std::function<bool()>& condition) {
  return t.wait_for(condition) && t.settle() && condition();
}

std::string last_colour_sequence(const std::string& raw) {
  for (std::size_t end = raw.rfind('m'); end != std::string::npos && end > 0; end = raw.rfind('m', end - 1)) {
    std::size_t begin = raw.rfind("\033[", end);
    if (begin == std::string::npos) break;
    if (raw.find_first_not_of("0123456789;", begin + 2) == end) return raw.substr(begin, end - begin + 1);
  }
  return "";
}

}  // namespace support
