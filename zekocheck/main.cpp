// zekocheck: checks learner programs against goal worlds, the tasks of the
// collection, and world files against their exact format.
//
//   zekocheck [Optionen] START.zko ZIEL.zko PROGRAMM...
//   zekocheck [Optionen] --aufgabe NAME PROGRAMM...
//   zekocheck --aufgabe NAME --zeigen | --aufgaben | --welt DATEI...
//   zekocheck --aufgabe-anlegen ORDNER LOESUNG START.zko...
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "atomic_file.h"
#include "class_check.h"
#include "csv_report.h"
#include "grades.h"
#include "html_report.h"
#include "program_files.h"
#include "report.h"
#include "runner.h"
#include "task_maker.h"
#include "task_view.h"
#include "tasks.h"
#include "verdict.h"
#include "world_file.h"
#include "worksheet.h"

namespace fs = std::filesystem;
using namespace zekocheck;

namespace {

constexpr int kUsageStatus = 2;

const char* const kUsage =
    "Aufruf: zekocheck [Optionen] START.zko ZIEL.zko PROGRAMM...\n"
    "        zekocheck [Optionen] --aufgabe NAME PROGRAMM...\n"
    "        zekocheck --aufgabe NAME --zeigen\n"
    "        zekocheck --aufgabe NAME --blatt DATEI\n"
    "        zekocheck --aufgaben\n"
    "        zekocheck --welt DATEI...\n"
    "        zekocheck [Optionen] --aufgabe-anlegen ORDNER LOESUNG START.zko...\n"
    "        zekocheck [Optionen] --klasse ORDNER\n"
    "PROGRAMM ist eine Pascal-, C- oder C++-Datei (.pas, .c, .cpp; wird mit zekoc\n"
    "uebersetzt) oder ein ausfuehrbares Programm. Bestanden hat ein Programm, wenn es normal endet\n"
    "und seine Endwelt der Zielwelt gleicht. Ein Ordner steht fuer seine Programme; andere\n"
    "Dateien werden uebersprungen. Namen nach -- sind nie Optionen: zekocheck ... -- *.pas\n"
    "Optionen:\n"
    "  -j N               N Programme gleichzeitig (Vorgabe: Zahl der Kerne)\n"
    "  --max-befehle N    Abbruch nach N Befehlen (Vorgabe 100000)\n"
    "  --zeit S           Zeitlimit je Lauf in Sekunden (Vorgabe 5)\n"
    "  --zeit-uebersetzen S  Zeitlimit je Uebersetzung in Sekunden (Vorgabe 20)\n"
    "  --speicher MB      Speichergrenze je Programm (Vorgabe 512, 0: keine)\n"
    "  --ohne-position    ZEKOs Endposition nicht vergleichen\n"
    "  --ohne-vorrat      ZEKOs Vorrat am Ende nicht vergleichen\n"
    "  --ohne-sandbox     nicht in bwrap (bubblewrap) laufen lassen\n"
    "  --json             Ergebnis als JSON auf die Standardausgabe\n"
    "  --junit DATEI      Ergebnis zusaetzlich als JUnit-XML in DATEI\n"
    "  --html DATEI       Ergebnis zusaetzlich als Seite mit den Welten in DATEI\n"
    "  --csv DATEI        Ergebnis zusaetzlich als Tabelle (eine Zeile je Programm)\n"
    "  --blatt DATEI      Arbeitsblatt der Aufgabe (Text, Befehle, Start-Welten)\n"
    "  --aufgabe-anlegen  neue Aufgabe: die Loesung laeuft auf jeder Start-Welt,\n"
    "                     ihre End-Welten werden die Ziel-Welten\n"
    "  --klasse ORDNER    jede Aufgabe jedes Schuelers (ORDNER/anna/04-sammeln.pas);\n"
    "                     Uebersicht in --html (uebersicht.html), Tabelle in --csv\n"
    "                     (uebersicht.csv)\n"
    "  --                 Ende der Optionen: danach nur Namen\n"
    "  -h, --help         diese Hilfe\n"
    "  --version          die Version\n"
    "Rueckgabewert: 0 alle bestanden, 1 nicht alle, 2 falscher Aufruf oder\n"
    "unlesbare Welt. Mehr dazu: man zekocheck\n";

struct Options {
  Limits limits;
  Comparison compare;
  bool json = false;
  std::string junit;
  std::string html;
  std::string csv;
  std::string klasse;
  std::string sheet;
  bool make_task = false;
  std::string task;
  bool show_task = false;
  bool list_tasks = false;
  bool check_worlds = false;
  bool help = false;
  bool version = false;
  std::vector<std::string> args;
};

[[noreturn]] void usage_error(const std::string& message) {
  std::cerr << "zekocheck: " << message << "\n" << kUsage;
  std::exit(kUsageStatus);
}

long number_option(const std::string& name, const std::string& value, long low, long high) {
  char* end = nullptr;
  long n = std::strtol(value.c_str(), &end, 10);
  if (value.empty() || *end || n < low || n > high)
    usage_error(name + " braucht eine ganze Zahl von " + std::to_string(low) + " bis " + std::to_string(high) +
                ", nicht \"" + value + "\"");
  return n;
}

int cores() {
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0) return CPU_COUNT(&set);
  long n = sysconf(_SC_NPROCESSORS_ONLN);
  return n > 0 ? static_cast<int>(n) : 1;
}

