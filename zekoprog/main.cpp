// zekoprog: the user steers ZEKO on a world of their choice, and every step
// that succeeds becomes a line of a learner program replaying them.
//
// At the end of input each waiting state ends as the user's own way out
// does, with status 0: at the world name and at the key after a missing
// world nothing is loaded or written (as Esc); at the program-file name the
// name is empty (as Enter alone); in the key loop the steps recorded so far
// get their tail (as "e").
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
  zeko::start_deliverable(zeko::ZEKOPROG);

  zeko::strngp welt{}, programm{};
  zekoprog::DATEINAMEN_EINLESEN(welt, programm);
  if (programm.view().empty()) {
    leave_plain_screen();  // nothing loaded, no file touched
    return 0;
  }
  zekoprog::INITIALISIERE_DIE_ZEKOWELT(welt.view());
  zekoprog::create_program_file(std::string(programm.view()), std::string(welt.view()));
  zekoprog::HANDSTEUERUNG();
  zekoprog::finish_program_file();
  leave_plain_screen();
  return 0;
}
