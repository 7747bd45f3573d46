// --help and --version of the programs.
#pragma once

namespace zeko {

// Answers --help or --version on standard output for the deliverable in use
// and returns true; false when neither was given (the program then starts as
// always: every other argument is ignored).
bool answer_info_option(int argc, char** argv);

}  // namespace zeko
