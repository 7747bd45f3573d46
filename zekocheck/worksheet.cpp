#include "worksheet.h"

#include <sstream>

#include "html_report.h"
#include "report.h"

namespace zekocheck {
namespace {

const char* const kStyle = R"(
@page { size: A4; margin: 15mm; }
body { font-family: sans-serif; font-size: 12pt; color: #000; background: #fff; margin: 1.5em; max-width: 180mm; }
h1 { font-size: 18pt; margin: 0 0 .4em; }
.name { margin: 0 0 1em; }
.text { white-space: pre-wrap; margin: 0 0 .8em; }
.befehle code { font-size: 12pt; }
figure { margin: .8em 0; break-inside: avoid; page-break-inside: avoid; }
figcaption { font-weight: bold; margin-bottom: .3em; }
table.welt { border-collapse: collapse; }
table.welt td { width: 9mm; height: 9mm; border: 1px solid #666; text-align: center; font-size: 11pt; padding: 0; }
table.welt th { font-size: 8pt; color: #666; font-weight: normal; }
td.hindernis { background: #444; }
td.zeko { font-size: 14pt; font-weight: bold; }
.legende { font-size: 9pt; color: #444; }
@media print { body { margin: 0; } * { -webkit-print-color-adjust: exact; print-color-adjust: exact; } }
)";

// A start world; ZEKO faces down after loading, as the pupil's program sees him.
void write_world(std::ostream& out, const World& w, std::size_t number) {
  out << "<figure class=\"start\"><figcaption>Welt " << number << " (ZEKO hat " << w.vorrat
      << (w.vorrat == 1 ? " Gegenstand" : " Gegenst&auml;nde") << " in der Tasche)</figcaption>\n"
;
  write_world_table_head(out, "start");
  for (int y = 0; y < kRows; ++y) {
    out << "<tr><th>" << y << "</th>";
    for (int x = 0; x < kColumns; ++x) {
      int value = w.feld[x][y];
      bool zeko = w.x == x && w.y == y;
      out << "<td class=\"" << (value < 0 ? "hindernis" : value > 0 ? "gegenstand" : "leer") << (zeko ? " zeko" : "")
          << "\">" << (zeko ? "&#9660;" : "");
      if (value > 0) out << (zeko ? "<sub>" : "") << value << (zeko ? "</sub>" : "");
      out << "</td>";
    }
    out << "</tr>\n";
  }
  out << "</table>\n</figure>\n";
}

// The text without its title and without the lines zekocheck reads.
std::string body_text(const std::string& text) {
  std::istringstream in(text);
  std::string line, body;
  std::getline(in, line);
  while (std::getline(in, line))
    if (!line.starts_with("Befehle:") && !line.starts_with("Hoechstens:")) body += line + "\n";
  return body;
}

}  // namespace

std::string worksheet_page(const Task& task, const std::vector<World>& starts) {
  std::ostringstream out;
  std::string allowed = allowed_text(task.rules);
  out << "<!DOCTYPE html>\n<html lang=\"de\">\n<head>\n<meta charset=\"utf-8\">\n<title>" << xml(task.title)
      << "</title>\n<style>" << kStyle << "</style>\n</head>\n<body>\n<h1 class=\"titel\">" << xml(task.title)
      << "</h1>\n<p class=\"name\">Name: ______________________ &nbsp; Datum: __________</p>\n<div class=\"text\">"
      << xml(body_text(task.text)) << "</div>\n<p class=\"befehle\">Erlaubt: <code>"
      << (allowed.empty() ? "alle Befehle" : xml(allowed)) << "</code>";
  if (task.rules.max_commands > 0)
    out << ", h&ouml;chstens " << task.rules.max_commands << " Befehle je Welt";
  out << "</p>\n";
  for (std::size_t k = 0; k < starts.size(); ++k) write_world(out, starts[k], k + 1);
  out << "<p class=\"legende\">&#9660; ZEKO (schaut nach unten), dunkel: Hindernis, Zahl: Gegenst&auml;nde auf "
         "dem Feld. Aufgabe " << xml(task.name) << ".</p>\n</body>\n</html>\n";
  return out.str();
}

}  // namespace zekocheck
