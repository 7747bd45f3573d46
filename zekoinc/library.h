// The learner library: a world started from a file, the robot's commands
// with the single-step or Go pause after each redraw, and the end of a run.
#pragma once

#include <string_view>

namespace zeko::library {

void start();
void INITIALISIERE_DIE_ROBOTERWELT(std::string_view name);
void WARTE();

}  // namespace zeko::library
