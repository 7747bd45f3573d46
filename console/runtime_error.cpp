#include "runtime_error.h"

#include <cstdio>
#include <cstdlib>

#include "console.h"

namespace console {

void runtime_error(int number, const std::string& explanation) {
  // The report starts a line of its own, also when the cursor stands in the
  // middle of a drawn screen.
  bool mid_line = output_is_terminal() && where_x() != 1;
  shutdown();
  if (mid_line) std::fputc('\n', stderr);
  std::fprintf(stderr, "Runtime error %d: %s\n", number, explanation.c_str());
  std::fflush(stderr);
  std::exit(number);
}

}  // namespace console
