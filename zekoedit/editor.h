// The world editor's own operations: the start dialog, the start of the
// world, the editing loop and the supply question asked while saving.
#pragma once

#include <cstdint>

#include "world.h"

namespace zekoedit {

// Asks for the world's name. Always sets `save_name`; sets `load_name` only
// when a file of that name opens.
void DATEINAMEN_EINLESEN(zeko::strngp& save_name, zeko::strngp& load_name);

// Reads the world from `load_name` and shows it under `save_name`.
void INITIALISIERE_DIE_ZEKOWELT(zeko::strngp load_name, zeko::strngp save_name);

// The editing loop: cursor keys, space bar, n, g; e ends it.
void HANDSTEUERUNG();

// The supply the saved world gives the robot; asked for by the world writer
// after the grid has been written.
int16_t VORRAT_ERFRAGEN();

// Input ended (or Ctrl-C was pressed) before the world could be saved:
// restores the screen's background, clears it, says on standard error that
// nothing was saved (naming Ctrl-C when that ended it) and ends the program
// with `status`. The world file is left as it was.
[[noreturn]] void end_unsaved(bool by_ctrl_c = false, int status = 1);

}  // namespace zekoedit
