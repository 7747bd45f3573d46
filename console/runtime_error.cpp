#include "runtime_error.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "console.h"
#include "runtime_error_text.h"

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

void report_runtime_error(int number, const std::string& place) {
  bool mid_line = output_is_terminal() && where_x() != 1;
  shutdown();
  std::string line = "Runtime error " + std::to_string(number);
  if (const char* text = runtime_error_text(number)) line += std::string(" - ") + text;
  if (!place.empty()) line += " (" + place + ")";
  // What the drawn screen left on that row goes first.
  if (::isatty(2)) line = std::string(mid_line ? "\n" : "") + "\r\033[K" + line;
  std::fprintf(stderr, "%s\n", line.c_str());
  std::fflush(stderr);
}

}  // namespace console
