// What a run-time error number of the language's run-time library means,
// in German for the learner.
#pragma once

namespace console {

// "Division durch 0" for 200 and so on; nullptr for a number without a text.
const char* runtime_error_text(int number);

}  // namespace console
