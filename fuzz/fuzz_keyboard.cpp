// Fuzz target: the keyboard side of the console -- key decoding, the key
// queue, line input and number input -- fed arbitrary bytes that end after
// them, from memory: the target brings its own input and output descriptor
// functions (see descriptor_io.cpp), which read the bytes as a pipe would
// hand them over and discard the output. The first byte chooses what reads
// them and how the console sees its input (a terminal with echo, or plain
// bytes).
#include <stdlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "console.h"
#include "runtime_error_throws.h"
#include "state.h"

namespace {

// The input still to be read.
const uint8_t* g_input;
size_t g_input_left;

}  // namespace

namespace console::detail {

int wait_for_input_bytes(int) { return 1; }  // bytes or their end are always there

ssize_t read_input(void* buffer, std::size_t size) {
  size_t n = std::min(size, g_input_left);
  std::memcpy(buffer, g_input, n);
  g_input += n;
  g_input_left -= n;
  return static_cast<ssize_t>(n);
}

ssize_t write_output(const void*, std::size_t size) { return static_cast<ssize_t>(size); }

}  // namespace console::detail

namespace {

using console::detail::g;

constexpr size_t kMaxInput = 8192;

// The console as start-up leaves it on an 80 x 25 terminal, with output
// going nowhere.
void fresh_console(bool keyboard) {
  g = {};
  g.started = true;
  g.in_fd = -1;
  g.out_fd = -1;
  g.output_is_terminal = true;  // so that echo and colours produce their sequences
  g.input_is_terminal = keyboard;
  g.echo_allowed = keyboard;
  g.width = 80;
  g.height = 25;
  g.column = g.row = 1;
  g.text_attr = g.sent_attr = 7;
}

void check_rings() {
  if (g.key_count > console::detail::kKeySlots - 1 || g.in_count > console::detail::kInputSize) abort();
  if (g.column < 1 || (g.column > g.width && g.column != console::detail::kUntrackedColumn)) abort();
  if (g.row < 1 || g.row > g.height) abort();
}

void read_keys() {
  while (!console::input_ended()) {
    bool pressed = console::KEYPRESSED();
    char key = console::READKEY();
    if (!pressed && key != 0) abort();  // a key came although none was there
    check_rings();
  }
  if (console::READKEY() != 0 || !console::KEYPRESSED()) abort();  // after the end: #0 at once
}

void read_lines(size_t capacity) {
  for (;;) {
    bool ended = false;
    std::string line = console::read_line(capacity, &ended);
    check_rings();
    if (line.size() > capacity) abort();
    if (ended) {
      if (!line.empty()) abort();
      return;
    }
  }
}

void read_numbers(bool fail_on_malformed) {
  for (;;) {
    int32_t value = 0;
    if (fail_on_malformed) {
      try {
        console::read_int_or_fail();
      } catch (const zeko_fuzz::RuntimeError& e) {
        if (e.number != 106) abort();
        check_rings();
        return;  // the run-time error ends a program: nothing more is read
      }
      if (console::input_ended()) return;
      continue;
    }
    console::IntResult r = console::read_int(value);
    check_rings();
    if (r == console::IntResult::ended) return;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || size > kMaxInput) return 0;
  uint8_t how = data[0];
  g_input = data + 1;
  g_input_left = size - 1;

  fresh_console((how & 0x80) == 0);
  switch (how & 3) {
    case 0: read_keys(); break;
    case 1: read_lines((how >> 2) & 0x1f); break;  // capacities 0..31: cuts happen
    case 2: read_numbers(false); break;
    case 3: read_numbers(true); break;
  }
  return 0;
}
