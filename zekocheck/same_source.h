// Programs whose sources are the same bytes under the same ending share one
// compile: a class hands in many copies of the model solution, and each
// compile costs far more than a run.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace zekocheck {

struct Program;

// For each entry of `copies` (the path of a program's source copy, or empty
// for a program that is not compiled) the index of the program whose
// compile it shares: the first one with the same file name and bytes, or
// its own index. A file that cannot be read shares with none.
std::vector<std::size_t> compile_leaders(const std::vector<std::string>& copies);

// Gives `to` what the shared compile gave `from`: its messages (they name
// the copy, which has the same name in every folder) and whether it failed.
void take_compile_result(const Program& from, Program& to);

}  // namespace zekocheck
