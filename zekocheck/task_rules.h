// A task's rules, from its aufgabe.txt: the commands and queries it allows
// (the line "Befehle: vor, links, vorne_frei") and, optionally, how many
// commands a world may take ("Hoechstens: 40 Befehle je Welt"). They are
// checked against the calls zekocheck replayed itself, never against what
// a program says of itself.
#pragma once

#include <string>

#include "replay.h"
#include "source_index.h"

namespace zekocheck {

struct TaskRules {
  unsigned allowed = 0;   // a bit per zeko::rules::Call; 0: the task names none, all are allowed
  long max_commands = 0;  // per world; 0: only zekocheck's own limit
};

TaskRules read_task_rules(const std::string& task_text);
// The allowed calls in the language's order ("vor, links, vorne_frei").
std::string allowed_text(const TaskRules& rules);

// Why a run broke the rules, or "": the first call it made that the task
// does not allow, named with the source's lines that call it; or more
// commands than a world may take. `line` gets the line when the source
// names the call on exactly one.
std::string rule_breach(const Replay& replay, const TaskRules& rules, const SourceIndex& source,
                        long* line = nullptr);

// For a run stopped at zekocheck's limit of commands: where its last
// command stands in the source (" - zuletzt links (ewig.pas, Zeile 4)"), or
// ""; `line` as for rule_breach.
std::string last_command_place(const Replay& replay, const SourceIndex& source, long* line = nullptr);

}  // namespace zekocheck
