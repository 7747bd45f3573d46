// Counts the lines of a text read one character at a time: LF, a lone CR and
// CR LF each end one line. Shared by the world reader and the world-file
// check of zekocheck, so both name the same line.
#pragma once

namespace zeko {

class LineCount {
 public:
  void see(int c) {
    if (c == '\n' && !after_cr_) ++line_;
    if (c == '\r') ++line_;
    after_cr_ = c == '\r';
  }
  int line() const { return line_; }

 private:
  int line_ = 1;
  bool after_cr_ = false;
};

}  // namespace zeko
