#include "handsteuerung.h"

#include "console.h"
#include "robot.h"

namespace zekoprog {

void HANDSTEUERUNG() {
  for (;;) {
    // The zero of an extended key is a key of its own and its code follows
    // as the next key: Home (0, then 71 = "G") gives an item.
    char key = console::READKEY();
    switch (key) {
      case 'v': case 'V': zeko::VOR(); break;
      case 'l': case 'L': zeko::LINKS(); break;
      case 'n': case 'N': zeko::NIMM(); break;
      case 'g': case 'G': zeko::GIB(); break;
      case 'e': case 'E': return;
      case console::as_char(console::Key::ctrl_c): return;  // the recorded steps are kept, as with "e"
      case 0:
        if (console::input_ended()) return;
        break;
      default: break;
    }
  }
}

}  // namespace zekoprog
