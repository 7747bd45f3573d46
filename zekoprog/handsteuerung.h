#pragma once

namespace zekoprog {

// The key loop: v, l, n, g steer ZEKO, e ends; other keys do nothing. The end
// of the input ends the loop like "e", so the recorded steps are kept.
void HANDSTEUERUNG();

}  // namespace zekoprog
