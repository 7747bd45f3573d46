#include "dialog.h"

#include "console.h"
#include "dialog_parts.h"
#include "display.h"
#include "screen.h"
#include "world.h"

namespace zekoprog {
namespace {

// Bell, the red message and a key. False when that key is Esc or Ctrl-C,
// or the input has ended: the user gives up.
bool report_missing_world() {
  console::write_char('\a');
  console::write_line_end();
  zeko::red_notice("Diese Datei gibt es nicht !  [RETURN]");
  char key = console::READKEY();
  console::Key pressed = console::as_key(key);
  if (pressed == console::Key::esc || pressed == console::Key::ctrl_c) return false;
  return !(key == 0 && console::input_ended());
}

}  // namespace

void DATEINAMEN_EINLESEN(zeko::strngp& welt, zeko::strngp& programm) {
  programm.assign("");
  zeko::dialog_title("Programm zur manuellen Steuerung von ZEKO   -----   Autor: Dr. Horlo Mervolin");
  zeko::FARBE(zeko::schwarz);
  for (;;) {
    if (!zeko::ask_name("Name der Roboterwelt: ", welt)) return;
    if (zeko::world_file_opens(welt.view())) break;
    if (!report_missing_world()) return;
  }
  // Empty also when the input ends here.
  zeko::ask_name("Name der Programmdatei: ", programm);
}

void INITIALISIERE_DIE_ZEKOWELT(std::string_view welt) { zeko::load_and_show_world(welt); }

}  // namespace zekoprog
