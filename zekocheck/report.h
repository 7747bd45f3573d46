// The three ways zekocheck tells its results: lines for people, JSON and
// JUnit XML for machines.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "runner.h"
#include "verdict.h"

namespace zekocheck {

struct Checked {
  const Program* program;
  Verdict verdict;
};

// The first messages of a compiler that refused the program, with the
// program's own file name.
std::vector<std::string> compiler_messages(const Program& program, std::size_t count = 3);

// Text for the teacher's terminal: control characters shown as ^[ (C1 and
// bytes that are no UTF-8 as \x9b, the marks that turn the text's direction
// as <U+202E>), tabs kept.
std::string visible(const std::string& text);

// `word` in single quotes for a shell, its own quotes escaped: a line the
// teacher can paste.
std::string shell_quoted(const std::string& word);

// A field in the text grids: '#' obstacle, '.' empty, 1-9 items, '+' more.
char field_mark(int value);
// ZEKO in the text grids, by heading, as on the screen: ^ v < >.
char heading_mark(int richtung);
// Bytes a terminal or a parser may choke on: control characters become
// '?', bytes that are not UTF-8 (and U+FFFE, U+FFFF) U+FFFD; tabs and line
// ends stay.
std::string printable(const std::string& text);
// Printable text that stays text in XML and HTML (names, reasons, output).
std::string xml(const std::string& raw);

void write_for_people(std::ostream& out, const std::vector<Checked>& results);
void write_json(std::ostream& out, const std::vector<Checked>& results);
// `suite` names the task or the goal world.
void write_junit(std::ostream& out, const std::vector<Checked>& results, const std::string& suite);

}  // namespace zekocheck
