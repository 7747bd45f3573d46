#include "modes.h"

#include <cstdio>
#include <cstring>

#include "pty_terminal.h"

namespace support {

bool same_modes(const termios& a, const termios& b) {
  return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag && a.c_lflag == b.c_lflag &&
         std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0 && cfgetispeed(&a) == cfgetispeed(&b) &&
         cfgetospeed(&a) == cfgetospeed(&b);
}

std::string modes_text(const termios& t) {
  char text[64];
  std::snprintf(text, sizeof text, "iflag %x oflag %x cflag %x lflag %x cc", t.c_iflag, t.c_oflag, t.c_cflag,
                t.c_lflag);
  std::string s = text;
  for (cc_t c : t.c_cc) s += " " + std::to_string(c);
  return s;
}

bool restored(const zt::Terminal& t) { return same_modes(t.modes_before(), t.modes_after()); }

}  // namespace support
