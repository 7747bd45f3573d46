#include "library.h"

#include "console.h"
#include "deliverable.h"
#include "display.h"
#include "world.h"

namespace zeko::library {
namespace {

// Single-step waits for a key: the space bar keeps single-step, any other
// key (an extended key on its first code) switches to Go for good. At the
// end of input READKEY gives #0, which also switches to Go.
void step_pause() {
  if (STEUER == ' ') STEUER = console::READKEY();
  else console::DELAY(75);
  console::GOTOXY(1, 23);
}

}  // namespace

void start() {
  console::start(0, 1);
  use_deliverable(ZEKOINC);
  hooks.step_pause = step_pause;
}

void INITIALISIERE_DIE_ROBOTERWELT(std::string_view name) {
  LIES_MTWELT(name);
  BILDSCHIRM();
  ZEIGE_FELDER();
  ZEIGE_ZEKO();
}

void WARTE() {
  console::GOTOXY(1, 25);
  console::TEXTCOLOR(4);
  console::write_text("FERTIG!");
  console::wait_for_input();  // the key stays unread
  console::TEXTCOLOR(0);
  console::CLRSCR();
}

}  // namespace zeko::library
