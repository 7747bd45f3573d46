// Output: the 1024-byte buffer, the positioning rule, the colour rule and
// text with its control characters. Each public operation ends with flush(),
// so it reaches the terminal in one write.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "console.h"
#include "runtime_error.h"
#include "state.h"

namespace console {
namespace detail {

namespace {

// Out of line: flush() runs after every key echoed, and without the error's
// message text it needs no stack frame of its own.
[[gnu::noinline, gnu::cold]] void output_failed(int err) {
  g.out_len = 0;
  if (err == EIO || err == EPIPE) {  // terminal gone: nothing to report to
    check_terminal_lost();
    return;
  }
  runtime_error(err, "Die Ausgabe auf den Bildschirm ist fehlgeschlagen.");
}

}  // namespace

void flush() {
  std::size_t done = 0;
  while (done < g.out_len) {
    ssize_t n = write_output(g.out + done, g.out_len - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return output_failed(n < 0 ? errno : EIO);
    done += static_cast<std::size_t>(n);
  }
  g.out_len = 0;
}

void put(char c) {
  if (g.out_len == kOutputSize) flush();
  g.out[g.out_len++] = c;
}

void put(const char* text, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i) put(text[i]);
}

// By hand rather than snprintf: every cursor move at a line end needs it.
void put_number(long value) {
  unsigned long magnitude = value < 0 ? 0UL - static_cast<unsigned long>(value) : static_cast<unsigned long>(value);
  char digits[24];
  std::size_t start = sizeof digits;
  do {
    digits[--start] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude > 0);
  if (value < 0) digits[--start] = '-';
  put(digits + start, sizeof digits - start);
}

namespace {

void put_csi(long n, char final) {
  put("\033[", 2);
  put_number(n);
  put(final);
}

void put_absolute(int column, int row) {
  put("\033[", 2);
  put_number(row);
  put(';');
  put_number(column);
  put('H');
}

// Terminal colour digits of the PC colours 0..7.
constexpr char kDigit[8] = {'0', '4', '2', '6', '1', '5', '3', '7'};

}  // namespace

void move_cursor(int column, int row) {
  int old_column = g.column, old_row = g.row;
  g.column = column;
  g.row = row;
  if (!g.output_is_terminal) {
    if (row == old_row + 1) put('\n');
    return;
  }
  if (row == old_row && old_column != kUntrackedColumn) {
    if (column == old_column) {
      if (column == g.width) put_absolute(column, row);
    } else if (column > old_column) {
      put_csi(column - old_column, 'C');
    } else {
      put_csi(old_column - column, 'D');
    }
  } else if (column == old_column) {
    put_csi(row > old_row ? row - old_row : old_row - row, row > old_row ? 'B' : 'A');
  } else {
    put_absolute(column, row);
  }
}

namespace {

// On a dark terminal black text would be invisible: black and white text
// swap places on the way to the terminal, and dark grey (only the library's
// current line uses it) becomes light grey. The attribute itself stays.
int shown_foreground(uint8_t attr) {
  int f = attr & 15;
  if (g.dark_colours && (f == 0 || f == 15)) return 15 - f;
  if (g.dark_colours && f == 8) return 7;
  return f;
}

}  // namespace

void set_attr(uint8_t attr) {
  if (attr == g.sent_attr) return;
  if (g.output_is_terminal) {
    int f = shown_foreground(attr), b = attr >> 4;
    int of = shown_foreground(g.sent_attr), ob = g.sent_attr >> 4;
    char parts[24];
    std::size_t n = 0;
    auto add = [&](char a, char c = 0) {
      if (n > 0) parts[n++] = ';';
      parts[n++] = a;
      if (c) parts[n++] = c;
    };
    if (of != 7 || f == 7 || (ob > 7 && b < 8)) {
      add('0');
      of = 7;
      ob = 0;
    }
    if (f > 7 && of < 8) {
      add('1');
      of |= 8;
    }
    if ((b & 8) != (ob & 8)) {
      add('5');
      ob |= 8;
    }
    if (f != of) add('3', kDigit[f & 7]);
    if (b != ob) add('4', kDigit[b & 7]);
    if (n == 1 && parts[0] == '0') n = 0;
    put("\033[", 2);
    put(parts, n);
    put('m');
  }
  g.text_attr = g.sent_attr = attr;
}

void line_end() {
  if (g.row >= g.height) {
    // The raw terminal does not return the carriage by itself.
    if (g.output_is_terminal) put("\n\r", 2);
    else put('\n');
    g.column = 1;
    g.row = g.height;
  } else {
    move_cursor(1, g.row + 1);
  }
}

namespace {

void text(std::string_view s) {
  if (g.text_attr != g.sent_attr) set_attr(g.text_attr);
  // The pending run of ordinary characters is s[run, i) (plain indices, no
  // lambda: this runs for every key echoed).
  const char* data = s.data();
  std::size_t run = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(data[i]);
    switch (c) {
      case 8:
      case 9:
      case 10:
      case 13:
      case 27:
        put(data + run, i - run);
        run = i + 1;
        break;
      default:
        if (g.column == kUntrackedColumn || g.column >= g.width) {
          // Last column: the character goes out, then a line end at once.
          put(data + run, i + 1 - run);
          run = i + 1;
          g.column = kUntrackedColumn;
          line_end();
        } else {
          ++g.column;
        }
        continue;
    }
    switch (c) {
      case 8:
        put('\b');
        if (g.column > 1 && g.column != kUntrackedColumn) --g.column;
        break;
      case 9:  // sent as it is; the terminal's tab stops are every 8 columns
        put('\t');
        if (g.column != kUntrackedColumn) g.column = std::min(g.width, ((g.column - 1) / 8 + 1) * 8 + 1);
        break;
      case 10:
        line_end();
        break;
      case 13:
        move_cursor(1, g.row);
        break;
      case 27:
        put('\033');
        break;
    }
  }
  put(data + run, s.size() - run);
}

}  // namespace
}  // namespace detail

