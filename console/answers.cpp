// The terminal's answers at start-up: the cursor position (ESC [ row ;
// column R) and, when asked for, the background colour (ESC ] 11 ; rgb:R/G/B
// ended by BEL or ESC \). A terminal answers in the order it was asked, so
// the cursor answer, asked last, also says that no colour answer is coming.
#include <poll.h>
#include <unistd.h>

#include <cstring>

#include "state.h"

namespace console::detail {
namespace {

constexpr int kAnswerWait = 1000;

// When standard input is another device, the answer still comes from the
// output terminal, so it is read there and the keys around it are dropped.
bool answer_byte(unsigned char& b) {
  if (g.echo_allowed) return next_byte(b, kAnswerWait);
  pollfd p {g.out_fd, POLLIN, 0};
  return poll(&p, 1, kAnswerWait) > 0 && read(g.out_fd, &b, 1) == 1;
}

// One colour component of 1 to 4 hex digits, as a share of its full value.
bool component(const char*& p, double& share) {
  unsigned value = 0, full = 0;
  int digits = 0;
  for (; digits < 4; ++digits, ++p) {
    char c = *p;
    unsigned d;
    if (c >= '0' && c <= '9') d = static_cast<unsigned>(c - '0');
    else if (c >= 'a' && c <= 'f') d = static_cast<unsigned>(c - 'a' + 10);
    else if (c >= 'A' && c <= 'F') d = static_cast<unsigned>(c - 'A' + 10);
    else break;
    value = value * 16 + d;
    full = full * 16 + 15;
  }
  if (digits == 0) return false;
  share = static_cast<double>(value) / full;
  return true;
}

// "11;rgb:RRRR/GGGG/BBBB": 1 dark, 0 light, -1 not a background answer.
int background_darkness(const char* body) {
  const char* p = body;
  if (std::strncmp(p, "11;rgb:", 7) != 0) return -1;
  p += 7;
  double r, gr, b;
  if (!component(p, r) || *p++ != '/' || !component(p, gr) || *p++ != '/' || !component(p, b)) return -1;
  return 0.299 * r + 0.587 * gr + 0.114 * b < 0.5 ? 1 : 0;
}

}  // namespace

Answers ask_terminal(bool background_too) {
  if (background_too) put("\033]11;?\033\\", 8);
  put("\033[6n", 4);
  flush();

  Answers a {0, 0, -1};
  enum { kOutside, kEsc, kCsi, kColumn, kOsc, kOscEsc } phase = kOutside;
  unsigned char pending[kInputSize];  // keys typed before the answers
  std::size_t npending = 0;
  char osc[64];
  std::size_t nosc = 0;
  int row = 0, column = 0;
  unsigned char b;
  while (answer_byte(b)) {
    switch (phase) {
      case kOutside:
        if (b == 27) phase = kEsc;
        else if (g.echo_allowed && npending < sizeof pending) pending[npending++] = b;
        continue;
      case kEsc:
        row = column = 0;
        nosc = 0;
        if (b == '[') phase = kCsi;
        else if (b == ']' && background_too) phase = kOsc;
        else phase = kOutside;
        continue;
      case kCsi:
        if (b >= '0' && b <= '9') row = row * 10 + (b - '0');
        else phase = b == ';' ? kColumn : kOutside;
        continue;
      case kColumn:
        if (b >= '0' && b <= '9') {
          column = column * 10 + (b - '0');
          continue;
        }
        phase = kOutside;
        if (b == 'R') {
          a.row = row;
          a.column = column;
          break;
        }
        continue;
      case kOsc:
        if (b == 7 || b == 27) {
          osc[nosc] = 0;
          a.background_dark = background_darkness(osc);
          phase = b == 27 ? kOscEsc : kOutside;
        } else if (nosc + 1 < sizeof osc) {
          osc[nosc++] = static_cast<char>(b);
        }
        continue;
      case kOscEsc:  // the "\" of the string terminator
        phase = kOutside;
        continue;
    }
    break;  // the cursor answer ends the conversation
  }
  for (std::size_t i = npending; i > 0; --i) push_back_byte(pending[i - 1]);
  return a;
}

}  // namespace console::detail
