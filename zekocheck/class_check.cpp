#include "class_check.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "atomic_file.h"
#include "class_page.h"
#include "csv_report.h"
#include "grades.h"
#include "html_report.h"
#include "program_files.h"
#include "report.h"
#include "tasks.h"
#include "world_file.h"

namespace fs = std::filesystem;

namespace zekocheck {
namespace {

// What the class handed in: per task (in the collections' order) the
// pupils' programs, each file opened once by program_files.h.
struct Handed {
  std::vector<std::string> pupils;
  std::vector<Task> tasks;
  std::vector<std::map<std::size_t, Program>> files;  // [task] pupil -> program
  std::vector<std::string> skipped;                   // "anna/hallo.pas"
};

bool plain(const fs::path& p, bool folder) {
  struct stat st;  // links are neither folders nor files of a pupil's
  if (::lstat(p.c_str(), &st) != 0) return false;
  return folder ? S_ISDIR(st.st_mode) : S_ISREG(st.st_mode);
}

std::vector<fs::path> pupil_folders(const fs::path& folder) {
  std::vector<fs::path> found;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(folder, ec))
    if (!e.path().filename().string().starts_with(".") && plain(e.path(), true)) found.push_back(e.path());
  std::sort(found.begin(), found.end());
  return found;
}

// The pupil whose folder holds the program, or npos (a folder that turned
// into something else while it was read).
std::size_t pupil_of(const Program& p, const std::vector<fs::path>& folders) {
  for (std::size_t i = 0; i < folders.size(); ++i) {
    const std::string prefix = folders[i].string() + "/";
    if (p.name.starts_with(prefix) && p.name.find('/', prefix.size()) == std::string::npos) return i;
  }
  return std::string::npos;
}

// A source counts for the task its name names (never a path to a folder:
// the pupil chose the name); anything else is skipped.
void add_program(Handed& h, std::size_t pupil, Program p, const std::vector<std::string>& collections) {
  const fs::path file = p.name;
  p.name = h.pupils[pupil] + "/" + file.filename().string();
  std::optional<Task> task;
  if (p.source) task = find_task(collections, file.stem().string());
  if (!task) return h.skipped.push_back(p.name);
  auto at = std::find_if(h.tasks.begin(), h.tasks.end(), [&](const Task& t) { return t.folder == task->folder; });
  std::size_t k = at - h.tasks.begin();
  if (at == h.tasks.end()) {
    h.tasks.push_back(*task);
    h.files.emplace_back();
  }
  std::string shown = p.name;
  if (!h.files[k].emplace(pupil, std::move(p)).second) h.skipped.push_back(shown);  // a second file for one task
}

Handed handed_in(const ClassCheck& check, ProgramFiles& files, std::string& note) {
  Handed h;
  const std::vector<fs::path> folders = pupil_folders(check.folder);
  std::vector<std::string> names;
  for (const fs::path& pupil : folders) {
    h.pupils.push_back(pupil.filename());
    names.push_back(pupil.string());
  }
  for (Program& p : files.collect(names, note)) {
    std::size_t pupil = pupil_of(p, folders);
    if (pupil == std::string::npos) h.skipped.push_back(p.name);
    else add_program(h, pupil, std::move(p), check.collections);
  }
  // Tasks in the order of the collection's names ("01-...", "02-...").
  std::vector<std::size_t> order(h.tasks.size());
  for (std::size_t k = 0; k < order.size(); ++k) order[k] = k;
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return h.tasks[a].name < h.tasks[b].name; });
  Handed sorted{h.pupils, {}, {}, h.skipped};
  for (std::size_t k : order) {
    sorted.tasks.push_back(h.tasks[k]);
    sorted.files.push_back(h.files[k]);
  }
  return sorted;
}

// One task's check; its programs and results stay for the overview.
struct TaskResult {
  std::vector<Program> programs;
  std::vector<std::size_t> pupil;  // per program
  std::vector<Checked> results;
  std::string page;                // the file name of its details page
};

bool read_worlds(const Task& task, std::vector<World>& starts, std::vector<World>& goals, std::ostream& err) {
  for (const auto& [start, goal] : task.pairs)
    for (const auto& [path, into] : {std::pair{start, &starts}, std::pair{goal, &goals}}) {
      WorldFile w = read_world_file(path);
      if (!w.readable) {
        err << "zekocheck: die Welt " << visible(path) << " ist nicht lesbar: " << w.error << "\n";
        return false;
      }
      into->push_back(w.world);
    }
  return true;
}

