// zekoedit: asks for a world, lets the user edit it and saves it under the
// typed name with the supply the user gives the robot.
#include "console.h"
#include "deliverable.h"
#include "info_options.h"
#include "editor.h"
#include "screen.h"
#include "world.h"

namespace {

// The file the world is read from, and the name it is shown and saved under.
zeko::strngp load_name;
zeko::strngp save_name;

}  // namespace

int main(int argc, char** argv) {
  zeko::use_deliverable(zeko::ZEKOEDIT);
  if (zeko::answer_info_option(argc, argv)) return 0;
  zeko::start_deliverable(zeko::ZEKOEDIT);

  load_name.assign("welt0.zko");  // the template for a new world
  zekoedit::DATEINAMEN_EINLESEN(save_name, load_name);
  zekoedit::INITIALISIERE_DIE_ZEKOWELT(load_name, save_name);
  zekoedit::HANDSTEUERUNG();
  zeko::SCHREIBE_WELT(save_name.view(), zekoedit::VORRAT_ERFRAGEN);

  zeko::HINTERGRUND(zeko::schwarz);
  zeko::LOESCHE_SCHIRM();
  return 0;
}
