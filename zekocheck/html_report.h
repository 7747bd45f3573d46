// The class report as one self-contained HTML page (inline style, no
// scripts, no other files): a summary, one row per program, and for each
// failure the goal and the end world side by side. It opens from a USB
// stick and prints on A4.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "report.h"

namespace zekocheck {

struct HtmlHeading {
  std::string task;   // the task's name or the goal world's file name
  std::string title;  // the task's title line; empty for a pair of worlds
  std::string date;   // when the check ran, as people read it
};

// The head of a world's table: its classes ("welt " + `kind`) and the
// column numbers; the pages and the worksheet draw worlds alike.
void write_world_table_head(std::ostream& out, const std::string& kind);

std::string html_page(const HtmlHeading& heading, const std::vector<Checked>& results);

// The page written atomically; false with the reason (German).
bool write_html(const std::string& path, const HtmlHeading& heading, const std::vector<Checked>& results,
                std::string& error);

}  // namespace zekocheck
