// Terminal modes before and after a program: the programs must leave the
// terminal exactly as they found it.
#pragma once

#include <termios.h>

#include <string>

namespace zt {
class Terminal;
}

namespace support {

bool same_modes(const termios& a, const termios& b);
std::string modes_text(const termios& t);  // flags and control characters, for messages
// The program on `t` left the modes it was started with.
bool restored(const zt::Terminal& t);

}  // namespace support
