// The editing loop: the cursor keys walk the robot, the space bar toggles an
// obstacle under it, "n" and "g" move items between the field and the
// robot's working supply, "e" ends.
#include "console.h"
#include "display.h"
#include "editor.h"
#include "robot.h"
#include "world.h"

namespace zekoedit {

void HANDSTEUERUNG() {
  using namespace zeko;

  // The robot faces down whenever a key is awaited; each move turns it to the
  // heading it needs, steps (or only turns, at the border) and turns back.
  // The four names are the given ones and read against the screen: OBEN
  // steps the way the robot faces, to y + 1, one row DOWN (the Down arrow);
  // UNTEN goes up (the Up arrow); LINK goes right, RECHT left.
  auto OBEN = [] { VOR(); };
  auto UNTEN = [] {
    LINKS();
    LINKS();
    VOR();
    LINKS();
    LINKS();
  };
  auto LINK = [] {
    LINKS();
    VOR();
    LINKS();
    LINKS();
    LINKS();
  };
  auto RECHT = [] {
    LINKS();
    LINKS();
    LINKS();
    VOR();
    LINKS();
  };
  // Items on a field that becomes an obstacle are lost.
  auto INVERT = [] {
    int16_t& field = FELD[ZEKO.x][ZEKO.y];
    field = field < 0 ? 0 : -1;
    FELDINHALT_ZEIGEN(ZEKO.x, ZEKO.y);
    ZEIGE_ZEKO();
  };
  // Once input has ended every key reads as #0; waiting on would never end.
  // Ctrl-C leaves without saving.
  auto next_key = [] {
    char key = console::READKEY();
    if (key == 0 && console::input_ended()) end_unsaved();
    if (console::as_key(key) == console::Key::ctrl_c) end_unsaved(true, 130);
    return key;
  };

  char key;
  do {
    key = next_key();
    if (key == 0) {
      key = next_key();
      switch (console::as_key(key)) {
        case console::Key::up: UNTEN(); break;
        case console::Key::down: OBEN(); break;
        case console::Key::left: RECHT(); break;
        case console::Key::right: LINK(); break;
        default: break;
      }
    } else {
      switch (key) {
        case ' ': INVERT(); break;
        case 'n':
        case 'N': NIMM(); break;
        case 'g':
        case 'G': GIB(); break;
        default: break;
      }
    }
  } while (key != 'e' && key != 'E');
}

}  // namespace zekoedit