Options parse(int argc, char** argv) {
  Options o;
  o.limits.jobs = cores();
  std::vector<std::string> a(argv + 1, argv + argc);
  bool only_names = false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    std::string arg = a[i];
    if (only_names || arg.empty() || arg[0] != '-' || arg == "-") {
      o.args.push_back(arg);
      continue;
    }
    std::string value;
    bool has_value = false;
    if (std::size_t eq = arg.find('='); arg.starts_with("--") && eq != std::string::npos) {
      value = arg.substr(eq + 1);
      arg = arg.substr(0, eq);
      has_value = true;
    } else if (arg.starts_with("-j") && arg.size() > 2) {
      value = arg.substr(2);
      arg = "-j";
      has_value = true;
    }
    bool took = false;  // an option that takes no value refuses one
    auto take = [&]() {
      took = true;
      if (has_value) return value;
      if (i + 1 >= a.size()) usage_error(arg + " braucht einen Wert");
      return a[++i];
    };
    if (arg == "--") only_names = true;
    else if (arg == "-h" || arg == "--help") o.help = true;
    else if (arg == "--version") o.version = true;
    else if (arg == "-j") o.limits.jobs = static_cast<int>(number_option("-j", take(), 1, 256));
    else if (arg == "--max-befehle") o.limits.max_commands = number_option(arg, take(), 1, 1000000000);
    else if (arg == "--zeit") {
      std::string v = take();
      char* end = nullptr;
      double s = std::strtod(v.c_str(), &end);
      if (v.empty() || *end || !(s > 0 && s <= 3600)) usage_error("--zeit braucht Sekunden von 0 bis 3600");
      o.limits.seconds = s;
    } else if (arg == "--zeit-uebersetzen") {
      o.limits.compile_seconds = number_option(arg, take(), 1, 3600);
    } else if (arg == "--speicher") o.limits.memory_mb = number_option(arg, take(), 0, 1 << 20);
    else if (arg == "--ohne-position") o.compare.position = false;
    else if (arg == "--ohne-vorrat") o.compare.supply = false;
    else if (arg == "--ohne-sandbox") o.limits.sandbox = false;
    else if (arg == "--json") o.json = true;
    else if (arg == "--junit") o.junit = take();
    else if (arg == "--html") o.html = take();
    else if (arg == "--csv") o.csv = take();
    else if (arg == "--klasse") o.klasse = take();
    else if (arg == "--blatt") o.sheet = take();
    else if (arg == "--aufgabe-anlegen") o.make_task = true;
    else if (arg == "--aufgabe") o.task = take();
    else if (arg == "--zeigen") o.show_task = true;
    else if (arg == "--aufgaben") o.list_tasks = true;
    else if (arg == "--welt") o.check_worlds = true;
    else usage_error("unbekannte Option " + visible(a[i]));
    if (has_value && !took) usage_error(arg + " nimmt keinen Wert: " + visible(a[i]));
  }
  return o;
}

