// What the start dialogs of the two programs share: the cleared screen with
// the program's title, asking for a name, the test whether a world file
// opens, and a notice in red.
#pragma once

#include <string_view>

#include "world.h"

namespace zeko {

// Clears the screen and writes the title, then a line holding one blank.
void dialog_title(std::string_view title);

// Writes the prompt and reads a name, cut to 50 characters. False when the
// input has ended before anything was typed (the name is then empty).
bool ask_name(std::string_view prompt, strngp& name);

// Whether the world file opens where the reader will look for it; what it
// holds is the reader's business. An empty name opens nothing.
bool world_file_opens(std::string_view name);

// The text on a line of its own in red; black again after it.
void red_notice(std::string_view text);

}  // namespace zeko
