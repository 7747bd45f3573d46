// What every learner program needs in its environment when the tests run
// it: in a sanitizer build the library is instrumented, and a program that is
// not (Free Pascal knows nothing of sanitizers) can only load it with the
// sanitizer runtime preloaded.
#pragma once

#include <string>
#include <vector>

inline std::vector<std::string> learner_environment() {
#ifdef ZEKO_SANITIZE
  return {"LD_PRELOAD=" ZEKO_ASAN_RUNTIME, "ASAN_OPTIONS=detect_leaks=0:verify_asan_link_order=0"};
#else
  return {};
#endif
}
