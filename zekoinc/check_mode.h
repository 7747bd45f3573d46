// Check mode of the library, for zekocheck: switched on by the environment
// variable ZEKO_PRUEFEN (the result file). The program then runs without a
// screen: nothing is drawn, no key is awaited, standard input reads as
// ended, and every robot command is counted. ZEKO_PRUEFWELT names the world
// loaded in place of every world the program asks for, ZEKO_MAX_BEFEHLE the
// number of commands after which the program is ended (default 100000).
//
// At every end (normal end, WARTE, a failed command, the command limit, a
// run-time error, a signal) the result file is written: the world in the
// world-file format, then the lines "richtung N", "befehle N", "welten N"
// and "ende ..." with the reason.
#pragma once

#include <cstddef>
#include <string_view>

namespace zeko::check_mode {

constexpr int kLimitExitStatus = 124;

bool requested();  // the environment asks for check mode
void start();      // instead of the console's terminal start
bool active();

void load_world(std::string_view name);  // INITIALISIERE_DIE_ROBOTERWELT
void warte();
// The learner program's own text: straight to standard output.
void write_program_text(const char* text, std::size_t length);
// The Pascal unit's end of the program: its exit code, and whether it is a
// run-time error.
void program_end(long code, bool runtime_error);

}  // namespace zeko::check_mode
