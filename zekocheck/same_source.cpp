#include "same_source.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <utility>

#include "runner.h"

namespace zekocheck {

std::vector<std::size_t> compile_leaders(const std::vector<Program>& programs, const std::vector<bool>& compiled) {
  std::vector<std::size_t> leader(programs.size());
  // Sizes first: a source is only read when another one is as long.
  std::map<std::pair<std::string, std::uintmax_t>, std::vector<std::size_t>> by_size;
  for (std::size_t i = 0; i < programs.size(); ++i) {
    leader[i] = i;
    if (i >= compiled.size() || !compiled[i]) continue;
    std::error_code ec;
    std::uintmax_t size = std::filesystem::file_size(programs[i].path, ec);
    if (!ec) by_size[{source_copy(programs[i]), size}].push_back(i);
  }
  for (const auto& [key, same_size] : by_size) {
    if (same_size.size() < 2) continue;
    std::map<std::string, std::size_t> first_with;  // bytes -> program
    for (std::size_t i : same_size) {
      std::ifstream in(programs[i].path, std::ios::binary);
      std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      if (!in.is_open() || in.bad() || bytes.size() != key.second) continue;
      leader[i] = first_with.emplace(std::move(bytes), i).first->second;
    }
  }
  return leader;
}

void take_compile_result(const Program& from, Program& to) {
  to.compile_messages = from.compile_messages;
  to.compile_failed = from.compile_failed;
  to.compile_limit = from.compile_limit;
  if (to.unusable.empty()) to.unusable = from.unusable;
}

}  // namespace zekocheck
