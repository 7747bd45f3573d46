// Places in text a learner's program controls: its output, its compiler's
// messages and the line its library sends. Read by hand, left to right,
// with every number checked against the range a real place can have: the
// text may be anything, as long as anything fits into the output's limit.
#pragma once

#include <string>
#include <vector>

namespace zekocheck {

// The largest line number a place may name: a source is at most 1 MB.
constexpr long kLargestLine = 1L << 20;

// The number of decimal digits at `at` (1 to kLargestLine), or 0; `end`
// gets the position after the digits.
long line_number_at(const std::string& text, std::size_t at, std::size_t* end = nullptr);

// The names a program's own file can have: a source's own name; for an
// executable "anna", the sources it can be made of ("anna.pas", "anna.c" ...).
std::vector<std::string> own_file_names(const std::string& path, bool source);

// The line a run-time error names in one of the program's own files `own`
// (the library's "(anna.pas, Zeile 7)", Free Pascal's "line 7 of anna.pas"),
// or 0 when no such place names exactly one of them.
long runtime_error_line(const std::string& output, const std::vector<std::string>& own);

// The line a compiler message names at its start in the file `own`
// ("anna.pas(4,1) ..." from fpc, "anna.c:4:1: ..." from cc), or 0.
long compiler_message_line(const std::string& message, const std::string& own);

// A failed command's reason as the replay gives it: the failure itself
// ("vor - vor Zeko liegt ein Hindernis", no colon in it; or zekocheck's
// "Laufzeitfehler 215: ..."), or the program's own line ending with ": "
// and that failure ("anna.pas, Zeile 7: vor - ..."). That line is kept only
// when all before the failure is a place in one of the program's own files
// `own`; otherwise the failure alone. `line` gets the line kept, if any.
std::string own_place_only(const std::string& reason, const std::vector<std::string>& own, long* line = nullptr);

}  // namespace zekocheck
