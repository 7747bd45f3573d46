// Check mode of the library, for zekocheck: switched on by the environment
// variable ZEKO_PRUEFKANAL, the descriptors zekocheck opened (see
// core/check_channel.h). The program then runs without a screen: nothing is
// drawn, no key is awaited, standard input reads as ended. The world comes
// from zekocheck, and every robot call goes to zekocheck before it is
// carried out: commands one write each, sensors gathered into writes of a
// few hundred (they change no world) and sent at the next command or end.
// zekocheck judges from its own copy of the world; the library's own copy
// only answers the program's sensors.
//
// The library still ends the program itself after ZEKO_MAX_BEFEHLE commands
// (default 100000) or ten times as many sensor calls, with status 124. A
// channel that fails ends the program with status 125.
#pragma once

#include <cstddef>
#include <string_view>

#include "rules.h"

namespace zeko::check_mode {

constexpr int kLimitExitStatus = 124;
constexpr int kChannelLostStatus = 125;
constexpr long kSensorsPerCommand = 10;

bool requested();  // the environment asks for check mode
void start();      // instead of the console's terminal start
bool active();

void load_world(std::string_view name);  // INITIALISIERE_DIE_ROBOTERWELT
// A robot call, before it is carried out.
void call(rules::Call call);
void warte();
// The learner program's own text: straight to standard output.
void write_program_text(const char* text, std::size_t length);
// The Pascal unit's end of the program: its exit code, and whether it is a
// run-time error.
void program_end(long code, bool runtime_error);

}  // namespace zeko::check_mode
