// Runs a piece of test code in a forked child, so that process-wide state
// (the console, the world) starts fresh and a run-time error that ends the
// process can be checked from outside: its exit status, its standard error,
// every byte it wrote to its terminal, and the terminal modes it left.
#pragma once

#include <termios.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace support {

struct Outcome {
  int status = -1;           // as waitpid reports it; -1: the child hung and was killed
  std::string output;        // every byte written to the terminal or the output pipe
  std::string terminal;      // with a pipe as output: what still reached the terminal
  std::string errors;        // standard error
  std::vector<std::string> notes;  // what the child reported with note(), in order
  termios modes_before{};    // of the terminal, before the child ran
  termios modes_after{};     // and after it ended

  bool exited_with(int code) const;
  bool killed_by(int signal_number) const;
  // The output after the console's start-up (the first ESC [m).
  std::string after_start() const;
  // Exit status or signal and standard error, for failure messages.
  std::string describe() const;
};

struct TerminalOptions {
  unsigned short rows = 25;
  unsigned short cols = 80;
  // Sent as the terminal's answer to the cursor query; empty: never answered.
  std::string cursor_answer = "\033[5;3R";
  bool output_to_pipe = false;   // standard output a pipe, input stays the terminal
  bool input_from_pipe = false;  // standard input a pipe holding input_bytes, then its end
  std::string input_bytes;
  bool start_console = true;     // console::start(0, 1) before the body
  bool sigterm_on_first_note = false;  // the parent ends the child from outside
};

// The body runs in a child whose standard input and output are the slave of
// a new pseudo-terminal (or pipes, as the options say). The child ends with
// status 0 after the body unless the body ends it first.
Outcome run_on_terminal(const TerminalOptions& options, const std::function<void()>& body);

// The body runs in a child without a terminal: standard input /dev/null,
// output and error collected. For code that ends the process on failure.
Outcome run_forked(const std::function<void()>& body);

// --- inside the child -------------------------------------------------------

void note(std::string_view text);
// Keys as the terminal sends them; returns once they can be read.
void type(std::string_view keys);
// The same keys, sent from a timer signal after `ms` milliseconds.
void type_later(std::string_view keys, int ms);
long now_ms();  // monotonic clock

// --- helpers ----------------------------------------------------------------

std::string escaped(std::string_view bytes);  // control bytes shown as \e, \n, \x..

// Inside a child: from now on act as the user nobody, whom file modes bind.
void become_nobody();

}  // namespace support
