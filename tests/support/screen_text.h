// Reading the emulated screen of a program under test: the places of the
// world's fields, the status panel and stretches of a row.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "pty_terminal.h"

namespace support {

// Screen column of the middle of field x, and the row of field y.
inline int col_of(int x) { return 4 * x + 3; }
inline int row_of(int y) { return 2 * y + 2; }

// The status panel's text on `row`: the row from `column` on (71 in the
// programs, 72 in the library).
std::string status(const zt::Terminal& t, int row, int column = 71);

// Text of columns `from` to `to` of a row, blanks kept.
std::string cells(const zt::Terminal& t, int row, int from, int to);

// Nothing but blanks on the whole screen.
bool blank_screen(const zt::Terminal& t);

std::string repeat(const std::string& s, int n);

// The last colour sequence in the bytes a program sent ("" if none):
// ESC [m leaves the terminal in its own colours.
std::string last_colour_sequence(const std::string& raw);

}  // namespace support

namespace support {

// Wait until the text is on the screen (or the condition holds), then until
// the program has settled (see zt::Terminal::settle); true if the text is
// still there (the condition still holds) then. Look at the screen only
// after one of these.
bool shows(zt::Terminal& t, std::string_view text);
bool settles_with(zt::Terminal& t, const std::function<bool()>& condition);

}  // namespace support
