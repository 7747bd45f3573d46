#include "report.h"

#include <cctype>
#include <cstdio>
#include <sstream>

#include "grades.h"

namespace zekocheck {
namespace {

constexpr std::size_t kShownOutputLines = 5;

std::string base_name(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// The length of the UTF-8 sequence at `i`; 0 where the bytes there are
// none: no overlong forms, no surrogates, nothing past U+10FFFF.
std::size_t utf8_length(const std::string& text, std::size_t i) {
  unsigned char c = static_cast<unsigned char>(text[i]);
  std::size_t n = c >= 0xF0 && c < 0xF5 ? 4 : c >= 0xE0 && c < 0xF0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
  if (n == 0 || i + n > text.size()) return 0;
  for (std::size_t k = 1; k < n; ++k)
    if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return 0;
  unsigned char second = static_cast<unsigned char>(text[i + 1]);
  if ((c == 0xE0 && second < 0xA0) || (c == 0xED && second > 0x9F) || (c == 0xF0 && second < 0x90) ||
      (c == 0xF4 && second > 0x8F))
    return 0;
  return n;
}

// U+FFFE and U+FFFF: UTF-8, but no characters XML allows.
bool is_non_character(const std::string& text, std::size_t i, std::size_t n) {
  return n == 3 && static_cast<unsigned char>(text[i]) == 0xEF && static_cast<unsigned char>(text[i + 1]) == 0xBF &&
         static_cast<unsigned char>(text[i + 2]) >= 0xBE;
}

const char* const kReplacement = "\xEF\xBF\xBD";  // U+FFFD

}  // namespace

std::string printable(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      out += (c < 32 && c != '\t' && c != '\n') || c == 127 ? '?' : static_cast<char>(c);
      ++i;
      continue;
    }
    std::size_t n = utf8_length(text, i);
    if (n > 0 && !is_non_character(text, i, n)) {
      out.append(text, i, n);
      i += n;
    } else {
      out += kReplacement;
      i += n > 0 ? n : 1;
    }
  }
  return out;
}

namespace {

std::string hex(unsigned value) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "\\x%02x", value);
  return buf;
}

// The character of the UTF-8 sequence of length `n` at `i`.
unsigned code_point(const std::string& text, std::size_t i, std::size_t n) {
  unsigned c = static_cast<unsigned char>(text[i]) & (n == 2 ? 0x1F : n == 3 ? 0x0F : 0x07);
  for (std::size_t k = 1; k < n; ++k) c = (c << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
  return c;
}

// The characters that turn the direction of the text around it (U+061C,
// U+200E/F, U+202A..E, U+2066..9): on a terminal they could make a name or
// a line read as something else, so they are shown by their number.
bool is_direction_mark(unsigned c) {
  return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

std::string code_point_name(unsigned c) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "<U+%04X>", c);
  return buf;
}

}  // namespace

std::string visible(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      if (c == '\t') out += '\t';
      else if (c < 32) out += std::string("^") + static_cast<char>(c + 64);
      else if (c == 127) out += "^?";
      else out += static_cast<char>(c);
      ++i;
      continue;
    }
    std::size_t n = utf8_length(text, i);
    unsigned point = n > 0 ? code_point(text, i, n) : 0;
    if (n > 0 && point < 0xA0) {
      out += hex(point);  // a C1 control, e.g. CSI
      i += 2;
    } else if (n > 0 && is_direction_mark(point)) {
      out += code_point_name(point);
      i += n;
    } else if (n > 0) {
      out.append(text, i, n);
      i += n;
    } else {
      out += hex(c);
      ++i;
    }
  }
  return out;
}

std::string xml(const std::string& raw) {
  std::string out;
  for (char ch : printable(raw)) {
    switch (ch) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      default: out += ch;
    }
  }
  return out;
}

std::string shell_quoted(const std::string& word) {
  std::string quoted = "'";
  for (char ch : word) quoted += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
  return quoted + "'";
}

char field_mark(int value) {
  if (value < 0) return '#';
  if (value == 0) return '.';
  if (value > 9) return '+';
  return static_cast<char>('0' + value);
}

char heading_mark(int richtung) {
  static const char arrows[] = {'^', 'v', '<', '>'};
  return arrows[richtung & 3];
}

