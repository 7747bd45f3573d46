#include "verdict.h"

#include <signal.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstring>
#include <sstream>

#include "pupil_text.h"

namespace zekocheck {
namespace {

std::string seconds_text(double s) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", s);
  return buf;
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
// A run-time error's line is known when the program was compiled with line
// information (zekoc does that); only a line of the program's own file counts.
std::string status_text(long status, const std::string& output, const std::vector<std::string>& own, long& line) {
  if (output.find("Runtime error " + std::to_string(status)) != std::string::npos) {
    line = runtime_error_line(output, own);
    return "Laufzeitfehler " + std::to_string(status) + (line > 0 ? " in Zeile " + std::to_string(line) : "");
  }
  return "Programm endete mit Status " + std::to_string(status);
}

// The reason of a run that did not pass, or "" when it passed: from
// zekocheck's own replay of the calls and the exit status it saw. A place
// the program names counts only in one of its `own` files; the places of
// the task's rules come from zekocheck's own index of the source.
struct RunRules {
  const TaskRules& rules;
  const SourceIndex& source;
};

std::string judge_run(const Run& run, const World& goal, const Comparison& compare, double seconds, Verdict& v,
                      const std::vector<std::string>& own, const RunRules* task = nullptr) {
  const Replay& replay = run.replay;
  v.commands += replay.commands();
  if (replay.world_loaded()) {  // the world where the program stopped, also after a failure
    v.expected = goal;
    v.actual = replay.world();
    v.has_worlds = true;
  }
  if (replay.end() == Replay::End::failed) return own_place_only(replay.reason(), own, &v.line);
  if (replay.end() == Replay::End::command_limit && task)
    return replay.reason() + last_command_place(replay, task->source, &v.line);
  if (replay.end() != Replay::End::none) return replay.reason();
  if (run.timed_out) return "Zeitlimit (" + seconds_text(seconds) + " s)";
  if (run.out_of_memory) return "Speichergrenze ueberschritten";
  if (WIFSIGNALED(run.wait_status)) return signal_text(WTERMSIG(run.wait_status));
  int status = WIFEXITED(run.wait_status) ? WEXITSTATUS(run.wait_status) : -1;
  if (status == 127 && !replay.world_loaded() && replay.commands() == 0) return "Programm laesst sich nicht starten";
  if (status != 0) return status_text(status, run.output, own, v.line);
  if (!replay.world_loaded()) return "keine Welt geladen";
  if (task)
    if (std::string breach = rule_breach(replay, task->rules, task->source, &v.line); !breach.empty()) return breach;

  const World& end = v.actual;
  v.fields.clear();
  for (int y = 0; y < kRows; ++y)
    for (int x = 0; x < kColumns; ++x)
      if (goal.feld[x][y] != end.feld[x][y]) v.fields.push_back({x, y, goal.feld[x][y], end.feld[x][y]});
  v.position_differs = compare.position && (goal.x != end.x || goal.y != end.y);
  v.supply_differs = compare.supply && goal.vorrat != end.vorrat;
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

std::optional<World> end_world_if_ended_well(const Run& run, double seconds, std::string* reason,
                                             const std::vector<std::string>& own) {
  // Judged against its own end world, a run fails only by how it ended.
  Verdict v;
  std::string why = judge_run(run, run.replay.world(), Comparison{}, seconds, v, own);
  if (reason) *reason = why;
  if (!why.empty()) return std::nullopt;
  return v.actual;
}

Verdict judge(const Program& program, const std::vector<World>& goals, const Comparison& compare, double seconds,
              const TaskRules& rules) {
  Verdict v;
  v.worlds = static_cast<int>(goals.size());
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
  const SourceIndex source = program.source ? index_program_source(program) : SourceIndex{};
  const RunRules task{rules, source};
  long commands = 0, milliseconds = 0;
  const std::vector<std::string> own = own_file_names(program.path, program.source);
  int worlds_passed = 0;
  for (std::size_t k = 0; k < program.runs.size() && k < goals.size(); ++k) {
    const Run& run = program.runs[k];
    Verdict pair;
    std::string reason = judge_run(run, goals[k], compare, seconds, pair, own, &task);
    worlds_passed += reason.empty();
    if (v.passed) commands += pair.commands;
    milliseconds += run.milliseconds;
    if (!v.passed) continue;
    if (!reason.empty()) {
      v = pair;
      v.passed = false;
      v.pair = static_cast<int>(k + 1);
      v.reason = goals.size() > 1 ? "Welt " + std::to_string(k + 1) + ": " + reason : reason;
      commands = pair.commands;
    }
    v.output = run.output;
    v.output_cut = run.output_cut;
  }
  v.commands = commands;
  v.milliseconds = milliseconds;
  v.worlds_passed = worlds_passed;
  v.worlds = static_cast<int>(goals.size());
  return v;
}

std::string worlds_text(const Verdict& v) {
  return std::to_string(v.worlds_passed) + " von " + std::to_string(v.worlds) + (v.worlds == 1 ? " Welt" : " Welten");
}

}  // namespace zekocheck
