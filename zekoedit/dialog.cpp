// The editor's start dialog, the start of the world and the supply question.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "console.h"
#include "dialog_parts.h"
#include "display.h"
#include "editor.h"
#include "screen.h"
#include "world.h"

namespace zekoedit {

void DATEINAMEN_EINLESEN(zeko::strngp& save_name, zeko::strngp& load_name) {
  zeko::dialog_title("Programm zur Bearbeitung von ZEKO-Welten    -     Autor: Dr. Mervalin");

  // An empty name names no file and could not be saved: it is asked for again.
  do {
    if (!zeko::ask_name("Name der Roboterwelt: ", save_name)) end_unsaved(console::interrupted());  // also Ctrl-C
  } while (save_name.view().empty());
  console::write_line_end();

  // Looked for where the reader looks; saved under the name as typed.
  if (zeko::world_file_opens(save_name.view())) {
    load_name = save_name;
    return;
  }
  // A name that opens nothing starts a new world from the template.
  zeko::red_notice("Neue Datei !  [RETURN]");
  char key = console::READKEY();
  if (console::as_key(key) == console::Key::ctrl_c) end_unsaved(true);
  if (key == 0 && console::input_ended()) end_unsaved();
}

void INITIALISIERE_DIE_ZEKOWELT(zeko::strngp load_name, zeko::strngp save_name) {
  zeko::load_and_show_world(load_name.view(), [&] { zeko::DATEINAME = save_name; });
}

int16_t VORRAT_ERFRAGEN() {
  zeko::STANDARDSCHIRM();
  for (;;) {
    console::write_text("Wie viele Gegenstaende soll ZEKO bei sich fuehren ? ");
    int32_t answer = 0;
    switch (console::read_int(answer)) {
      case console::IntResult::ok:
        if (answer >= INT16_MIN && answer <= INT16_MAX) return static_cast<int16_t>(answer);
        break;
      case console::IntResult::malformed:
        break;
      case console::IntResult::ended:
        if (console::interrupted()) end_unsaved(true, 130);
        end_unsaved();
    }
    // The grid is already written: a bad answer must not end the program,
    // so it is asked for again.
    int colour = console::text_attr() & 15;
    zeko::FARBE(zeko::rot);
    console::write_text("Bitte eine ganze Zahl von -32768 bis 32767 eingeben !");
    console::write_line_end();
    zeko::FARBE(static_cast<zeko::FT>(colour));
  }
}

void end_unsaved(bool by_ctrl_c, int status) {
  zeko::HINTERGRUND(zeko::schwarz);
  zeko::LOESCHE_SCHIRM();
  console::shutdown();
  std::fputs(by_ctrl_c ? "zekoedit: Abgebrochen (Strg+C). Die Welt wurde nicht gespeichert.\n"
                       : "zekoedit: Die Eingabe ist zu Ende. Die Welt wurde nicht gespeichert.\n",
             stderr);
  std::exit(status);
}

}  // namespace zekoedit
