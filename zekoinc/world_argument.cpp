#include "world_argument.h"

namespace zeko::library {

std::optional<std::string> world_name_from_text(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  if (text.size() < 2 || (text.front() != '\'' && text.front() != '"') || text.back() != text.front())
    return std::nullopt;
  const char quote = text.front();
  std::string_view inside = text.substr(1, text.size() - 2);
  std::string name;
  for (std::size_t i = 0; i < inside.size(); ++i) {
    char ch = inside[i];
    bool escaped = quote == '"' ? ch == '\\' : ch == '\'';
    if (escaped) {
      if (++i == inside.size()) return std::nullopt;
      ch = inside[i];
      if (quote == '\'' && ch != '\'') return std::nullopt;  // two literals, not one
    } else if (ch == quote) {
      return std::nullopt;  // "a" "b": more than one literal
    }
    name += ch;
  }
  return name;
}

}  // namespace zeko::library
