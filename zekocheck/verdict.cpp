#include "verdict.h"

#include <signal.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstring>
#include <regex>
#include <sstream>

namespace zekocheck {
namespace {

// The lines after the world in the result file.
struct Result {
  long commands = 0;
  long worlds = 0;
  std::string end;      // normal, warte, fehler, limit, laufzeitfehler, status, signal
  long number = -1;
  std::string message;  // of a failed command
};

Result parse_result(const std::string& text) {
  Result r;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string key;
    words >> key;
    if (key == "befehle") words >> r.commands;
    else if (key == "welten") words >> r.worlds;
    else if (key == "ende") {
      words >> r.end;
      if (!(words >> r.number)) r.number = -1;
      std::getline(words, r.message);
      if (!r.message.empty() && r.message[0] == ' ') r.message.erase(0, 1);
    }
  }
  return r;
}

std::string seconds_text(double s) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", s);
  return buf;
}

// Free Pascal names the line of a run-time error when the program was
// compiled with line information (zekoc does that): "line 7 of prog.pas".
std::string runtime_error_place(const std::string& output) {
  static const std::regex line_of(R"(line (\d+) of ([^\s]+))");
  std::smatch m;
  if (std::regex_search(output, m, line_of)) return " in Zeile " + m[1].str();
  return "";
}

std::string signal_text(int sig) {
  switch (sig) {
    case SIGXCPU: return "CPU-Zeit ueberschritten";
    case SIGXFSZ: return "Datei zu gross geschrieben";
    case SIGSEGV: return "Speicherzugriffsfehler (Signal 11)";
    case SIGKILL: return "abgebrochen (Signal 9, zu viel Speicher?)";
    default: return "beendet durch Signal " + std::to_string(sig);
  }
}

// An end with an exit status other than 0 and no better reason.
std::string status_text(long status, const std::string& output) {
  if (output.find("Runtime error " + std::to_string(status)) != std::string::npos)
    return "Laufzeitfehler " + std::to_string(status) + runtime_error_place(output);
  return "Programm endete mit Status " + std::to_string(status);
}

// The reason of a run that did not pass, or "" when it passed.
std::string judge_run(const Run& run, const World& goal, const Comparison& compare, double seconds, Verdict& v) {
  if (run.timed_out) return "Zeitlimit (" + seconds_text(seconds) + " s)";
  Result r;
  if (run.has_result) r = parse_result(run.result);
  v.commands += r.commands;
  if (r.end == "limit") return "Abbruch nach " + std::to_string(r.number) + " Befehlen";
  if (r.end == "fehler") return r.message.empty() ? "Befehl nicht ausfuehrbar" : r.message;
  if (r.end == "laufzeitfehler") return "Laufzeitfehler " + std::to_string(r.number) + runtime_error_place(run.output);
  if (r.end == "signal") return signal_text(static_cast<int>(r.number));
  if (WIFSIGNALED(run.wait_status)) return signal_text(WTERMSIG(run.wait_status));
  int status = WIFEXITED(run.wait_status) ? WEXITSTATUS(run.wait_status) : -1;
  if (status == 127 && !run.has_result) return "Programm laesst sich nicht starten";
  if (status != 0) return status_text(status, run.output);
  if (!run.has_result) return "kein Ergebnis (benutzt das Programm ZekoInc?)";
  if (r.worlds == 0) return "keine Welt geladen";

  WorldFile end = read_world_text(run.result);
  if (!end.readable) return "kein lesbares Ergebnis";
  v.expected = goal;
  v.actual = end.world;
  v.fields.clear();
  for (int y = 0; y < kRows; ++y)
    for (int x = 0; x < kColumns; ++x)
      if (goal.feld[x][y] != end.world.feld[x][y]) v.fields.push_back({x, y, goal.feld[x][y], end.world.feld[x][y]});
  v.position_differs = compare.position && (goal.x != end.world.x || goal.y != end.world.y);
  v.supply_differs = compare.supply && goal.vorrat != end.world.vorrat;
  if (v.fields.empty() && !v.position_differs && !v.supply_differs) return "";
  v.wrong_world = true;
  std::vector<std::string> parts;
  if (!v.fields.empty())
    parts.push_back(std::to_string(v.fields.size()) + (v.fields.size() == 1 ? " Feld" : " Felder"));
  if (v.position_differs) parts.push_back("Position");
  if (v.supply_differs) parts.push_back("Vorrat");
  std::string text = "Endwelt falsch (";
  for (std::size_t i = 0; i < parts.size(); ++i) text += (i ? ", " : "") + parts[i];
  return text + " anders als im Ziel)";
}

}  // namespace

Verdict judge(const Program& program, const std::vector<World>& goals, const Comparison& compare, double seconds) {
  Verdict v;
  if (!program.unusable.empty()) {
    v.reason = program.unusable;
    return v;
  }
  if (program.compile_failed) {
    v.reason = "nicht uebersetzbar";
    if (!program.compile_limit.empty()) v.reason += " - Grenze " + program.compile_limit;
    return v;
  }
  v.passed = true;
  long commands = 0, milliseconds = 0;
  for (std::size_t k = 0; k < program.runs.size() && k < goals.size(); ++k) {
    const Run& run = program.runs[k];
    Verdict pair;
    std::string reason = judge_run(run, goals[k], compare, seconds, pair);
    commands += pair.commands;
    milliseconds += run.milliseconds;
    if (!v.passed) continue;
    if (!reason.empty()) {
      v = pair;
      v.passed = false;
      v.pair = static_cast<int>(k + 1);
      v.reason = goals.size() > 1 ? "Welt " + std::to_string(k + 1) + ": " + reason : reason;
    }
    v.output = run.output;
    v.output_cut = run.output_cut;
  }
  v.commands = commands;
  v.milliseconds = milliseconds;
  return v;
}

}  // namespace zekocheck
