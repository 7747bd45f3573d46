// What every learner program needs in its environment when the tests run
// it: in a sanitizer build the library is instrumented, and a program that is
// not (Free Pascal knows nothing of sanitizers) can only load it with the
// sanitizer runtime preloaded.
#pragma once

#include <sstream>
#include <string>
#include <vector>

inline std::vector<std::string> learner_environment() {
#ifdef ZEKO_SANITIZE
  return {"LD_PRELOAD=" ZEKO_ASAN_RUNTIME, "ASAN_OPTIONS=detect_leaks=0:verify_asan_link_order=0"};
#else
  return {};
#endif
}

// What a compile printed, less the linker's notes on the sanitizer runtime
// (it warns of tmpnam when a learner program links the instrumented
// library): those come from the test build, not from the learner's code.
inline std::string without_sanitizer_link_notes(const std::string& out) {
  std::istringstream lines(out);
  std::string kept;
  for (std::string line; std::getline(lines, line);)
    if (line.find("libasan.so") == std::string::npos) kept += line + "\n";
  return kept;
}