namespace {

// A field as two characters: the mark of a difference and the value.
// ZEKO stands in the value when his field is empty, else in the mark (a
// difference's mark wins: the position line names his place then).
std::string grid_field(const World& w, int x, int y, bool differs, bool goal) {
  const char zeko = goal ? 'Z' : heading_mark(w.richtung);
  const bool here = w.x == x && w.y == y;
  const char value = field_mark(w.feld[x][y]);
  if (here && value == '.') return std::string(1, differs ? '*' : ' ') + zeko;
  return std::string(1, differs ? '*' : here ? zeko : ' ') + value;
}

// Expected and actual grid side by side; a '*' before a field marks a
// difference.
void write_grids(std::ostream& out, const Verdict& v) {
  auto header = [] {
    std::string s = "   ";
    for (int x = 0; x < kColumns; ++x) s += " " + std::to_string(x % 10);
    return s;
  };
  auto row = [&](const World& w, int y) {
    std::string s = "  " + std::to_string(y);
    for (int x = 0; x < kColumns; ++x) s += grid_field(w, x, y, v.expected.feld[x][y] != v.actual.feld[x][y], &w == &v.expected);
    return s;
  };
  std::string h = header();
  out << "  " << std::string("erwartet") + std::string(h.size() - 8 + 4, ' ') << "tatsaechlich\n";
  out << "  " << h << "    " << h << "\n";
  for (int y = 0; y < kRows; ++y) out << "  " << row(v.expected, y) << "    " << row(v.actual, y) << "\n";
  out << "  (. leer, # Hindernis, 1-9 Gegenstaende, + mehr als 9, * anders als erwartet,\n"
         "   Z ZEKO im Ziel, ^ v < > ZEKO mit Blickrichtung; vor der Zahl, wenn auf seinem Feld etwas liegt)\n";
}

void json_string(std::ostream& out, const std::string& raw) {
  std::string text = printable(raw);
  out << '"';
  for (char ch : text) {
    unsigned char c = static_cast<unsigned char>(ch);
    switch (ch) {
      case '"': out << "\\\""; break;
      case '\\': out << "\\\\"; break;
      case '\n': out << "\\n"; break;
      case '\t': out << "\\t"; break;
      default:
        if (c < 32) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out << buf;
        } else {
          out << ch;
        }
    }
  }
  out << '"';
}


// The reason with the compiler's first message, on one line.
std::string full_reason(const Checked& c) {
  std::string reason = c.verdict.reason;
  if (c.program->compile_failed) {
    std::vector<std::string> messages = compiler_messages(*c.program, 1);
    if (!messages.empty()) reason += ": " + messages[0];
  }
  return reason;
}

std::string details(const Checked& c) {
  std::ostringstream s;
  const Verdict& v = c.verdict;
  if (c.program->compile_failed)
    for (const auto& m : compiler_messages(*c.program)) s << "  " << m << "\n";
  if (v.wrong_world) write_grids(s, v);
  if (v.position_differs)
    s << "  Position: erwartet x=" << v.expected.x << " y=" << v.expected.y << ", tatsaechlich x=" << v.actual.x
      << " y=" << v.actual.y << "\n";
  if (v.supply_differs)
    s << "  Vorrat: erwartet " << v.expected.vorrat << ", tatsaechlich " << v.actual.vorrat << "\n";
  return s.str();
}

}  // namespace

std::vector<std::string> compiler_messages(const Program& program, std::size_t count) {
  std::vector<std::string> found, other;
  for (std::string line : lines_of(program.compile_messages)) {
    // fpc: "programm.pas(4,1) Fehler: ..."; cc: "programm.c:4:1: Fehler: ..."
    const std::string copy = source_copy(program);
    std::size_t at = line.find(copy);
    std::size_t after = at == std::string::npos ? 0 : at + copy.size();
    bool place = at != std::string::npos && after + 1 < line.size() &&
                 (line[after] == '(' || (line[after] == ':' && std::isdigit(static_cast<unsigned char>(line[after + 1]))));
    if (!place) {
      if (!line.empty()) other.push_back(printable(line));
      continue;
    }
    line.replace(at, copy.size(), base_name(program.path));
    bool minor = line.find("Warning:") != std::string::npos || line.find("Note:") != std::string::npos ||
                 line.find("warning:") != std::string::npos || line.find("note:") != std::string::npos ||
                 line.find("Anmerkung:") != std::string::npos || line.find("Hint:") != std::string::npos || line.find("Warnung:") != std::string::npos ||
                 line.find("Hinweis:") != std::string::npos || line.find("Notiz:") != std::string::npos;
    bool summary = line.find("There were") != std::string::npos || line.find("Es traten") != std::string::npos;
    if (!minor && !summary && found.size() < count) found.push_back(printable(line));
  }
  if (found.empty() && !other.empty()) found.push_back(other.back());
  return found;
}

