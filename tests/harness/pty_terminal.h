// End-to-end test harness: runs a program on a pseudo-terminal and feeds
// everything it writes into a terminal emulator (libvterm), so tests can look
// at the screen the way a learner would see it, type keys, and check the
// terminal modes the program leaves behind.
#pragma once

#include <termios.h>
#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zt {

// One screen cell. Colours are PC text-mode numbers (0 black, 1 blue,
// 2 green, 3 cyan, 4 red, 5 magenta, 6 brown, 7 light grey; the bright
// colours ESC[90m..97m give 8..15), -1 for the terminal's default colour,
// -2 for a colour outside those 16. Bold is reported on its own and never
// folded into the colour number.
struct Cell {
  std::string ch;  // UTF-8; " " for an empty cell
  int fg = -1;
  int bg = -1;
  bool bold = false;
  bool blink = false;
  bool reverse = false;
};

struct Options {
  int rows = 25;
  int cols = 80;
  // Answer the terminal's queries (cursor position ESC[6n, device
  // attributes, ...) the way a real terminal does. Off: the program waits
  // in vain, as on a terminal that does not answer.
  bool answer_cursor_query = true;
  // The answer to a background colour query (ESC ] 11 ; ?), e.g.
  // "\033]11;rgb:0000/0000/0000\033\\"; empty: such queries go unanswered,
  // as on most terminals the emulator stands for.
  std::string background_answer;
  std::string cwd;                     // empty: the test's own directory
  std::vector<std::string> env_extra;  // "NAME=value", applied last
  // Standard input becomes a pipe that delivers stdin_bytes, then its end;
  // standard output and error stay on the terminal.
  bool stdin_from_pipe = false;
  std::string stdin_bytes;
  // Off: the pty is the program's standard input, output and error but not
  // its controlling terminal, so closing it sends no hang-up signal.
  bool controlling_terminal = true;
};

// How long waits last before a test gives up: long enough for a loaded
// machine, since only a hanging program should ever reach it.
inline constexpr int kPatience = 60000;

class Terminal {
 public:
  // Starts argv[0] (searched on PATH) on a new pty of the given size, in the
  // cooked mode a fresh login leaves. TERM is xterm unless env_extra says
  // otherwise. A library named in the harness's own environment variable
  // ZT_PRELOAD is added to the program's LD_PRELOAD (after the entries
  // already there): CI uses it to slow down every write of the programs.
  // Throws std::runtime_error if the pty cannot be set up.
  explicit Terminal(std::vector<std::string> argv, Options opt = {});
  ~Terminal();  // SIGKILLs the program (and its process group) if still running
  Terminal(const Terminal&) = delete;
  Terminal& operator=(const Terminal&) = delete;

  void send(std::string_view bytes);  // type: bytes go to the pty master
  // The window is dragged to a new size: the emulator and the pty change
  // size, and the program gets SIGWINCH.
  void resize(int rows, int cols);

  // Reads output for `ms` milliseconds (less once the program's side of the
  // terminal is closed).
  void pump(int ms);
  // Both give up at once when the program's output has ended and the
  // screen can no longer change. The time limits only stop a test that
  // hangs; a test that measures time passes its own.
  bool wait_for_text(std::string_view text, int timeout_ms = kPatience);
  bool wait_for(const std::function<bool()>& pred, int timeout_ms = kPatience);

  // Waits until the screen can only change through a key: every process of
  // the program is blocked reading input with no time limit, no typed byte
  // is waiting to be read and everything it wrote is on the screen. Also
  // true once the program has ended and all its output is read. Use it
  // before looking at the screen of a running program.
  bool settle(int timeout_ms = kPatience);

  // Waits for the program to end and reads everything it wrote. Returns the
  // exit status, 128+signal if a signal ended it, -1 on timeout.
  int wait_exit(int timeout_ms = kPatience);
  void kill(int sig);
  // The terminal goes away: its master side is closed. Nothing can be typed
  // or read from then on; wait_exit still reports how the program ended.
  void close_terminal();

  Cell cell(int row, int col) const;    // 1-based
  std::string row_text(int row) const;  // trailing blanks trimmed
  std::string screen_text() const;      // all rows joined with '\n'
  std::pair<int, int> cursor() const;   // 1-based {column, row}
  const std::string& raw_output() const { return raw_; }

  termios modes_before() const { return before_; }  // right before exec
  // After the program ended (read from the still open pty); while it still
  // runs, the current modes.
  termios modes_after() const;
  pid_t pid() const { return pid_; }

 private:
  void step(int timeout_ms);  // waits for output or the program's end, once
  bool output_pending() const;
  bool input_pending() const;
  void feed(const char* data, size_t n);
  bool reap();

  struct Vt;
  std::unique_ptr<Vt> vt_;
  Options opt_;
  int master_ = -1;
  int pidfd_ = -1;
  pid_t pid_ = -1;
  bool eof_ = false;
  bool reaped_ = false;
  int status_ = -1;
  std::string raw_;
  std::string answers_;  // the emulator's replies to queries
  termios before_{};
};

}  // namespace zt
