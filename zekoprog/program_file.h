// The learner program that zekoprog writes: head, one statement line per
// successful robot command, tail.
#pragma once

#include <string>

namespace zekoprog {

// Creates (or replaces) the program file and writes its head; an existing
// program file is kept as NAME.bak first. From then on
// the robot commands append their statements, and a SIGHUP, SIGTERM, SIGINT
// or SIGQUIT still writes the tail before the process ends.
void create_program_file(const std::string& program_name, const std::string& world_name);

// Writes the tail and closes the file.
void finish_program_file();

}  // namespace zekoprog