void write_for_people(std::ostream& out, const std::vector<Checked>& results) {
  for (const Checked& c : results) {
    const Verdict& v = c.verdict;
    const std::string name = visible(c.program->name);
    const char* unsandboxed = c.program->without_sandbox ? "  (ohne Sandbox gelaufen)\n" : "";
    const std::string grade = "  " + visible(grade_text(c)) + "\n";
    if (v.passed) {
      out << name << ": bestanden\n" << grade << unsandboxed;
      continue;
    }
    out << name << ": nicht bestanden - " << visible(v.reason) << "\n" << grade << unsandboxed;
    for (const std::string& line : lines_of(details(c))) out << visible(line) << "\n";
    std::vector<std::string> lines = lines_of(v.output);
    if (lines.empty()) continue;
    out << "  Ausgabe des Programms:\n";
    for (std::size_t i = 0; i < lines.size() && i < kShownOutputLines; ++i)
      out << "  | " << visible(lines[i]) << "\n";
    if (lines.size() > kShownOutputLines || v.output_cut)
      out << "  | ... (" << lines.size() << (v.output_cut ? "+" : "") << " Zeilen)\n";
  }
}

namespace {

void write_json_grade(std::ostream& out, const Checked& c) {
  out << ", \"worlds_passed\": " << c.verdict.worlds_passed << ", \"worlds\": " << c.verdict.worlds
      << ", \"same_as\": ";
  if (c.program->same_as.empty()) out << "null";
  else json_string(out, c.program->same_as);
}

// The grade as properties of a test case (GitLab and CI tools keep them).
std::string junit_properties(const Checked& c) {
  std::string text = "<property name=\"welten\" value=\"" + xml(worlds_text(c.verdict)) + "\"/>";
  if (!c.program->same_as.empty())
    text += "<property name=\"gleich\" value=\"" + xml(copy_text(*c.program)) + "\"/>";
  if (c.program->without_sandbox) text += "<property name=\"sandbox\" value=\"ohne Sandbox gelaufen\"/>";
  return "      <properties>" + text + "</properties>\n";
}

}  // namespace

void write_json(std::ostream& out, const std::vector<Checked>& results) {
  out << "[";
  bool first = true;
  for (const Checked& c : results) {
    const Verdict& v = c.verdict;
    out << (first ? "\n" : ",\n") << "  {\"name\": ";
    first = false;
    json_string(out, c.program->name);
    out << ", \"passed\": " << (v.passed ? "true" : "false") << ", \"reason\": ";
    json_string(out, full_reason(c));
    out << ", \"world\": " << v.pair << ", \"commands\": " << v.commands << ", \"milliseconds\": " << v.milliseconds;
    out << ", \"fields\": [";
    for (std::size_t i = 0; i < v.fields.size(); ++i) {
      const FieldDifference& f = v.fields[i];
      out << (i ? ", " : "") << "{\"x\": " << f.x << ", \"y\": " << f.y << ", \"expected\": " << f.expected
          << ", \"actual\": " << f.actual << "}";
    }
    out << "], \"position\": ";
    if (v.position_differs)
      out << "{\"expected\": {\"x\": " << v.expected.x << ", \"y\": " << v.expected.y << "}, \"actual\": {\"x\": "
          << v.actual.x << ", \"y\": " << v.actual.y << "}}";
    else
      out << "null";
    out << ", \"supply\": ";
    if (v.supply_differs) out << "{\"expected\": " << v.expected.vorrat << ", \"actual\": " << v.actual.vorrat << "}";
    else out << "null";
    write_json_grade(out, c);
    out << ", \"output\": ";
    json_string(out, v.output);
    out << ", \"sandbox\": " << (c.program->sandboxed ? "true" : "false") << "}";
  }
  out << (results.empty() ? "]\n" : "\n]\n");
}

void write_junit(std::ostream& out, const std::vector<Checked>& results, const std::string& suite) {
  std::size_t failures = 0;
  long total_ms = 0;
  for (const Checked& c : results) {
    if (!c.verdict.passed) ++failures;
    total_ms += c.verdict.milliseconds;
  }
  auto seconds = [](long ms) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f", ms / 1000.0);
    return std::string(buf);
  };
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  out << "<testsuites name=\"zekocheck\" tests=\"" << results.size() << "\" failures=\"" << failures
      << "\" errors=\"0\" time=\"" << seconds(total_ms) << "\">\n";
  out << "  <testsuite name=\"" << xml(suite) << "\" tests=\"" << results.size() << "\" failures=\"" << failures
      << "\" errors=\"0\" skipped=\"0\" time=\"" << seconds(total_ms) << "\">\n";
  for (const Checked& c : results) {
    const Verdict& v = c.verdict;
    out << "    <testcase classname=\"" << xml("zekocheck." + suite) << "\" name=\"" << xml(c.program->name)
        << "\" time=\"" << seconds(v.milliseconds) << "\"";
    out << ">\n" << junit_properties(c);
    if (!v.passed)
      out << "      <failure message=\"" << xml(full_reason(c)) << "\" type=\"nicht bestanden\">"
          << xml("  " + grade_text(c) + "\n" + details(c)) << "</failure>\n";
    if (!v.output.empty()) out << "      <system-out>" << xml(v.output) << "</system-out>\n";
    out << "    </testcase>\n";
  }
  out << "  </testsuite>\n</testsuites>\n";
}

}  // namespace zekocheck
