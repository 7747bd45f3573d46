#include "library.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "call_site.h"
#include "check_mode.h"
#include "console.h"
#include "deliverable.h"
#include "display.h"
#include "pace.h"
#include "screen.h"
#include "world.h"

namespace zeko::library {
namespace {

// The stepping mode: a blank is single-step, anything else Go. Zero before
// the first world: commands before it run in Go mode.
char STEUER;

// The pause of each Go step (pace.h).
unsigned g_go_pace_ms = kGoPaceMs;  // constant-initialised: no start-up code

// ZEKO_ZEILE=1 (or "ja"): after each command's redraw, row 22 right of the
// world name shows "Zeile 12: vor"; the rest of a longer text before it is
// blanked. Row 22 holds only the name (12 columns at most) in the library's
// screen, and is wide enough for the longest command name.
constexpr int kLineColumn = 15;
constexpr std::size_t kLineWidth = 80 - kLineColumn + 1;
bool g_show_line;
std::size_t g_line_shown;  // length of the text on the screen now

bool line_wanted() {
  const char* v = std::getenv("ZEKO_ZEILE");
  return v && (std::strcmp(v, "1") == 0 || std::strcmp(v, "ja") == 0);
}

void show_current_line() {
  char text[kLineWidth + 1];
  std::size_t n = current_line(text, sizeof text);
  if (n == 0 && g_line_shown == 0) return;
  for (std::size_t i = n; i < g_line_shown; ++i) text[i] = ' ';
  std::size_t width = std::max(n, g_line_shown);
  g_line_shown = n;
  console::write_at(kLineColumn, 22, console::dark_grey, std::string_view(text, width));
}

// Single-step waits for a key: the space bar keeps single-step, any other
// key (an extended key on its first code) switches to Go for good. At the
// end of input READKEY gives #0, which also switches to Go; WARTE then
// returns at once. A learner program never hangs on input that has ended.
void step_pause() {
  if (g_show_line) show_current_line();
  if (STEUER == ' ') {
    STEUER = console::READKEY();
    g_go_pace_ms = pace_for(STEUER);
  } else {
    console::DELAY(g_go_pace_ms);
  }
  console::GOTOXY(1, 23);
}

}  // namespace

void start() {
  if (check_mode::requested()) return check_mode::start();
  start_deliverable(ZEKOINC);
  g_show_line = line_wanted();
  hooks.step_pause = step_pause;
  hooks.before_failure_exit = report_failure;
  console::after_interrupt_report = report_interrupt;
}

void INITIALISIERE_DIE_ROBOTERWELT(std::string_view name) {
  if (check_mode::active()) {
    check_mode::load_world(name);
    note_world_loaded();
    return;
  }
  // Every world starts in single-step: its first drawing ends with a pause.
  load_and_show_world(name, [] {
    note_world_loaded();
    STEUER = ' ';
    g_line_shown = 0;  // the new screen has no line yet
  });
}

void WARTE() {
  if (check_mode::active()) return check_mode::warte();
  console::GOTOXY(1, 25);
  FARBE(rot);
  console::write_text("FERTIG!");
  console::wait_for_input();  // the key stays unread
  FARBE(schwarz);
  console::CLRSCR();
}

}  // namespace zeko::library
