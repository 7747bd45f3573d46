// The console's process-wide state, shared by its source files only.
#pragma once

#include <sys/types.h>
#include <termios.h>

#include <cstddef>
#include <cstdint>

#include "console.h"

namespace console::detail {

constexpr int kUntrackedColumn = 255;
constexpr std::size_t kOutputSize = 1024;
constexpr std::size_t kInputSize = 256;
constexpr std::size_t kKeySlots = 20;  // one slot stays free: at most 19 keys

struct State {
  Profile profile;
  bool started;
  bool size_known;         // the terminal reported its window size
  bool dark_colours;       // black and white text swap places on the terminal
  bool interrupted;        // line input ended by Ctrl-C
  bool output_is_terminal;
  bool echo_allowed;
  bool input_is_terminal;
  bool modes_saved;
  bool input_ended;
  int in_fd;
  int out_fd;
  int width;
  int height;
  int column;  // tracked cursor, 1-based; kUntrackedColumn forces an absolute move
  int row;
  uint8_t text_attr;
  uint8_t sent_attr;
  termios saved_modes;

  char out[kOutputSize];
  std::size_t out_len;

  unsigned char in[kInputSize];  // ring of bytes read from standard input
  std::size_t in_head;
  std::size_t in_count;

  char keys[kKeySlots];  // ring of decoded keys
  std::size_t key_head;
  std::size_t key_count;
};

// Zero-initialised, no constructor: usable before any C++ start-up code ran.
extern State g;

// Output buffer.
void put(char c);
void put(const char* text, std::size_t length);
void put_number(long value);
void flush();

// Positioning and colour rules, used by several operations.
void move_cursor(int column, int row);
void set_attr(uint8_t attr);
void line_end();

// Input: fills the byte ring; waits at most timeout_ms (-1: no limit).
// Returns false when nothing came (time-out or end of input).
bool fill_input(int timeout_ms);
// Inline: it runs for every byte read, and the byte need not live in memory.
[[gnu::always_inline]] inline bool next_byte(unsigned char& byte, int timeout_ms) {
  if (g.in_count == 0 && !fill_input(timeout_ms)) return false;
  byte = g.in[g.in_head];
  g.in_head = (g.in_head + 1) % kInputSize;
  --g.in_count;
  return true;
}
void push_back_byte(unsigned char byte);

// The only reads, writes and waits on in_fd and out_fd while the program
// runs (descriptor_io.cpp): wait_for_input_bytes answers as poll does (> 0:
// bytes or the end are there, 0: time-out, < 0: errno), the others as read
// and write.
int wait_for_input_bytes(int timeout_ms);
ssize_t read_input(void* buffer, std::size_t size);
ssize_t write_output(const void* bytes, std::size_t size);

// Terminal modes, the one place that changes and restores them.
// signal_keys: Ctrl-C stays the terminal's interrupt key (quit and suspend
// keys are off all the same).
void enter_raw_mode(bool signal_keys);
void restore_modes();
void install_signal_handlers();
void install_crash_handlers();
void read_window_size();

// Start-up conversation with the terminal: the cursor position and, when
// asked for, the background colour. Keys typed meanwhile stay for READKEY.
struct Answers {
  int row, column;      // 0: no cursor answer
  int background_dark;  // -1: no answer, 0 light, 1 dark
};
Answers ask_terminal(bool background_too);

// Says that the window is too small and waits until it is big enough; ends
// the program with status 1 on Esc, Ctrl-C or the end of input.
void wait_for_whole_window();

// Writes all bytes, retrying after interruptions; async-signal-safe.
void write_fully(int fd, const char* bytes, std::size_t length);

// Ends the process as a hang-up does when the terminal has gone away and
// the deliverable asked for it; returns otherwise.
void check_terminal_lost();

// Where the deliverable asks for it and the output terminal is not our
// controlling terminal, starts a watcher that ends the process as a hang-up
// does once the terminal has gone away, also while the program runs a loop
// that calls nothing of ours.
void watch_for_terminal_loss();

}  // namespace console::detail