using namespace detail;

void GOTOXY(int column, int row) {
  if (column < 1 || row < 1 || column > 255 || row > 255) return;
  if (column > g.width || row > g.height) return;
  move_cursor(column, row);
  flush();
}

void TEXTCOLOR(int colour) {
  uint8_t attr = static_cast<uint8_t>((g.text_attr & 0x70) | (colour & 15));
  if ((colour & 0xff) > 15) attr |= 0x80;
  set_attr(attr);
  flush();
}

void TEXTBACKGROUND(int colour) {
  set_attr(static_cast<uint8_t>((g.text_attr & 0x8F) | ((colour & 7) << 4)));
  flush();
}

void CLRSCR() {
  if (g.output_is_terminal) put("\033[H\033[2J", 7);
  g.column = g.row = 1;
  flush();
}

int where_x() { return g.column; }
int where_y() { return g.row; }
uint8_t text_attr() { return g.text_attr; }

void write_text(std::string_view s) {
  text(s);
  flush();
}

void write_at(int column, int row, int colour, std::string_view s) {
  if (column < 1 || row < 1 || column > g.width || row > g.height) return;
  uint8_t before = g.text_attr;
  move_cursor(column, row);
  set_attr(static_cast<uint8_t>((before & 0x70) | (colour & 15)));
  text(s);
  set_attr(before);
  flush();
}

void write_char(char c) { write_text(std::string_view(&c, 1)); }

void write_int(long value, int width) {
  char digits[24];
  int n = std::snprintf(digits, sizeof digits, "%ld", value);
  std::string padded;
  if (width > n) padded.assign(static_cast<std::size_t>(width - n), ' ');
  padded.append(digits, static_cast<std::size_t>(n));
  write_text(padded);
}

void write_line_end() { write_text("\n"); }

}  // namespace console
