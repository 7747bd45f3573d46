#include "dialog.h"

#include <unistd.h>

#include "console.h"
#include "display.h"
#include "screen.h"
#include "world.h"
#include "world_lookup.h"

namespace zekoprog {
namespace {

constexpr char kEscape = 27;

// Only proves that the file opens where the reader will look for it; what it
// holds is the reader's business.
bool world_file_opens(const std::string& name) {
  if (name.empty()) return false;
  int fd = zeko::open_world_file(zeko::find_world_file(name));
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

// Bell, the red message and a key. False when that key is Esc or the input
// has ended: the user gives up.
bool report_missing_world() {
  console::write_char('\a');
  console::write_line_end();
  zeko::FARBE(zeko::rot);
  console::write_text("Diese Datei gibt es nicht !  [RETURN]");
  console::write_line_end();
  zeko::FARBE(zeko::schwarz);
  char key = console::READKEY();
  if (key == kEscape) return false;
  return !(key == 0 && console::input_ended());
}

}  // namespace

void DATEINAMEN_EINLESEN(std::string& welt, std::string& programm) {
  programm.clear();
  zeko::LOESCHE_SCHIRM();
  console::write_text("Programm zur manuellen Steuerung von ZEKO   -----   Autor: Dr. Horlo Mervolin");
  console::write_line_end();
  console::write_text(" ");
  console::write_line_end();
  zeko::FARBE(zeko::schwarz);
  for (;;) {
    console::write_text("Name der Roboterwelt: ");
    bool ended = false;
    welt = console::read_line(zeko::kNameLength, &ended);
    if (ended) return;
    if (world_file_opens(welt)) break;
    if (!report_missing_world()) return;
  }
  console::write_text("Name der Programmdatei: ");
  programm = console::read_line(zeko::kNameLength);
}

void INITIALISIERE_DIE_ZEKOWELT(const std::string& welt) { zeko::load_and_show_world(welt); }

}  // namespace zekoprog
