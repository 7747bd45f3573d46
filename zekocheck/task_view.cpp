#include "task_view.h"

#include <filesystem>
#include <iostream>
#include <sstream>

#include "report.h"
#include "task_worlds.h"
#include "world_file.h"

namespace zekocheck {
namespace {

void draw_world(std::ostream& out, const World& w) {
  out << "    ";
  for (int x = 0; x < kColumns; ++x) out << ' ' << x % 10;
  out << "\n";
  for (int y = 0; y < kRows; ++y) {
    out << "   " << y;
    for (int x = 0; x < kColumns; ++x)
      out << ' ' << (x == w.x && y == w.y ? heading_mark(w.richtung) : field_mark(w.feld[x][y]));
    out << "\n";
  }
  out << "  ZEKO " << heading_mark(w.richtung) << " auf x=" << w.x << " y=" << w.y << ", Vorrat " << w.vorrat;
  if (w.feld[w.x][w.y] > 0) out << ", auf seinem Feld " << w.feld[w.x][w.y] << " Gegenstaende";
  out << "\n";
}

// A word a shell takes as it is, else in single quotes.
std::string shell_word(const std::string& word) {
  bool plain = !word.empty() && word.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                                       "0123456789._/+-") == std::string::npos;
  return plain ? word : shell_quoted(word);
}

// The program the pupil starts: the executable zekoc makes from a source
// (beside it, without the ending), else the file given.
std::string program_to_start(const Program& program) {
  std::filesystem::path path = program.path;
  if (program.source) path.replace_extension();
  std::string text = path.string();
  return text.find('/') == std::string::npos ? "./" + text : text;
}

// The name that opens the start world of pair `k` (0-based): by the number
// in its file's name, startN.zko. A task used by its folder's path is in no
// collection, so no name finds it: its start world opens by its full path.
std::string start_world_name(const Task& task, std::size_t k) {
  const std::filesystem::path start = task.pairs[k].first;
  if (task.collection.empty()) {
    std::error_code ec;
    std::filesystem::path full = std::filesystem::absolute(start, ec);
    return (ec ? start : full.lexically_normal()).string();
  }
  std::string file = start.stem();
  return zeko::task_world_name(task.name, std::string_view(file).substr(5));
}

}  // namespace

int show_task(std::ostream& out, const Task& task) {
  std::string content, error;  // never through a link
  if (!read_plain_file(task.folder + "/aufgabe.txt", 1 << 20, content, error)) {
    std::cerr << "zekocheck: " << visible(task.folder) << "/aufgabe.txt ist nicht lesbar: " << error << "\n";
    return 2;
  }
  std::istringstream file(content);
  std::string text, line;
  bool commands_named = false;
  while (std::getline(file, line)) {
    commands_named = commands_named || line.starts_with("Befehle:");
    text += line + "\n";
  }
  out << text;
  if (!commands_named) out << "Befehle: alle\n";
  out << "\nStart-Welten:";
  for (std::size_t k = 0; k < task.pairs.size(); ++k)
    out << (k ? ", " : " ") << start_world_name(task, k);
  out << "\nDiese Namen laden die Welt in initialisiere_die_Roboterwelt, zekoprog und\n"
         "zekoedit; ZEKO_WELT=NAME ./programm laesst ein Programm auf ihr laufen.\n";
  for (std::size_t k = 0; k < task.pairs.size(); ++k) {
    out << "\n" << start_world_name(task, k) << ":\n";
    WorldFile start = read_world_file(task.pairs[k].first);
    if (start.readable)
      draw_world(out, start.world);
    else
      out << "  nicht lesbar: " << start.error << "\n";
  }
  out << "\n(. leer, # Hindernis, 1-9 Gegenstaende, + mehr als 9, ^ v < > ZEKO und wohin er schaut)\n";
  return 0;
}

void add_watch_hint(Verdict& verdict, const Task& task, const Program& program) {
  std::size_t pair = static_cast<std::size_t>(verdict.pair);
  if (verdict.passed || pair == 0 || pair > task.pairs.size() || program.compile_failed || !program.unusable.empty())
    return;
  verdict.reason += " - ansehen: ZEKO_WELT=" + shell_word(start_world_name(task, pair - 1)) + " " +
                    shell_word(program_to_start(program));
}

}  // namespace zekocheck
