// Where the learner's program called the library, for the one line on
// standard error that names the place of a failed or interrupted run:
// "prog.pas, Zeile 12: vor - vor Zeko liegt ein Hindernis".
//
// A binding hands over where each robot command is called from: the Pascal
// unit a return address, which the library looks up through the resolver
// the binding registered (the program's own line information) when it
// needs the line; the C header's macros the file and line themselves.
// Without either the line names no place. Nothing here allocates, and all of it is async-signal-safe as long
// as the resolver is: it also runs inside the SIGINT handler.
#pragma once

#include <cstddef>

#include "deliverable.h"
#include "zekoinc.h"

namespace zeko::library {

struct CallSite {
  const char* command;  // the robot command called last; nullptr: none yet
  const void* address;  // return address in the caller's code; nullptr: unknown
  const char* file;     // or the caller's file and line (C and C++)
  int line;
  bool running;         // the command has not returned yet
};

// Opened by the entry point of each robot command: takes the address the
// binding gave for this call and marks the command as running until it
// returns (a failing command ends the process inside, so it stays running).
class CommandCall {
 public:
  explicit CommandCall(const char* command);
  ~CommandCall();
  CommandCall(const CommandCall&) = delete;
  CommandCall& operator=(const CommandCall&) = delete;
};

void set_next_call_site(const void* address);
void set_next_call_line(const char* file, int line);
void set_line_resolver(zeko_line_resolver resolver);
void note_world_loaded();
const CallSite& last_call();

// "prog.pas, Zeile 12" for the last robot command; empty when unknown.
// Each writes at most capacity - 1 characters and a NUL, and returns the
// length written.
std::size_t where(char* out, std::size_t capacity);
// The line for a failed command, without line end:
// "prog.pas, Zeile 12: vor - vor Zeko liegt ein Hindernis", plus
// " (keine Welt geladen)" before any world was loaded.
std::size_t failure_line(Command command, char* out, std::size_t capacity);
// The line for an interrupted run: "prog.pas, Zeile 7: links - abgebrochen"
// while a command runs, "... Zeile 7: nach links abgebrochen" after it; empty
// before the first command.
std::size_t interrupt_line(char* out, std::size_t capacity);

// "Zeile 12: vor" for the last robot command (ZEKO_ZEILE); empty when its
// line is unknown. A Pascal address is looked up once: later calls from
// the same place take the line from a small cache.
std::size_t current_line(char* out, std::size_t capacity);

// Ends of a run: the terminal is restored first, then the line goes to
// standard error.
void report_failure(Command command);
void report_interrupt(const void* signal_context);

}  // namespace zeko::library
