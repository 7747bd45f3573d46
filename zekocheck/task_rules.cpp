#include "task_rules.h"

#include <cctype>
#include <cstdlib>
#include <sstream>

namespace zekocheck {
namespace {

namespace rules = zeko::rules;

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// The names of a "Befehle:" line; words that are no robot call (warte,
// a placeholder) allow nothing and forbid nothing.
unsigned calls_named(const std::string& list) {
  unsigned bits = 0;
  std::string word;
  for (std::size_t i = 0; i <= list.size(); ++i) {
    char c = i < list.size() ? list[i] : ' ';
    if (std::isalnum(static_cast<unsigned char>(c)) || c == '_') {
      word += c;
      continue;
    }
    for (std::size_t k = 0; k < kCallKinds && !word.empty(); ++k)
      if (lower(word) == rules::call_name(static_cast<rules::Call>(k))) bits |= 1u << k;
    word.clear();
  }
  return bits;
}

// The text with the source's lines of the call; a single line is the
// failing line the page shows.
std::string with_place(const std::string& text, const SourceIndex& source, rules::Call call, long* line) {
  const std::vector<int>& at = source.lines[static_cast<std::size_t>(call)];
  if (line && at.size() == 1) *line = at[0];
  std::string lines = lines_text(source, call);
  return lines.empty() ? text : text + " (" + source.file + ", " + lines + ")";
}

}  // namespace

TaskRules read_task_rules(const std::string& task_text) {
  TaskRules r;
  std::istringstream in(task_text);
  for (std::string line; std::getline(in, line);) {
    if (line.starts_with("Befehle:")) r.allowed |= calls_named(line.substr(8));
    if (line.starts_with("Hoechstens:")) {
      char* end = nullptr;
      long n = std::strtol(line.c_str() + 11, &end, 10);
      if (end != line.c_str() + 11 && n > 0) r.max_commands = n;
    }
  }
  return r;
}

std::string allowed_text(const TaskRules& r) {
  std::string text;
  for (std::size_t k = 0; k < kCallKinds; ++k)
    if (r.allowed & (1u << k)) text += (text.empty() ? "" : ", ") + std::string(rules::call_name(static_cast<rules::Call>(k)));
  return text;
}

std::string rule_breach(const Replay& replay, const TaskRules& r, const SourceIndex& source, long* line) {
  if (r.allowed != 0)
    for (rules::Call call : replay.calls_used())
      if (!(r.allowed & (1u << static_cast<unsigned>(call))))
        return with_place(std::string(rules::call_name(call)) + " ist in dieser Aufgabe nicht erlaubt", source, call,
                          line);
  if (r.max_commands > 0 && replay.commands() > r.max_commands)
    return std::to_string(replay.commands()) + " Befehle, die Aufgabe erlaubt hoechstens " +
           std::to_string(r.max_commands) + " je Welt";
  return "";
}

std::string last_command_place(const Replay& replay, const SourceIndex& source, long* line) {
  std::optional<rules::Call> last = replay.last_command();
  if (!last) return "";
  return with_place(std::string(" - zuletzt ") + rules::call_name(*last), source, *last, line);
}

}  // namespace zekocheck
