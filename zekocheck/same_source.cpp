#include "same_source.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <utility>

#include "runner.h"

namespace zekocheck {
namespace {

constexpr std::size_t kChunk = 64 * 1024;

// A source's bytes as a hash, read piece by piece: a class's sources
// never need to be in memory at once. Nothing when it cannot be read or
// its size is not `size` any more.
std::optional<std::uint64_t> hash_of(const std::string& path, std::uintmax_t size) {
  std::ifstream in(path, std::ios::binary);
  if (!in.is_open()) return std::nullopt;
  std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
  std::uintmax_t total = 0;
  char buf[kChunk];
  while (in.read(buf, sizeof buf) || in.gcount() > 0) {
    for (std::streamsize k = 0; k < in.gcount(); ++k) hash = (hash ^ static_cast<unsigned char>(buf[k])) * 1099511628211ull;
    total += static_cast<std::uintmax_t>(in.gcount());
  }
  if (in.bad() || total != size) return std::nullopt;
  return hash;
}

// Whether two files hold the same bytes, compared piece by piece.
bool same_bytes(const std::string& a, const std::string& b) {
  std::ifstream x(a, std::ios::binary), y(b, std::ios::binary);
  if (!x.is_open() || !y.is_open()) return false;
  char left[kChunk], right[kChunk];
  for (;;) {
    x.read(left, sizeof left);
    y.read(right, sizeof right);
    if (x.gcount() != y.gcount() || x.bad() || y.bad()) return false;
    if (x.gcount() == 0) return true;
    if (!std::equal(left, left + x.gcount(), right)) return false;
  }
}

}  // namespace

std::vector<std::size_t> compile_leaders(const std::vector<Program>& programs, const std::vector<bool>& compiled) {
  std::vector<std::size_t> leader(programs.size());
  // Sizes first: a source is only read when another one is as long.
  std::map<std::pair<std::string, std::uintmax_t>, std::vector<std::size_t>> by_size;
  for (std::size_t i = 0; i < programs.size(); ++i) {
    leader[i] = i;
    if (i >= compiled.size() || !compiled[i]) continue;
    std::error_code ec;
    std::uintmax_t size = std::filesystem::file_size(programs[i].read_from(), ec);
    if (!ec) by_size[{source_copy(programs[i]), size}].push_back(i);
  }
  for (const auto& [key, same_size] : by_size) {
    if (same_size.size() < 2) continue;
    std::map<std::uint64_t, std::size_t> first_with;  // hash -> program
    for (std::size_t i : same_size) {
      std::optional<std::uint64_t> hash = hash_of(programs[i].read_from(), key.second);
      if (!hash) continue;
      std::size_t first = first_with.emplace(*hash, i).first->second;
      if (first != i && same_bytes(programs[first].read_from(), programs[i].read_from())) leader[i] = first;
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
