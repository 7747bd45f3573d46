#include "runtime_error.h"

#include "runtime_error_throws.h"

namespace console {

void runtime_error(int number, const std::string& explanation) {
  throw zeko_fuzz::RuntimeError {number, explanation};
}

}  // namespace console
