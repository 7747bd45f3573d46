// Error numbers of failed file operations, apart from the run-time error
// path itself so that a build can put its own path in place (the fuzz
// targets turn the end of the process into an exception).
#include <cerrno>

#include "runtime_error.h"

namespace console {

int file_error_number(int errno_value) {
  switch (errno_value) {
    case ENOENT: return 2;
    case EACCES:
    case EPERM: return 5;
    default: return errno_value;
  }
}

}  // namespace console
