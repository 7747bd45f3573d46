#include "class_page.h"

#include <sstream>

#include "grades.h"

namespace zekocheck {
namespace {

const char* const kStyle = R"(
@page { size: A4 landscape; margin: 12mm; }
body { font-family: sans-serif; font-size: 11pt; color: #000; background: #fff; margin: 1.5em; }
h1 { font-size: 16pt; margin: 0 0 .2em; }
.datum { color: #444; }
table.klasse { border-collapse: collapse; margin-top: .8em; }
table.klasse th, table.klasse td { border: 1px solid #999; padding: 3px 8px; text-align: center; }
table.klasse th { background: #eee; }
table.klasse th.schueler { text-align: left; }
td.bestanden { background: #dfd; color: #060; font-weight: bold; }
td.teilweise { background: #fed; color: #a50; font-weight: bold; }
td.durchgefallen { background: #fdd; color: #a00; font-weight: bold; }
td.fehlt { color: #888; }
td a { color: inherit; }
.gleich { display: block; font-size: 8pt; font-weight: normal; }
@media print { body { margin: 0; font-size: 10pt; } a { text-decoration: none; }
  * { -webkit-print-color-adjust: exact; print-color-adjust: exact; } }
)";

std::string cell_html(const ClassCell& cell) {
  if (!cell.checked) return "<td class=\"zelle fehlt\">nicht abgegeben</td>";
  const Verdict& v = cell.checked->verdict;
  const char* kind = v.passed ? "bestanden" : v.worlds_passed > 0 ? "teilweise" : "durchgefallen";
  std::string text = v.passed ? "bestanden" : std::to_string(v.worlds_passed) + " von " + std::to_string(v.worlds);
  std::string copy = copy_text(*cell.checked->program);
  return "<td class=\"zelle " + std::string(kind) + "\" title=\"" + xml(v.reason) + "\"><a href=\"" + xml(cell.link) +
         "\">" + text + "</a>" + (copy.empty() ? "" : "<span class=\"gleich\">" + xml(copy) + "</span>") + "</td>";
}

}  // namespace

std::string class_page(const ClassTable& t) {
  std::ostringstream out;
  out << "<!DOCTYPE html>\n<html lang=\"de\">\n<head>\n<meta charset=\"utf-8\">\n<title>zekocheck - Klasse "
      << xml(t.title) << "</title>\n<style>" << kStyle << "</style>\n</head>\n<body>\n<h1>Klasse " << xml(t.title)
      << "</h1>\n<p class=\"datum\">Gepr&uuml;ft am " << xml(t.date) << "</p>\n";
  out << "<table class=\"klasse\">\n<thead><tr><th class=\"schueler\">Sch&uuml;ler</th>";
  for (std::size_t k = 0; k < t.tasks.size(); ++k)
    out << "<th class=\"aufgabe\" title=\"" << xml(t.titles[k]) << "\">" << xml(t.tasks[k]) << "</th>";
  out << "</tr></thead>\n<tbody>\n";
  for (std::size_t i = 0; i < t.pupils.size(); ++i) {
    out << "<tr class=\"schueler\"><th class=\"schueler\">" << xml(t.pupils[i]) << "</th>";
    for (const ClassCell& cell : t.cells[i]) out << cell_html(cell);
    out << "</tr>\n";
  }
  out << "</tbody>\n</table>\n<p class=\"legende\">Eine Zahl: so viele Welten der Aufgabe bestanden; "
         "ein Klick f&uuml;hrt zu den Einzelheiten.</p>\n</body>\n</html>\n";
  return out.str();
}

}  // namespace zekocheck
