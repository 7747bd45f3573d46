// Programs whose sources are the same bytes under the same ending share one
// compile: a class hands in many copies of the model solution, and each
// compile costs far more than a run.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace zekocheck {

struct Program;

// For each program the index of the program whose compile it shares: the
// first one to be compiled (`compiled[i]`) whose source has the same bytes
// and whose copy the same name (so the same ending and language), or its
// own index. A source that cannot be read shares with none.
std::vector<std::size_t> compile_leaders(const std::vector<Program>& programs, const std::vector<bool>& compiled);

// Gives `to` what the shared compile gave `from`: its messages (they name
// the copy, which has the same name in every folder) and whether it failed.
void take_compile_result(const Program& from, Program& to);

}  // namespace zekocheck
