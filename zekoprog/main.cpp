// zekoprog: the user steers ZEKO on a world of their choice, and every step
// that succeeds becomes a line of a learner program replaying them.
#include <string>

#include "console.h"
#include "deliverable.h"
#include "info_options.h"
#include "dialog.h"
#include "handsteuerung.h"
#include "program_file.h"
#include "screen.h"

namespace {

void leave_plain_screen() {
  zeko::HINTERGRUND(zeko::schwarz);
  zeko::STANDARDSCHIRM();
}

}  // namespace

int main(int argc, char** argv) {
  zeko::use_deliverable(zeko::ZEKOPROG);
  if (zeko::answer_info_option(argc, argv)) return 0;
  console::start();

  std::string welt, programm;
  zekoprog::DATEINAMEN_EINLESEN(welt, programm);
  if (programm.empty()) {
    leave_plain_screen();  // nothing loaded, no file touched
    return 0;
  }
  zekoprog::INITIALISIERE_DIE_ZEKOWELT(welt);
  zekoprog::create_program_file(programm, welt);
  zekoprog::HANDSTEUERUNG();
  zekoprog::finish_program_file();
  leave_plain_screen();
  return 0;
}
