#include "source_index.h"

#include <cctype>
#include <string_view>

#include "world_file.h"

namespace zekocheck {
namespace {

namespace rules = zeko::rules;

constexpr std::size_t kMaxSource = 1 << 20;

bool is_pascal(const std::string& file_name) {
  std::size_t dot = file_name.rfind('.');
  std::string ext = dot == std::string::npos ? "" : file_name.substr(dot + 1);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext == "pas" || ext == "pp";
}

// Where the comment or string that starts at `i` ends (its last byte), or
// npos when nothing starts there; an unclosed one runs to the end.
std::size_t skipped_until(const std::string& s, std::size_t i, bool pascal) {
  auto until = [&](const char* end, std::size_t from) {
    std::size_t at = s.find(end, from);
    return at == std::string::npos ? s.size() - 1 : at + std::string_view(end).size() - 1;
  };
  if (s.compare(i, 2, "//") == 0) return until("\n", i);
  if (pascal) {
    if (s[i] == '{') return until("}", i + 1);
    if (s.compare(i, 2, "(*") == 0) return until("*)", i + 2);
    if (s[i] == '\'') return until("'", i + 1);
    return std::string::npos;
  }
  if (s.compare(i, 2, "/*") == 0) return until("*/", i + 2);
  if (s[i] != '"' && s[i] != '\'') return std::string::npos;
  for (std::size_t k = i + 1; k < s.size(); ++k) {
    if (s[k] == '\\') ++k;
    else if (s[k] == s[i] || s[k] == '\n') return k;
  }
  return s.size() - 1;
}

// The call a word names, if any.
int call_named(std::string word, bool pascal) {
  bool upper = !pascal && word == [&] {
    std::string u = word;
    for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return u;
  }();
  if (pascal || upper)
    for (char& c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (std::size_t k = 0; k < kCallKinds; ++k)
    if (word == rules::call_name(static_cast<rules::Call>(k))) return static_cast<int>(k);
  return -1;
}

}  // namespace

SourceIndex index_source(const std::string& s, const std::string& file_name) {
  SourceIndex index;
  index.file = file_name.substr(file_name.rfind('/') + 1);
  const bool pascal = is_pascal(file_name);
  int line = 1;
  std::string word;
  for (std::size_t i = 0; i <= s.size(); ++i) {
    char c = i < s.size() ? s[i] : '\n';
    if (std::isalnum(static_cast<unsigned char>(c)) || c == '_') {
      word += c;
      continue;
    }
    if (int call = word.empty() ? -1 : call_named(word, pascal); call >= 0) {
      std::vector<int>& lines = index.lines[call];
      if (lines.empty() || lines.back() != line) lines.push_back(line);
    }
    word.clear();
    std::size_t end = i < s.size() ? skipped_until(s, i, pascal) : std::string::npos;
    if (end != std::string::npos) {
      for (std::size_t k = i; k <= end; ++k) line += s[k] == '\n';
      i = end;
    } else {
      line += c == '\n' && i < s.size();
    }
  }
  return index;
}

SourceIndex index_program_source(const Program& program) {
  std::string text, error;
  // The descriptor zekocheck holds is followed to the file it opened; a
  // name of the pupil's never is.
  if (!read_plain_file(program.read_from(), kMaxSource + 1, text, error, !program.file.empty()) ||
      text.size() > kMaxSource)
    text.clear();
  return index_source(text, program.path);
}

std::string lines_text(const SourceIndex& index, rules::Call call) {
  const std::vector<int>& lines = index.lines[static_cast<std::size_t>(call)];
  if (lines.empty()) return "";
  std::string text = lines.size() == 1 ? "Zeile " : "Zeilen ";
  for (std::size_t k = 0; k < lines.size() && k < 3; ++k) text += (k ? ", " : "") + std::to_string(lines[k]);
  return text + (lines.size() > 3 ? ", ..." : "");
}

std::string commands_used(const std::string& source, const std::string& file_name) {
  SourceIndex index = index_source(source, file_name);
  std::string list;
  for (std::size_t k = 0; k < kCallKinds; ++k)
    if (!index.lines[k].empty()) list += (list.empty() ? "" : ", ") + std::string(rules::call_name(static_cast<rules::Call>(k)));
  return list;
}

}  // namespace zekocheck
