// Test driver for the world core: draws a world the way one of the three
// deliverables does, then carries out a script of robot commands, one per
// key typed, so that a test can look at the screen after every step.
//
//   core_driver <prog|edit|inc> <worldfile> <script>
//
// Script letters: v VOR, l LINKS, n NIMM, g GIB, ? only the sensors.
// After the start-up drawing and after every step the driver sends an OSC
// string that the terminal ignores and the test can find in the byte stream:
//   ESC ] 7770 ; step=N vf=B fl=B tl=B aa=B BEL
// with the four sensors (0/1) after the step. In prog, each recorded
// statement is appended as a line to the file named by ZEKO_DRIVER_RECORD.
// After the script one more key ends the driver with status 0.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "console.h"
#include "deliverable.h"
#include "display.h"
#include "robot.h"
#include "screen.h"
#include "world.h"

namespace {

void append_statement(const char* statement) {
  const char* path = std::getenv("ZEKO_DRIVER_RECORD");
  if (!path) return;
  if (FILE* f = std::fopen(path, "a")) {
    std::fprintf(f, "%s\n", statement);
    std::fclose(f);
  }
}

void no_pause() {}

// Goes straight to the terminal: the console has already sent everything,
// and its tracked cursor and colours are not touched.
void marker(int step) {
  std::string s = "\033]7770;step=" + std::to_string(step) + " vf=" + (zeko::VORNE_FREI() ? "1" : "0") +
                  " fl=" + (zeko::FELD_LEER() ? "1" : "0") + " tl=" + (zeko::TASCHE_LEER() ? "1" : "0") +
                  " aa=" + (zeko::AM_ANFANG() ? "1" : "0") + "\007";
  std::string_view rest = s;
  while (!rest.empty()) {
    ssize_t n = ::write(1, rest.data(), rest.size());
    if (n <= 0) std::exit(120);
    rest.remove_prefix(static_cast<std::size_t>(n));
  }
}

int usage() {
  std::fprintf(stderr, "usage: core_driver <prog|edit|inc> <worldfile> <script>\n");
  return 64;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) return usage();
  std::string_view variant = argv[1];
  std::string world = argv[2];
  std::string_view script = argv[3];

  if (variant == "prog") {
    zeko::use_deliverable(zeko::ZEKOPROG);
    zeko::hooks.record = append_statement;
  } else if (variant == "edit") {
    zeko::use_deliverable(zeko::ZEKOEDIT);
    zeko::DATEINAME.assign(zeko::cut_name(world));  // the editor shows the name it saves under
  } else if (variant == "inc") {
    zeko::use_deliverable(zeko::ZEKOINC);
    zeko::hooks.step_pause = no_pause;
  } else {
    return usage();
  }

  console::start();
  // The recorder's start dialog leaves the text colour black; the editor
  // opening an existing world leaves the colour the program started with.
  if (variant == "prog") zeko::FARBE(zeko::schwarz);
  zeko::load_and_show_world(world);
  marker(0);

  int step = 0;
  for (char letter : script) {
    console::READKEY();
    switch (letter) {
      case 'v': zeko::VOR(); break;
      case 'l': zeko::LINKS(); break;
      case 'n': zeko::NIMM(); break;
      case 'g': zeko::GIB(); break;
      default: break;  // '?': the sensors only
    }
    marker(++step);
  }
  console::READKEY();
  return 0;
}
