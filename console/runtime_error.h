// The run-time error path shared by all deliverables: the console is shut
// down first, then "Runtime error N: ..." goes to standard error and the
// process ends with status N.
#pragma once

#include <string>

namespace console {

[[noreturn]] void runtime_error(int number, const std::string& explanation);

// Error number of a failed file operation: 2 not found, 5 access denied,
// otherwise the platform's own number.
int file_error_number(int errno_value);

}  // namespace console
