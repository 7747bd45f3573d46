// Fuzz target: whatever a learner's program and its compiler print, through
// zekocheck's readers of that text and all five of its reports. The input
// is the program's name, its output, its compiler's messages and the line
// its library sends about a failed command, separated by zero bytes; the
// first byte chooses the exit status and how the program ended. Every
// report must stay what it claims to be: the terminal's lines only visible
// characters, JSON one value in UTF-8, JUnit well-formed XML 1.0, the
// HTML page no tag but its own, and the CSV table UTF-8 with one line per row.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "csv_report.h"
#include "html_report.h"
#include "markup_check.h"
#include "pupil_text.h"
#include "report.h"
#include "verdict.h"

namespace {

using namespace zekocheck;

// The parts of the input, at most `count`: the rest of the input is the last.
std::vector<std::string> parts(const uint8_t* data, std::size_t size, std::size_t count) {
  std::vector<std::string> out(1);
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == 0 && out.size() < count) out.emplace_back();
    else out.back() += static_cast<char>(data[i]);
  }
  out.resize(count);
  return out;
}

void require(bool ok, const char* what, const std::string& text) {
  if (ok) return;
  std::fprintf(stderr, "%s:\n%s\n", what, text.c_str());
  std::abort();
}

// The readers of places: a number they give is in range, and a place they
// keep names one of the program's own files.
void read_places(const std::string& output, const std::string& messages, const std::string& info,
                 const std::vector<std::string>& own) {
  long error_line = runtime_error_line(output, own);
  require(error_line >= 0 && error_line <= kLargestLine, "line of a run-time error", output);
  require(compiler_message_line(messages, own[0]) <= kLargestLine, "line of a compiler message", messages);
  // As the replay gives it: the program's line believed only when it ends
  // with the failure zekocheck saw.
  const std::string failure = "vor - vor Zeko liegt ein Hindernis";
  long line = 0;
  std::string kept = own_place_only(info + ": " + failure, own, &line);
  require(line >= 0 && line <= kLargestLine && (line > 0) == (kept != failure && !kept.starts_with("Laufzeitfehler 215: ")),
          "line of a failed command", kept);
  require(kept == failure || kept == info + ": " + failure, "neither the failure nor the whole line", kept);
  require(kept == failure || kept.starts_with("Laufzeitfehler 215: ") || kept.starts_with(own[0] + ", Zeile "),
          "a place not its own", kept);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const uint8_t how = data[0];
  std::vector<std::string> text = parts(data + 1, size - 1, 4);
  Program p;
  p.name = text[0];
  p.path = "klasse/" + text[0] + (how & 0x80 ? ".pas" : "");
  p.source = how & 0x80;
  p.compile_failed = how & 0x40;
  p.compile_messages = text[2];
  p.runs.resize(1);
  p.runs[0].output = text[1];
  p.runs[0].wait_status = (how & 0x20) ? (how & 0x1F) : (how & 0x1F) << 8;
  read_places(text[1], text[2], text[3], own_file_names(p.path, p.source));

  std::vector<Checked> results = {{&p, judge(p, {World{}}, Comparison{}, 5)}};
  results[0].verdict.reason += text[3];  // a reason with pupil's text in it, as a failed command's line is
  std::ostringstream people, json, junit;
  write_for_people(people, results);
  write_json(json, results);
  write_junit(junit, results, text[0]);
  std::string page = html_page({text[0], text[3], "heute"}, results);
  require(support::terminal_safe(people.str()), "terminal", people.str());
  require(support::JsonCheck(json.str()).valid(), "JSON", json.str());
  require(support::xml_well_formed(junit.str()), "JUnit", junit.str());
  require(support::html_tags_only(page, support::kPageTags, support::kPageEntities), "HTML", page);
  const std::string csv = csv_text({{text[0], text[3], &results[0], 1}});
  std::vector<unsigned> points;
  require(support::decode_utf8(csv, points) && std::count(csv.begin(), csv.end(), '\n') == 2, "CSV", csv);
  return 0;
}
