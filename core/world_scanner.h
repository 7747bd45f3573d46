// The numbers of a world file as every reader of it sees them: the
// library's reader and zekocheck's world-file check scan the text the same
// way, so a goal world means what a learner's program would load.
#pragma once

#include <climits>
#include <cstdio>
#include <optional>
#include <string>

#include "line_count.h"

namespace zeko {

// A world-file number: an optional sign and digits (leading zeros are
// fine) whose value fits in 32 bits; nothing otherwise.
inline std::optional<long> world_number(const std::string& token) {
  std::size_t i = (!token.empty() && (token[0] == '+' || token[0] == '-')) ? 1 : 0;
  if (i == token.size() || token.size() >= 64) return std::nullopt;  // longer is malformed anyway
  long magnitude = 0;
  for (std::size_t k = i; k < token.size(); ++k) {
    if (token[k] < '0' || token[k] > '9' || magnitude > INT32_MAX) return std::nullopt;
    magnitude = magnitude * 10 + (token[k] - '0');
  }
  long value = token[0] == '-' ? -magnitude : magnitude;
  if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
  return value;
}

// A token as messages quote it: at most 20 characters, nothing beyond ASCII.
inline std::string shown_token(const std::string& token) {
  std::string s = token.size() > 20 ? token.substr(0, 20) + "..." : token;
  for (char& c : s)
    if (static_cast<unsigned char>(c) > 126) c = '?';
  return s;
}

// Scans numbers and line skips from a byte source with `int peek()` (the
// next byte, EOF at the end) and `void next()`, counting lines.
template <class Bytes>
class WorldScanner {
 public:
  explicit WorldScanner(Bytes& bytes) : bytes_(bytes) {}

  // One number: blanks and control characters are skipped; the end of the
  // text reads as 0. Nothing when the token is no number (bad_token()).
  std::optional<long> number() {
    int c;
    while ((c = bytes_.peek()) != EOF && c <= 32) take(c);
    number_line_ = lines_.line();
    if (c == EOF) return 0L;
    token_.clear();
    while ((c = bytes_.peek()) != EOF && c > 32) {
      take(c);
      if (token_.size() < 64) token_ += static_cast<char>(c);
    }
    return world_number(token_);
  }

  // Passes the rest of the line and its end.
  void skip_line() {
    int c;
    while ((c = bytes_.peek()) != EOF) {
      take(c);
      if (c == '\n' || c == '\r') return;
    }
  }

  // The line on which the last number stood (a number may follow line ends).
  int number_line() const { return number_line_; }
  const std::string& bad_token() const { return token_; }

 private:
  void take(int c) {
    bytes_.next();
    lines_.see(c);
  }

  Bytes& bytes_;
  LineCount lines_;
  int number_line_ = 1;
  std::string token_;
};

}  // namespace zeko
