#include "pupil_text.h"

namespace zekocheck {
namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Whether `text` has exactly `word` at `at`.
bool has_at(const std::string& text, std::size_t at, const std::string& word) {
  return at <= text.size() && text.compare(at, word.size(), word) == 0;
}

bool ends_word(const std::string& text, std::size_t at) {
  return at >= text.size() || text[at] == ' ' || text[at] == '\t' || text[at] == '\n' || text[at] == '\r';
}

}  // namespace

long line_number_at(const std::string& text, std::size_t at, std::size_t* end) {
  long n = 0;
  std::size_t i = at;
  // Digits past the range end the number's worth at once: no overflow.
  for (; i < text.size() && is_digit(text[i]); ++i)
    if (n <= kLargestLine) n = n * 10 + (text[i] - '0');
  if (end) *end = i;
  return i > at && n >= 1 && n <= kLargestLine ? n : 0;
}

std::vector<std::string> own_file_names(const std::string& path, bool source) {
  std::string base = path.substr(path.rfind('/') + 1);
  if (source) return {base};
  std::vector<std::string> names;
  for (const char* ending : {".pas", ".pp", ".c", ".cpp", ".cc", ".cxx"}) names.push_back(base + ending);
  return names;
}

long runtime_error_line(const std::string& output, const std::vector<std::string>& own) {
  for (const std::string& name : own) {  // the library's report: "(anna.pas, Zeile 7)"
    const std::string place = "(" + name + ", Zeile ";
    for (std::size_t at = output.find(place); at != std::string::npos; at = output.find(place, at + 1)) {
      std::size_t end = 0;
      long n = line_number_at(output, at + place.size(), &end);
      if (n > 0 && has_at(output, end, ")")) return n;
    }
  }
  const std::string line = "line ";
  for (std::size_t at = output.find(line); at != std::string::npos; at = output.find(line, at + 1)) {
    std::size_t end = 0;
    long n = line_number_at(output, at + line.size(), &end);
    if (n == 0 || !has_at(output, end, " of ")) continue;
    for (const std::string& name : own)
      if (has_at(output, end + 4, name) && ends_word(output, end + 4 + name.size())) return n;
  }
  return 0;
}

long compiler_message_line(const std::string& message, const std::string& own) {
  if (own.empty() || !message.starts_with(own) || message.size() <= own.size()) return 0;
  char open = message[own.size()];
  if (open != '(' && open != ':') return 0;
  std::size_t end = 0;
  long n = line_number_at(message, own.size() + 1, &end);
  return n > 0 && end < message.size() && message[end] == (open == '(' ? ',' : ':') ? n : 0;
}

std::string own_place_only(const std::string& reason, const std::vector<std::string>& own, long* line) {
  const std::string place = ", Zeile ";
  // The failure itself has no colon: whatever stands before its last ": "
  // is the program's line.
  std::size_t last = reason.rfind(": ");
  if (last == std::string::npos || reason.starts_with("Laufzeitfehler 215: ")) return reason;
  for (const std::string& name : own) {
    std::size_t end = 0;
    long n = name.empty() || !reason.starts_with(name + place) ? 0 : line_number_at(reason, name.size() + place.size(), &end);
    if (n > 0 && end == last) {
      if (line) *line = n;
      return reason;
    }
  }
  return reason.substr(last + 2);
}

}  // namespace zekocheck
