// In the fuzz targets the run-time error path throws instead of ending the
// process, so that an input that ends the program with a report is an
// ordinary outcome and the next input runs in the same process.
#pragma once

#include <string>

namespace zeko_fuzz {

struct RuntimeError {
  int number;
  std::string explanation;
};

}  // namespace zeko_fuzz
