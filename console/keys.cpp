// Keyboard: the input ring, the decoding of terminal key sequences into PC
// key codes, the key queue, and waiting without busy loops.
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "console.h"
#include "runtime_error.h"
#include "state.h"

namespace console {
namespace detail {

namespace {

int elapsed_ms(const timespec& since) {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int>((now.tv_sec - since.tv_sec) * 1000 + (now.tv_nsec - since.tv_nsec) / 1000000);
}

void queue_key(char key) {
  if (g.key_count >= kKeySlots - 1) return;  // full: the key is dropped
  g.keys[(g.key_head + g.key_count) % kKeySlots] = key;
  ++g.key_count;
}

[[gnu::always_inline]] inline char take_key() {
  char key = g.keys[g.key_head];
  g.key_head = (g.key_head + 1) % kKeySlots;
  --g.key_count;
  return key;
}

}  // namespace

bool fill_input(int timeout_ms) {
  if (g.in_count > 0) return true;
  if (g.input_ended) return false;
  timespec began;
  clock_gettime(CLOCK_MONOTONIC, &began);
  for (;;) {
    int wait = timeout_ms;
    if (timeout_ms > 0) wait = std::max(0, timeout_ms - elapsed_ms(began));
    int r = wait_for_input_bytes(wait);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    // The ring is empty: the bytes go straight into it, from its start.
    ssize_t n = read_input(g.in, kInputSize);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) {
      g.input_ended = true;
      check_terminal_lost();
      return false;
    }
    g.in_head = 0;
    g.in_count = static_cast<std::size_t>(n);
    return true;
  }
}

void push_back_byte(unsigned char byte) {
  if (g.in_count == kInputSize) return;
  g.in_head = (g.in_head + kInputSize - 1) % kInputSize;
  g.in[g.in_head] = byte;
  ++g.in_count;
}

namespace {

constexpr int kSequenceWait = 10;

// PC Alt codes of the keys a..z (0: no code).
constexpr unsigned char kAltLetter[26] = {30, 48, 46, 32, 18, 33, 34, 35, 23, 36, 37, 38, 50,
                                          49, 24, 25, 16, 19, 31, 20, 22, 47, 17, 45, 21, 44};

void extended(int code) {
  queue_key(0);
  queue_key(static_cast<char>(code));
}
void extended(Key key) { extended(static_cast<int>(key)); }

// The bytes after ESC that match no known sequence come back in reverse
// order, followed by ESC itself.
void unknown(const unsigned char* seq, std::size_t n) {
  for (std::size_t i = n; i > 0; --i) queue_key(static_cast<char>(seq[i - 1]));
  queue_key(as_char(Key::esc));
}

int tilde_code(int number) {
  switch (number) {
    case 1: return static_cast<int>(Key::home);
    case 2: return static_cast<int>(Key::insert);
    case 3: return static_cast<int>(Key::del);
    case 4: return static_cast<int>(Key::end);
    case 5: return static_cast<int>(Key::page_up);
    case 6: return static_cast<int>(Key::page_down);
    case 15: return 63;
    case 17: return 64;
    case 18: return 65;
    case 19: return 66;
    case 20: return 67;
    case 21: return 68;
    case 23: return 133;
    case 24: return 134;
    case 25: return 86;
    case 26: return 87;
    case 28: return 88;
    case 29: return 89;
    case 31: return 90;
    case 32: return 91;
    case 33: return 92;
    case 34: return 93;
    default: return 0;
  }
}

// A first digit after ESC [ that some ESC [ number ~ sequence begins with.
bool is_tilde_prefix(int digit) {
  if (tilde_code(digit)) return true;
  for (int second = 0; second <= 9; ++second)
    if (tilde_code(digit * 10 + second)) return true;
  return false;
}

void decode_escape() {
  unsigned char seq[4];
  std::size_t n = 0;
  auto more = [&]() {
    if (!next_byte(seq[n], kSequenceWait)) return false;
    ++n;
    return true;
  };
  if (!more()) return queue_key(as_char(Key::esc));
  unsigned char b = seq[0];
  if (b == '[') {
    if (!more()) return unknown(seq, n);
    unsigned char c = seq[1];
    switch (c) {
      case 'A': return extended(Key::up);
      case 'B': return extended(Key::down);
      case 'C': return extended(Key::right);
      case 'D': return extended(Key::left);
      case 'H': return extended(Key::home);
      case 'K': return extended(Key::end);
      case 'G': return queue_key('5');
      case '[':
        if (more() && seq[2] >= 'A' && seq[2] <= 'E') return extended(59 + seq[2] - 'A');
        return unknown(seq, n);
      default: break;
    }
    // ESC [ number ~: reading stops at the first byte that no known
    // sequence continues with; that byte is the last one given back.
    if (c < '0' || c > '9' || !is_tilde_prefix(c - '0')) return unknown(seq, n);
    int number = c - '0';
    if (!more()) return unknown(seq, n);
    if (seq[2] >= '0' && seq[2] <= '9') {
      number = number * 10 + (seq[2] - '0');
      if (tilde_code(number) == 0 || !more()) return unknown(seq, n);
    }
    int code = seq[n - 1] == '~' ? tilde_code(number) : 0;
    return code ? extended(code) : unknown(seq, n);
  }
  if (b == 'O') {
    if (!more()) return unknown(seq, n);
    unsigned char c = seq[1];
    constexpr Key kArrows[4] = {Key::up, Key::down, Key::right, Key::left};  // ESC O A..D
    if (c >= 'A' && c <= 'D') return extended(kArrows[c - 'A']);
    if (c >= 'P' && c <= 'S') return extended(59 + c - 'P');
    return unknown(seq, n);
  }
  if (b >= 'a' && b <= 'z') return extended(kAltLetter[b - 'a']);
  if (b >= '1' && b <= '9') return extended(120 + b - '1');
  if (b == '0') return extended(129);
  if (b == '-') return extended(130);
  if (b == '=') return extended(131);
  if (b == '\n') return queue_key('\n');
  unknown(seq, n);
}

}  // namespace
}  // namespace detail

using namespace detail;

char READKEY() {
  if (g.key_count > 0) return take_key();
  unsigned char b;
  if (!next_byte(b, -1)) return 0;  // input has ended
  // A plain byte is the key itself (the queue is empty here).
  if (b != as_char(Key::esc)) return b == 127 ? as_char(Key::backspace) : static_cast<char>(b);
  decode_escape();
  return g.key_count > 0 ? take_key() : 0;
}

bool KEYPRESSED() {
  if (g.key_count > 0 || g.in_count > 0) return true;
  if (g.input_ended) return true;  // READKEY answers at once from now on
  return wait_for_input_bytes(0) > 0;
}

void wait_for_input() {
  while (!KEYPRESSED()) {
    if (wait_for_input_bytes(-1) < 0 && errno != EINTR) return;
  }
}

bool input_ended() { return g.input_ended && g.in_count == 0 && g.key_count == 0; }

void DELAY(unsigned milliseconds) {
  timespec left {static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

}  // namespace console
