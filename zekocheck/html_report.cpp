#include "html_report.h"

#include <cstdio>
#include <fstream>
#include <sstream>

#include "atomic_file.h"
#include "grades.h"
#include "pupil_text.h"

namespace zekocheck {
namespace {

constexpr std::size_t kShownOutputLines = 40;

// Pupils name their files and write their output: neither may become markup.
std::string html(const std::string& raw) { return xml(raw); }

std::string base_name(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// The style is part of the page: it must open without any other file.
const char* const kStyle = R"(
@page { size: A4; margin: 12mm; }
body { font-family: sans-serif; font-size: 11pt; color: #000; background: #fff; margin: 1.5em; }
h1 { font-size: 16pt; margin: 0 0 .2em; }
h2 { font-size: 12pt; margin: 0 0 .3em; }
p { margin: .2em 0; }
.datum { color: #444; }
.summe { font-size: 13pt; margin: .4em 0 .8em; }
table.uebersicht { border-collapse: collapse; width: 100%; }
table.uebersicht th, table.uebersicht td { border: 1px solid #999; padding: 2px 6px; text-align: left; vertical-align: top; }
table.uebersicht th { background: #eee; }
td.zahl, td.ergebnis, td.welten { white-space: nowrap; }
.gleich { color: #a50; font-size: 9pt; }
td.zahl { text-align: right; }
tr.bestanden td.ergebnis { color: #060; font-weight: bold; }
tr.durchgefallen td.ergebnis { color: #a00; font-weight: bold; }
section.fehler { border-top: 2px solid #444; margin-top: 1.2em; padding-top: .4em; break-inside: avoid; page-break-inside: avoid; }
div.welten { display: flex; flex-wrap: wrap; gap: 1.5em; margin: .4em 0; }
figure { margin: 0; }
figcaption { font-weight: bold; margin-bottom: .2em; }
table.welt { border-collapse: collapse; font-family: monospace; font-size: 9pt; }
table.welt td, table.welt th { width: 1.4em; height: 1.4em; padding: 0; text-align: center; }
table.welt td { border: 1px solid #bbb; }
table.welt th { color: #666; font-weight: normal; font-size: 7pt; }
td.hindernis { background: #555; color: #fff; }
td.zeko { color: #05a; font-weight: bold; }
td.diff { background: #fcc; outline: 2px dashed #c00; outline-offset: -2px; }
td.diff-position { box-shadow: inset 0 0 0 2px #05a; }
.legende { font-size: 9pt; color: #444; }
code, pre { font-family: monospace; }
pre { background: #f4f4f4; border: 1px solid #ccc; padding: 4px; white-space: pre-wrap; word-break: break-all; font-size: 9pt; margin: .3em 0; }
@media print {
  body { margin: 0; font-size: 10pt; }
  a { color: inherit; text-decoration: none; }
  * { -webkit-print-color-adjust: exact; print-color-adjust: exact; }
}
)";

std::string seconds_text(long ms) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.2f s", ms / 1000.0);
  std::string s = buf;
  if (std::size_t dot = s.find('.'); dot != std::string::npos) s[dot] = ',';
  return s;
}

// ZEKO's heading as an arrow: up, down, left, right.
const char* heading_arrow(int richtung) {
  static const char* const arrows[] = {"&#9650;", "&#9660;", "&#9664;", "&#9654;"};
  return arrows[richtung & 3];
}

// One world as a grid. In the goal ZEKO has no heading (it is never
// compared); differing fields and a differing position are marked in both.
void write_grid(std::ostream& out, const Verdict& v, bool goal) {
  const World& w = goal ? v.expected : v.actual;
  write_world_table_head(out, goal ? "ziel" : "ende");
  for (int y = 0; y < kRows; ++y) {
    out << "<tr><th>" << y << "</th>";
    for (int x = 0; x < kColumns; ++x) {
      int value = w.feld[x][y];
      bool zeko = w.x == x && w.y == y;
      bool differs = v.wrong_world && v.expected.feld[x][y] != v.actual.feld[x][y];
      std::string classes = value < 0 ? "hindernis" : value > 0 ? "gegenstand" : "leer";
      if (zeko) classes += " zeko";
      if (differs) classes += " diff";
      if (zeko && v.position_differs) classes += " diff-position";
      out << "<td class=\"" << classes << "\"";
      if (differs || zeko) out << " data-x=\"" << x << "\" data-y=\"" << y << "\"";
      if (differs) out << " title=\"Ziel " << v.expected.feld[x][y] << ", Ende " << v.actual.feld[x][y] << "\"";
      out << ">";
      if (zeko) out << (goal ? "&#9679;" : heading_arrow(w.richtung));
      if (value < 0) out << "&#9632;";
      else if (value > 0) out << (zeko ? "<sub>" : "") << value << (zeko ? "</sub>" : "");
      out << "</td>";
    }
    out << "</tr>\n";
  }
  out << "</table>\n";
}

// The source line the compiler ("prog.pas(4,1)") or the verdict names: a
// place in the program's own file only.
long failing_line(const Checked& c, const std::vector<std::string>& compiler) {
  if (!compiler.empty()) return compiler_message_line(compiler[0], base_name(c.program->path));
  return c.verdict.line;
}

// The text of that line, when the place is in the program's own source
// (not in a unit or an included file).
std::string source_line(const Program& p, long number) {
  if (!p.source || number <= 0) return "";
  std::ifstream in(p.read_from());
  std::string line;
  for (long i = 0; i < number && std::getline(in, line); ++i) {
    if (i == number - 1) return line.size() > 200 ? line.substr(0, 200) + " ..." : line;
  }
  return "";
}

void write_failure(std::ostream& out, const Checked& c, std::size_t index) {
  const Verdict& v = c.verdict;
  out << "<section class=\"fehler\" id=\"p" << index << "\">\n<h2>" << html(c.program->name)
      << ": nicht bestanden</h2>\n<p class=\"grund\">" << html(v.reason) << "</p>\n";
  std::vector<std::string> compiler;
  if (c.program->compile_failed) compiler = compiler_messages(*c.program);
  if (long line = failing_line(c, compiler)) {
    out << "<p class=\"zeile\">Zeile " << line;
    std::string text = source_line(*c.program, line);
    if (!text.empty()) out << ": <code>" << html(text) << "</code>";
    out << "</p>\n";
  }
  if (!compiler.empty()) {
    out << "<pre class=\"uebersetzer\">";
    for (const std::string& m : compiler) out << html(m) << "\n";
    out << "</pre>\n";
  }
  if (v.has_worlds) {
    std::string world = v.pair > 0 ? " (Welt " + std::to_string(v.pair) + ")" : "";
    out << "<div class=\"welten\">\n<figure><figcaption>Ziel" << world << "</figcaption>\n";
    write_grid(out, v, true);
    out << "</figure>\n<figure><figcaption>" << (v.wrong_world ? "Ende" : "Beim Abbruch") << world
        << "</figcaption>\n";
    write_grid(out, v, false);
    out << "</figure>\n</div>\n<p class=\"legende\">&#9632; Hindernis, Zahl: Gegenst&auml;nde, &#9650;&#9660;&#9664;"
           "&#9654; ZEKO mit Blickrichtung, &#9679; ZEKO im Ziel; gestrichelt rot: Feld anders als im Ziel</p>\n";
  }
  if (v.position_differs)
    out << "<p class=\"position\">Position: Ziel x=" << v.expected.x << " y=" << v.expected.y << ", Ende x="
        << v.actual.x << " y=" << v.actual.y << "</p>\n";
  if (v.supply_differs)
    out << "<p class=\"vorrat\">Vorrat: Ziel " << v.expected.vorrat << ", Ende " << v.actual.vorrat << "</p>\n";
  else if (v.has_worlds)
    out << "<p class=\"vorrat\">Vorrat am Ende: " << v.actual.vorrat << "</p>\n";
  if (!v.output.empty()) {
    std::istringstream lines(v.output);
    std::string line, shown;
    std::size_t count = 0;
    while (std::getline(lines, line))
      if (++count <= kShownOutputLines) shown += line + "\n";
    out << "<p>Ausgabe des Programms:</p>\n<pre class=\"ausgabe\">" << html(shown);
    if (count > kShownOutputLines || v.output_cut)
      out << "... (" << count << (v.output_cut ? "+" : "") << " Zeilen)\n";
    out << "</pre>\n";
  }
  out << "</section>\n";
}

// A copy of another program's source, shown under its name.
std::string copy_note(const Program& p) {
  std::string copy = copy_text(p);
  return copy.empty() ? "" : "<br><span class=\"gleich\">" + html(copy) + "</span>";
}

}  // namespace

void write_world_table_head(std::ostream& out, const std::string& kind) {
  out << "<table class=\"welt " << kind << "\">\n<tr><th></th>";
  for (int x = 0; x < kColumns; ++x) out << "<th>" << x << "</th>";
  out << "</tr>\n";
}

std::string html_page(const HtmlHeading& heading, const std::vector<Checked>& results) {
  std::ostringstream out;
  std::size_t passed = 0;
  for (const Checked& c : results) passed += c.verdict.passed;
  std::string task = html(heading.task) + (heading.title.empty() ? "" : ": " + html(heading.title));
  out << "<!DOCTYPE html>\n<html lang=\"de\">\n<head>\n<meta charset=\"utf-8\">\n<title>zekocheck - " << task
      << "</title>\n<style>" << kStyle << "</style>\n</head>\n<body>\n";
  out << "<h1 class=\"aufgabe\">" << task << "</h1>\n<p class=\"datum\">Gepr&uuml;ft am " << html(heading.date)
      << "</p>\n<p class=\"summe\"><strong>" << passed << " von " << results.size()
      << "</strong> bestanden</p>\n";
  out << "<table class=\"uebersicht\">\n<thead><tr><th>Programm</th><th>Ergebnis</th><th>Welten</th><th>Grund</th>"
         "<th>Befehle</th><th>Zeit</th></tr></thead>\n<tbody>\n";
  for (std::size_t i = 0; i < results.size(); ++i) {
    const Checked& c = results[i];
    const Verdict& v = c.verdict;
    out << "<tr class=\"programm " << (v.passed ? "bestanden" : "durchgefallen") << "\"><td class=\"name\">";
    if (v.passed) out << html(c.program->name);
    else out << "<a href=\"#p" << i + 1 << "\">" << html(c.program->name) << "</a>";
    out << copy_note(*c.program) << "</td><td class=\"ergebnis\">" << (v.passed ? "bestanden" : "nicht bestanden")
        << "</td><td class=\"welten\">" << v.worlds_passed << " von " << v.worlds << "</td><td class=\"grund\">"
        << html(v.reason) << "</td><td class=\"zahl\">" << v.commands << "</td><td class=\"zahl\">"
        << seconds_text(v.milliseconds) << "</td></tr>\n";
  }
  out << "</tbody>\n</table>\n";
  for (std::size_t i = 0; i < results.size(); ++i)
    if (!results[i].verdict.passed) write_failure(out, results[i], i + 1);
  out << "</body>\n</html>\n";
  return out.str();
}

bool write_html(const std::string& path, const HtmlHeading& heading, const std::vector<Checked>& results,
                std::string& error) {
  return write_file_atomically(path, html_page(heading, results), error);
}

}  // namespace zekocheck