bool check_task(const ClassCheck& check, const Handed& h, std::size_t k, TaskResult& r, std::ostream& out,
                std::ostream& err) {
  const Task& task = h.tasks[k];
  std::vector<World> starts, goals;
  if (!read_worlds(task, starts, goals, err)) return false;
  for (const auto& [pupil, program] : h.files[k]) {
    r.programs.push_back(program);
    r.pupil.push_back(pupil);
  }
  Runner runner(check.limits, check.zekoc);
  if (!runner.ready()) {
    err << "zekocheck: kein temporaerer Ordner\n";
    return false;
  }
  if (k == 0 && !runner.sandbox_note().empty()) err << runner.sandbox_note() << "\n";
  if (check.limits.sandbox && !runner.sandboxed() && h.pupils.size() > 1) {
    err << unsandboxed_class_note() << "\n";
    return false;
  }
  if (k == 0 && !runner.access_note().empty()) err << runner.access_note() << "\n";
  if (k == 0 && !runner.guard_note().empty()) err << runner.guard_note() << "\n";
  runner.run_all(r.programs, starts);
  mark_copies(r.programs);
  r.results = judge_all(r.programs, goals, check.compare, check.limits.seconds, task.rules);
  out << "Aufgabe " << visible(task.name) << ": " << visible(task.title) << "\n";
  write_for_people(out, r.results);
  out << "\n";
  fs::path page(check.page);
  r.page = page.stem().string() + "-" + task.name + ".html";
  std::string error, path = (page.parent_path() / r.page).string();
  if (write_html(path, {task.name, task.title, check.date}, r.results, error)) return true;
  err << "zekocheck: die HTML-Datei " << visible(path) << " laesst sich nicht schreiben: " << error << "\n";
  return false;
}

// The overview's cells and the CSV's rows, pupils in order, tasks across.
ClassTable table_of(const ClassCheck& check, const Handed& h, const std::vector<TaskResult>& done,
                    std::vector<CsvRow>& rows) {
  ClassTable t{fs::path(check.folder).lexically_normal().filename(), check.date, h.pupils, {}, {}, {}};
  if (t.title.empty()) t.title = fs::path(check.folder).lexically_normal().parent_path().filename();
  for (const Task& task : h.tasks) {
    t.tasks.push_back(task.name);
    t.titles.push_back(task.title);
  }
  t.cells.assign(h.pupils.size(), std::vector<ClassCell>(h.tasks.size()));
  for (std::size_t k = 0; k < done.size(); ++k)
    for (std::size_t i = 0; i < done[k].results.size(); ++i) {
      const Checked& c = done[k].results[i];
      std::string anchor = c.verdict.passed ? "" : "#p" + std::to_string(i + 1);
      t.cells[done[k].pupil[i]][k] = {&c, done[k].page + anchor};
    }
  for (std::size_t p = 0; p < h.pupils.size(); ++p)
    for (std::size_t k = 0; k < h.tasks.size(); ++k)
      rows.push_back({h.pupils[p], h.tasks[k].name, t.cells[p][k].checked, static_cast<int>(h.tasks[k].pairs.size())});
  return t;
}

bool all_passed(const ClassTable& t) {
  for (const auto& row : t.cells)
    for (const ClassCell& cell : row)
      if (!cell.checked || !cell.checked->verdict.passed) return false;
  return true;
}

}  // namespace

const char* unsandboxed_class_note() {
  return "zekocheck: ohne Sandbox prueft zekocheck mehrere Programme nur mit --ohne-sandbox; "
         "fuer die Sandbox das Paket bubblewrap installieren (apt install bubblewrap)";
}

int check_class(const ClassCheck& check, std::ostream& out, std::ostream& err) {
  if (!plain(check.folder, true)) {
    err << "zekocheck: den Klassen-Ordner " << visible(check.folder) << " gibt es nicht\n";
    return 2;
  }
  ProgramFiles files;  // every pupil's file open until the check has ended
  std::string note;
  Handed h = handed_in(check, files, note);
  if (!note.empty()) err << note << "\n";
  if (!h.skipped.empty()) {
    err << "zekocheck: Hinweis: " << h.skipped.size() << " Dateien ohne Aufgabe uebersprungen:";
    for (const std::string& s : h.skipped) err << " " << visible(s);
    err << "\n";
  }
  if (h.tasks.empty()) {
    err << "zekocheck: in " << visible(check.folder) << " liegt kein Programm, das nach einer Aufgabe heisst "
        << "(etwa anna/04-sammeln.pas)\n";
    return 2;
  }
  std::vector<TaskResult> done(h.tasks.size());
  for (std::size_t k = 0; k < h.tasks.size(); ++k)
    if (!check_task(check, h, k, done[k], out, err)) return 2;
  std::vector<CsvRow> rows;
  ClassTable table = table_of(check, h, done, rows);
  std::string error;
  if (!write_file_atomically(check.page, class_page(table), error) || !write_csv(check.csv, rows, error)) {
    err << "zekocheck: die Uebersicht laesst sich nicht schreiben: " << error << "\n";
    return 2;
  }
  out << "Uebersicht: " << visible(check.page) << ", Tabelle: " << visible(check.csv) << "\n";
  return all_passed(table) ? 0 : 1;
}

}  // namespace zekocheck
