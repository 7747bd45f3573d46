// The console layer: one ANSI/VT100 text terminal on standard input and
// output, with a tracked cursor, PC text-mode colours, raw-mode keys decoded
// into PC key codes, and line input with echo.
//
// All state is process-wide and plain (no constructors), so the layer works
// the same inside a learner's Free Pascal program as in our own programs.
// Every operation collects its bytes and hands them to the terminal with one
// write at its end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace console {

// What Ctrl-C does.
enum class CtrlC {
  key,              // key #3 everywhere, line input takes it as a character
  ends_line_input,  // key #3 for READKEY; line input ends as at the end of input
  ends_program,     // the terminal's interrupt key: the program ends (status 130)
};

// How a deliverable wants its terminal; chosen once, at start.
struct Profile {
  CtrlC ctrl_c;
  // A window smaller than 80 x 25 at start: say so and wait until it is
  // made big enough (Esc, Ctrl-C or the end of input end with status 1).
  bool needs_whole_window;
};

// Start-up: takes over the two descriptors (normally 0 and 1), reads the
// window size, sets raw mode, asks for the cursor position and resets the
// terminal's attributes. Registers the shut-down for every end of the
// process (normal exit, signals from outside). Calling it twice does nothing.
void start(int input_fd = 0, int output_fd = 1, Profile profile = {});

// Shut-down: writes pending output, resets the terminal's colours when
// others than the start state's were sent last (ESC [m), and restores the
// saved terminal modes. Safe to call more than once.
void shutdown();

// Called when Ctrl-C has ended a program (CtrlC::ends_program), inside the
// SIGINT handler: after the terminal is restored and row 23 says
// "Programm abgebrochen (Strg+C).", before the process dies of SIGINT.
// Async-signal-safe calls only. `signal_context` is the handler's
// ucontext_t (the interrupted place), or nullptr. Zero: nothing is called.
extern void (*after_interrupt_report)(const void* signal_context);

// True once line input has ended because of Ctrl-C (CtrlC::ends_line_input).
bool interrupted();

// Called from the handler of SIGTERM, SIGHUP, SIGQUIT and SIGINT before the
// terminal is restored and the process ends with the signal. It runs inside a
// signal handler: it must only use async-signal-safe calls (write, close,
// rename, unlink).
using SignalHook = void (*)(int signal_number);
void set_signal_hook(SignalHook hook);

// On: a terminal that has gone away -- reads report the end of input and
// writes to it fail, without a hang-up signal because it is not our
// controlling terminal -- ends the process as a hang-up does. Off: reads
// give the end of input, and what is written is dropped.
void end_on_terminal_loss(bool on);

int screen_width();
int screen_height();
bool output_is_terminal();
bool echo_allowed();

// The colours of the PC text mode by number (backgrounds are 0 to 7); the
// drawing layer names the ones it uses (FT).
enum Colour : uint8_t { black = 0, blue = 1, green = 2, red = 4, light_grey = 7, dark_grey = 8 };

// Cursor and colours.
void GOTOXY(int column, int row);
void TEXTCOLOR(int colour);
void TEXTBACKGROUND(int colour);
void CLRSCR();
int where_x();  // tracked column (255: not tracked)
int where_y();  // tracked row
uint8_t text_attr();

// Text output; each call is one operation (one write).
void write_text(std::string_view text);
void write_char(char c);
// Text at a place in a colour, in one write; the cursor stays behind the
// text, the text colour as it was.
void write_at(int column, int row, int colour, std::string_view text);
void write_int(long value, int width = 0);
void write_line_end();

// Keyboard.
// Keys as READKEY gives them: a character (DEL reads as backspace), or #0
// followed by the PC scan code of an extended key (home ... del).
enum class Key : unsigned char {
  ctrl_c = 3, backspace = 8, line_feed = 10, enter = 13, esc = 27,
  home = 71, up = 72, page_up = 73, left = 75, right = 77, end = 79, down = 80, page_down = 81, insert = 82, del = 83,
};
constexpr Key as_key(char c) { return static_cast<Key>(static_cast<unsigned char>(c)); }
constexpr char as_char(Key k) { return static_cast<char>(k); }

char READKEY();
bool KEYPRESSED();
void DELAY(unsigned milliseconds);
// True once standard input has reported its end; READKEY then gives #0.
bool input_ended();
// Blocks until a key or the end of input is there, consuming nothing.
void wait_for_input();

// Line input: the first `capacity` characters of the next line; the rest of
// the line is dropped. Sets *ended when input ended before a line end.
std::string read_line(std::size_t capacity, bool* ended = nullptr);

// Integer line input. Blanks and line ends before the number are skipped.
enum class IntResult { ok, malformed, ended };
IntResult read_int(int32_t& value);
// The same, but a malformed number is a run-time error (106).
int32_t read_int_or_fail();

}  // namespace console
