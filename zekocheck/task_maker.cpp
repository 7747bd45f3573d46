#include "task_maker.h"

#include <cctype>
#include <filesystem>

#include "atomic_file.h"
#include "pupil_text.h"
#include "report.h"
#include "source_index.h"
#include "task_rules.h"
#include "verdict.h"
#include "world_file.h"
#include "world_format.h"

namespace fs = std::filesystem;

namespace zekocheck {
namespace {

// The world in exactly the format the editor writes.
std::string world_text(const World& w) {
  zeko::Grid feld;
  for (int x = 0; x < kColumns; ++x)
    for (int y = 0; y < kRows; ++y) feld[x][y] = w.feld[x][y];
  return zeko::grid_text(feld) + zeko::tail_text(w.vorrat, w.x, w.y);
}

std::string task_text(const std::string& name, const std::string& commands, std::size_t worlds) {
  return name + " - Titel hier eintragen (zekocheck --aufgaben zeigt diese erste Zeile)\n"
         "Beschreibe hier, was ZEKO tun soll. ZEKO schaut nach dem Laden nach unten.\n"
         "Die Musterloesung wurde an " + std::to_string(worlds) + (worlds == 1 ? " Welt" : " Welten") +
         " geprueft; die Ziel-Welten sind ihre End-Welten.\n"
         "Befehle: " + (commands.empty() ? "(bitte eintragen)" : commands) + "\n";
}

bool folder_is_new_or_empty(const std::string& folder, std::string& why) {
  std::error_code ec;
  fs::file_status st = fs::symlink_status(folder, ec);
  if (!fs::exists(st)) return true;
  if (!fs::is_directory(fs::status(folder, ec))) {
    why = "ist kein Ordner";
    return false;
  }
  fs::directory_iterator it(folder, ec);
  if (ec) {
    why = "ist nicht lesbar";
    return false;
  }
  if (it != fs::directory_iterator()) {
    why = "ist nicht leer (eine neue Aufgabe kommt in einen neuen oder leeren Ordner)";
    return false;
  }
  return true;
}

}  // namespace

namespace {

// The start worlds, read once; false (and a message) for one that is not readable.
bool read_starts(const NewTask& task, std::vector<World>& starts, std::ostream& err) {
  for (const std::string& start : task.starts) {
    WorldFile w = read_world_file(start);
    if (!w.readable) {
      err << "zekocheck: die Start-Welt " << visible(start) << " ist nicht lesbar: " << w.error << "\n";
      return false;
    }
    if (!w.deviations.empty())
      err << "zekocheck: Hinweis: die Start-Welt " << visible(start) << " weicht vom Welt-Format ab (Zeile "
          << w.deviations[0].line << ": " << w.deviations[0].text << "); sie wird so gespeichert, wie sie geladen wird\n";
    starts.push_back(w.world);
  }
  return true;
}

// The solution's end worlds; fewer than the starts when it fails on one.
std::vector<World> end_worlds(const NewTask& task, const Program& p, std::ostream& err) {
  std::vector<World> goals;
  for (std::size_t k = 0; k < task.starts.size(); ++k) {
    std::string reason = "nicht gelaufen";
    std::optional<World> end;
    if (k < p.runs.size())
      end = end_world_if_ended_well(p.runs[k], task.seconds, &reason, own_file_names(p.path, p.source));
    if (end) {
      goals.push_back(*end);
      continue;
    }
    err << "zekocheck: die Loesung scheitert an Welt " << k + 1 << " (" << visible(task.starts[k])
        << "): " << visible(reason) << "\n";
  }
  return goals;
}

// What the solution called on the worlds, and what its source names
// besides (a branch none of these worlds takes is allowed too).
std::string commands_of(const Program& p) {
  TaskRules used;
  for (const Run& run : p.runs)
    for (zeko::rules::Call call : run.replay.calls_used()) used.allowed |= 1u << static_cast<unsigned>(call);
  if (p.source) {
    SourceIndex index = index_program_source(p);
    for (std::size_t k = 0; k < kCallKinds; ++k)
      if (!index.lines[k].empty()) used.allowed |= 1u << k;
  }
  return allowed_text(used);
}

// The line a teacher types to check a class against the new task, with a
// path that holds from any folder.
std::string use_line(const std::string& folder) {
  std::error_code ec;
  std::string path = fs::absolute(folder, ec).lexically_normal().string();
  if (ec) path = folder;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return "zekocheck --aufgabe " + shell_quoted(path) + " -- PROGRAMM...";
}

int write_task(const NewTask& task, const std::vector<World>& starts, const std::vector<World>& goals,
               const std::string& commands, std::ostream& err) {
  std::error_code ec;
  fs::create_directories(task.folder, ec);
  if (ec) {
    err << "zekocheck: der Ordner " << visible(task.folder) << " laesst sich nicht anlegen: " << ec.message() << "\n";
    return 2;
  }
  std::string name = fs::path(task.folder).lexically_normal().filename();
  if (name.empty()) name = fs::path(task.folder).lexically_normal().parent_path().filename();
  // The text last: a folder without aufgabe.txt is no task yet.
  std::vector<std::pair<std::string, std::string>> files;
  for (std::size_t k = 0; k < goals.size(); ++k) {
    files.push_back({"start" + std::to_string(k + 1) + ".zko", world_text(starts[k])});
    files.push_back({"ziel" + std::to_string(k + 1) + ".zko", world_text(goals[k])});
  }
  files.push_back({"aufgabe.txt", task_text(name, commands, goals.size())});
  for (const auto& [file, text] : files) {
    std::string path = (fs::path(task.folder) / file).string(), why;
    if (!write_file_atomically(path, text, why)) {
      err << "zekocheck: " << visible(path) << " laesst sich nicht schreiben: " << why << "\n";
      return 2;
    }
  }
  return 0;
}

}  // namespace

int make_task(const NewTask& task, Runner& runner, std::ostream& out, std::ostream& err) {
  std::string why;
  if (!folder_is_new_or_empty(task.folder, why)) {
    err << "zekocheck: der Ordner " << visible(task.folder) << " " << why << "\n";
    return 2;
  }
  std::vector<World> starts;
  if (!read_starts(task, starts, err)) return 2;
  std::error_code ec;
  if (!fs::is_regular_file(task.solution, ec)) {
    err << "zekocheck: die Loesung " << visible(task.solution) << " gibt es nicht als Datei\n";
    return 2;
  }

  std::vector<Program> programs(1);
  Program& p = programs[0];
  p.name = p.path = task.solution;
  p.source = is_source(task.solution);
  runner.run_all(programs, starts);
  if (p.compile_failed || !p.unusable.empty()) {
    std::vector<std::string> messages = compiler_messages(p, 1);
    err << "zekocheck: die Loesung " << visible(task.solution) << " ist "
        << (p.unusable.empty() ? "nicht uebersetzbar" : "nicht brauchbar: " + p.unusable)
        << (p.compile_failed && !messages.empty() ? ": " + visible(messages[0]) : "") << "; keine Aufgabe angelegt\n";
    return 1;
  }
  std::vector<World> goals = end_worlds(task, p, err);
  if (goals.size() != task.starts.size()) {
    err << "zekocheck: keine Aufgabe angelegt\n";
    return 1;
  }
  if (int status = write_task(task, starts, goals, commands_of(p), err)) return status;
  out << "Aufgabe angelegt in " << visible(task.folder) << ": " << goals.size()
      << (goals.size() == 1 ? " Welt" : " Welten") << " (startN.zko, zielN.zko) und aufgabe.txt zum Ausfuellen.\n"
      << "Pruefen mit: " << visible(use_line(task.folder)) << "\n";
  return 0;
}

}  // namespace zekocheck
