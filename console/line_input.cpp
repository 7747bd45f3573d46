// Line input: a line of keys with echo and Backspace, or, when standard
// input is not a terminal, the bytes as they come.
#include <climits>
#include <cstdlib>

#include "console.h"
#include "runtime_error.h"
#include "state.h"

namespace console {
namespace detail {
namespace {

constexpr std::size_t kPiece = 256;  // Backspace does not reach into an earlier piece

void echo(std::string_view s) {
  if (g.echo_allowed) write_text(s);
}

// Keys from the terminal, decoded, with echo.
std::string keyboard_line(bool& ended) {
  std::string line;
  std::size_t piece = 0;  // where the piece that Backspace may shorten begins
  for (;;) {
    char c = READKEY();
    if (c == 0 && input_ended()) {
      ended = true;
      break;
    }
    if (as_key(c) == Key::ctrl_c && g.profile.ctrl_c == CtrlC::ends_line_input) {
      // Ctrl-C gives up the question as the end of input does; nothing
      // typed so far counts.
      g.interrupted = true;
      ended = true;
      return "";
    }
    if (as_key(c) == Key::enter) {
      echo("\n");
      break;
    }
    if (as_key(c) == Key::backspace) {
      if (line.size() > piece) {
        line.pop_back();
        echo("\b \b");
      }
      continue;
    }
    if (c == 0) {
      READKEY();  // the code of an extended key is dropped with it
      continue;
    }
    if (as_key(c) == Key::esc) continue;
    line += c;
    echo(std::string_view(&c, 1));
    if (as_key(c) == Key::line_feed) break;
    if (line.size() - piece == kPiece) piece = line.size();
  }
  if (!line.empty() && line.back() == '\n') line.pop_back();
  return line;
}

// Bytes from a pipe or file: a lone CR ends a line like LF.
std::string plain_line(bool& ended) {
  std::string line;
  // Keys already decoded (an extended key's code, for example) come first.
  while (g.key_count > 0) {
    char c = READKEY();
    if (as_key(c) == Key::line_feed || as_key(c) == Key::enter) return line;
    line += c;
  }
  for (;;) {
    unsigned char b;
    if (!next_byte(b, -1)) {
      ended = true;
      return line;
    }
    if (b == '\n') return line;
    if (b == '\r') {
      unsigned char after;
      if (next_byte(after, -1) && after != '\n') push_back_byte(after);
      return line;
    }
    line += static_cast<char>(b);
  }
}

}  // namespace
}  // namespace detail

using namespace detail;

std::string read_line(std::size_t capacity, bool* ended) {
  bool end = false;
  std::string line = g.input_is_terminal ? keyboard_line(end) : plain_line(end);
  if (ended) *ended = end && line.empty();
  if (line.size() > capacity) line.resize(capacity);
  return line;
}

IntResult read_int(int32_t& value) {
  std::string token;
  for (;;) {
    bool ended = false;
    std::string line = read_line(SIZE_MAX, &ended);
    std::size_t begin = 0;
    while (begin < line.size() && static_cast<unsigned char>(line[begin]) <= 32) ++begin;
    if (begin < line.size()) {
      std::size_t end = begin;
      while (end < line.size() && static_cast<unsigned char>(line[end]) > 32) ++end;
      token = line.substr(begin, end - begin);
      break;
    }
    if (ended) return IntResult::ended;
  }
  const char* digits = token.c_str();
  if (*digits == '+' || *digits == '-') ++digits;
  if (*digits == 0) return IntResult::malformed;
  for (const char* p = digits; *p; ++p)
    if (*p < '0' || *p > '9') return IntResult::malformed;
  errno = 0;
  long long v = std::strtoll(token.c_str(), nullptr, 10);
  if (errno == ERANGE || v < INT32_MIN || v > INT32_MAX) return IntResult::malformed;
  value = static_cast<int32_t>(v);
  return IntResult::ok;
}

int32_t read_int_or_fail() {
  int32_t value = 0;
  if (read_int(value) == IntResult::malformed)
    runtime_error(106, "Die Eingabe ist keine gueltige ganze Zahl.");
  return value;
}

}  // namespace console
