// The start of zekoprog up to the key loop: the dialog that asks for the
// world file and the program file, and the loading and drawing of the world.
#pragma once

#include <string_view>

#include "world.h"

namespace zekoprog {

// Asks for both names (each cut to 50 characters) until the world file can
// be opened. Leaving the dialog with Esc after a wrong world name, or at the
// end of the input, leaves the program-file name empty: the start then ends
// quietly.
void DATEINAMEN_EINLESEN(zeko::strngp& welt, zeko::strngp& programm);

// Reads the world file and draws the screen, the fields and the robot.
void INITIALISIERE_DIE_ZEKOWELT(std::string_view welt);

}  // namespace zekoprog