// Only once the whole line was read: "--help=x.pas" is a bad call, not help.
void answer_help_or_version(const Options& o) {
  if (o.help) std::cout << kUsage;
  else if (o.version) std::cout << "zekocheck (Zeko) " ZEKO_VERSION "\n";
  if (o.help || o.version) std::exit(0);
}

// "--junit=anna.pas" among names that the shell put before a missing "--"
// would write over a pupil's program.
void refuse_reports_over_programs(const Options& o, const std::vector<Program>& programs) {
  for (const auto& [report, what] : {std::pair{o.junit, "JUnit"}, std::pair{o.html, "HTML"}, std::pair{o.csv, "CSV"}})
    if (!report.empty() && is_one_of(programs, report))
      usage_error(std::string("die ") + what + "-Datei " + visible(report) + " ist eines der Programme");
}

// --welt: every deviation of every file, with its line.
int check_world_files(const std::vector<std::string>& files) {
  if (files.empty()) usage_error("--welt braucht mindestens eine Welt-Datei");
  int status = 0;
  for (const std::string& file : files) {
    WorldFile w = read_world_file(file);
    const std::string f = visible(file);
    if (!w.error.empty() && w.deviations.empty()) {
      std::cout << f << ": nicht lesbar - " << w.error << "\n";
      status = kUsageStatus;
      continue;
    }
    if (w.deviations.empty()) {
      std::cout << f << ": in Ordnung\n";
      continue;
    }
    for (const Deviation& d : w.deviations) {
      std::cout << f;
      if (d.line > 0) std::cout << ", Zeile " << d.line;
      std::cout << ": " << d.text << "\n";
    }
    if (status == 0) status = 1;
  }
  return status;
}

World world_or_exit(const std::string& path, const char* role) {
  WorldFile w = read_world_file(path);
  if (!w.readable) {
    std::cerr << "zekocheck: " << role << " " << visible(path) << " ist nicht lesbar: " << w.error << "\n";
    std::exit(kUsageStatus);
  }
  if (!w.deviations.empty())
    std::cerr << "zekocheck: Hinweis: " << role << " " << visible(path) << " weicht vom Welt-Format ab (Zeile "
              << w.deviations[0].line << ": " << w.deviations[0].text << "); siehe zekocheck --welt\n";
  return w.world;
}

std::string zekoc_path() {
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    fs::path beside = self.parent_path() / "zekoc";
    if (::access(beside.c_str(), X_OK) == 0) return beside;
  }
  return "/usr/bin/zekoc";
}

// --aufgaben: with several collections, each under its folder; a task
// that an earlier collection has too is marked as hidden by it.
int list_tasks(const std::vector<std::string>& folders) {
  std::vector<Task> tasks = all_tasks(folders);
  if (tasks.empty()) {
    std::cerr << "zekocheck: keine Aufgaben in " << folders[0];
    for (std::size_t i = 1; i < folders.size(); ++i) std::cerr << ":" << folders[i];
    std::cerr << "\n";
    return kUsageStatus;
  }
  std::vector<std::string> seen;
  std::string collection;
  for (const Task& t : tasks) {
    if (folders.size() > 1 && t.collection != collection) {
      collection = t.collection;
      std::cout << (seen.empty() ? "" : "\n") << "Sammlung " << collection << ":\n";
    }
    std::cout << t.name << std::string(t.name.size() < 22 ? 22 - t.name.size() : 1, ' ') << t.title;
    if (std::find(seen.begin(), seen.end(), t.name) != seen.end()) std::cout << " (verdeckt, gilt aus einer Sammlung davor)";
    std::cout << "\n";
    seen.push_back(t.name);
  }
  for (const std::string& f : folders)
    if (!fs::is_directory(f)) std::cerr << "zekocheck: Hinweis: die Aufgaben-Sammlung " << f << " gibt es nicht\n";
  return 0;
}

