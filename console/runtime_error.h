// The run-time error path shared by all deliverables: the console is shut
// down first, then "Runtime error N: ..." goes to standard error and the
// process ends with status N.
#pragma once

#include <string>

namespace console {

[[noreturn]] void runtime_error(int number, const std::string& explanation);

// The report of a run-time error the language's run-time library found in
// the learner's program, on a row of its own that it clears first:
// "Runtime error 200 - Division durch 0 (rt.pas, Zeile 8)"; `place` may be
// empty. The console is shut down first; the caller ends the process.
void report_runtime_error(int number, const std::string& place);

// Error number of a failed file operation: 2 not found, 5 access denied,
// otherwise the platform's own number.
int file_error_number(int errno_value);

}  // namespace console
