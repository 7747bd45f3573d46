// The pause of each command in Go mode, chosen by the key that left the
// single-step pause: the digits 1 to 9 from slow to none, every other key
// 75 ms.
#pragma once

namespace zeko::library {

constexpr unsigned kGoPaceMs = 75;
constexpr unsigned kDigitPaceMs[9] = {400, 250, 150, 100, 75, 50, 25, 10, 0};

constexpr unsigned pace_for(char key) { return key >= '1' && key <= '9' ? kDigitPaceMs[key - '1'] : kGoPaceMs; }

}  // namespace zeko::library