std::string now_text() {
  std::time_t now = std::time(nullptr);
  char buf[64];
  std::strftime(buf, sizeof buf, "%d.%m.%Y um %H:%M Uhr", std::localtime(&now));
  return buf;
}

bool write_csv_of(const std::string& path, const std::vector<Checked>& results, const std::string& task) {
  std::vector<CsvRow> rows;
  for (const Checked& c : results) rows.push_back({c.program->name, task, &c});
  std::string error;
  if (write_csv(path, rows, error)) return true;
  std::cerr << "zekocheck: die CSV-Datei " << visible(path) << " laesst sich nicht schreiben: " << error << "\n";
  return false;
}

int write_worksheet(const Task& task, const std::string& path) {
  std::vector<World> starts;
  for (const auto& [start, goal] : task.pairs) starts.push_back(world_or_exit(start, "die Start-Welt"));
  std::string error;
  if (write_file_atomically(path, worksheet_page(task, starts), error)) return 0;
  std::cerr << "zekocheck: das Arbeitsblatt " << visible(path) << " laesst sich nicht schreiben: " << error << "\n";
  return kUsageStatus;
}

int check_class_folder(const Options& o, const std::vector<std::string>& folders) {
  if (!o.args.empty() || !o.task.empty()) usage_error("--klasse nimmt die Programme aus dem Ordner, keine weiteren");
  if (o.json || !o.junit.empty()) usage_error("--klasse schreibt eine Seite und eine Tabelle, kein JSON und kein JUnit");
  ClassCheck check{o.klasse, o.html.empty() ? "uebersicht.html" : o.html, o.csv.empty() ? "uebersicht.csv" : o.csv,
                   folders, o.limits, o.compare, zekoc_path(), now_text()};
  int status = check_class(check, std::cout, std::cerr);
  std::cout.flush();
  return status;
}

// --junit, --html and --csv; false (and a message) when one cannot be written.
bool write_report_files(const Options& o, const std::vector<Checked>& results, const std::string& suite,
                        const std::string& title) {
  std::string error;
  if (!o.junit.empty()) {
    std::ostringstream junit;
    write_junit(junit, results, suite);
    if (!write_file_atomically(o.junit, junit.str(), error)) {
      std::cerr << "zekocheck: die JUnit-Datei " << visible(o.junit) << " laesst sich nicht schreiben: " << error << "\n";
      return false;
    }
  }
  if (!o.html.empty() && !write_html(o.html, {suite, title, now_text()}, results, error)) {
    std::cerr << "zekocheck: die HTML-Datei " << visible(o.html) << " laesst sich nicht schreiben: " << error << "\n";
    return false;
  }
  return o.csv.empty() || write_csv_of(o.csv, results, suite);
}

// --aufgabe-anlegen ORDNER LOESUNG START.zko...
int make_new_task(const Options& o) {
  if (o.args.size() < 3) usage_error("--aufgabe-anlegen braucht ORDNER, LOESUNG und mindestens eine START-Welt");
  Runner runner(o.limits, zekoc_path());
  if (!runner.ready()) {
    std::cerr << "zekocheck: kein temporaerer Ordner: " << std::strerror(errno) << "\n";
    return kUsageStatus;
  }
  if (!runner.sandbox_note().empty()) std::cerr << runner.sandbox_note() << "\n";
  if (!runner.guard_note().empty()) std::cerr << runner.guard_note() << "\n";
  NewTask task{o.args[0], o.args[1], {o.args.begin() + 2, o.args.end()}, o.limits.seconds};
  return make_task(task, runner, std::cout, std::cerr);
}

}  // namespace

