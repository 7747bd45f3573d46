#include "runtime_error.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "console.h"

namespace console {

void runtime_error(int number, const std::string& explanation) {
  shutdown();
  std::fprintf(stderr, "Runtime error %d: %s\n", number, explanation.c_str());
  std::fflush(stderr);
  std::exit(number);
}

int file_error_number(int errno_value) {
  switch (errno_value) {
    case ENOENT: return 2;
    case EACCES:
    case EPERM: return 5;
    default: return errno_value;
  }
}

}  // namespace console