int main(int argc, char** argv) {
  // A reader that stops early (zekocheck ... | head) must not end us before
  // the temporary folders are removed; the children get the default back.
  signal(SIGPIPE, SIG_IGN);
  // The programs checked here must not read or trace us (our memory, our
  // environment in /proc), whatever user they run as.
  prctl(PR_SET_DUMPABLE, 0);
  Options o = parse(argc, argv);
  answer_help_or_version(o);

  if (o.check_worlds) return check_world_files(o.args);

  if (o.make_task) return make_new_task(o);

  std::vector<std::string> folders = tasks_folders();
  if (o.list_tasks) return list_tasks(folders);
  if (!o.klasse.empty()) return check_class_folder(o, folders);

  std::vector<std::pair<std::string, std::string>> pairs;
  std::string suite, title;
  std::optional<Task> task;
  TaskRules rules;
  if (!o.task.empty()) {
    task = find_task_or_folder(folders, o.task);
    if (!task) usage_error("die Aufgabe \"" + o.task + "\" gibt es nicht (Liste: zekocheck --aufgaben)");
    if (o.show_task) return show_task(std::cout, *task);
    if (!o.sheet.empty()) return write_worksheet(*task, o.sheet);
    pairs = task->pairs;
    rules = task->rules;
    suite = task->name;
    title = task->title;
  } else {
    if (o.show_task) usage_error("--zeigen gehoert zu --aufgabe NAME");
    if (!o.sheet.empty()) usage_error("--blatt gehoert zu --aufgabe NAME");
    if (o.args.size() < 2) usage_error("START- und ZIEL-Welt fehlen");
    pairs.push_back({o.args[0], o.args[1]});
    suite = fs::path(o.args[1]).stem();
    title = "Start " + o.args[0] + ", Ziel " + o.args[1];
    o.args.erase(o.args.begin(), o.args.begin() + 2);
  }
  if (o.args.empty()) usage_error("kein Programm angegeben");

  // Both worlds are read once, here: a run gets its start world from us
  // over its check channel, never from a file it could change.
  std::vector<World> starts, goals;
  for (const auto& [start, goal] : pairs) {
    starts.push_back(world_or_exit(start, "die Start-Welt"));
    goals.push_back(world_or_exit(goal, "die Ziel-Welt"));
  }

  ProgramFiles files;
  std::string skipped;
  std::vector<Program> programs = files.collect(o.args, skipped);
  if (!skipped.empty()) std::cerr << skipped << "\n";
  if (programs.empty()) usage_error("kein Programm gefunden");
  refuse_reports_over_programs(o, programs);

  Runner runner(o.limits, zekoc_path());
  if (!runner.ready()) {
    std::cerr << "zekocheck: kein temporaerer Ordner: " << std::strerror(errno) << "\n";
    return kUsageStatus;
  }
  if (!runner.sandbox_note().empty()) std::cerr << runner.sandbox_note() << "\n";
  // Without the sandbox one pupil's program could reach another's: a class
  // only when the teacher says so.
  if (o.limits.sandbox && !runner.sandboxed() && programs.size() > 1) {
    std::cerr << unsandboxed_class_note() << "\n";
    return kUsageStatus;
  }
  if (!runner.access_note().empty()) std::cerr << runner.access_note() << "\n";
  if (!runner.guard_note().empty()) std::cerr << runner.guard_note() << "\n";
  runner.run_all(programs, starts);
  mark_copies(programs);

  std::vector<Checked> results = judge_all(programs, goals, o.compare, o.limits.seconds, rules);
  bool all_passed = true;
  for (Checked& c : results) {
    if (task) add_watch_hint(c.verdict, *task, *c.program);
    all_passed = all_passed && c.verdict.passed;
  }
  if (o.json) write_json(std::cout, results);
  else write_for_people(std::cout, results);
  if (!write_report_files(o, results, suite, title)) return kUsageStatus;
  std::cout.flush();
  return all_passed ? 0 : 1;
}
