#include "robot.h"

#include <cstdlib>
#include <string>

#include "console.h"
#include "deliverable.h"
#include "display.h"
#include "runtime_error.h"
#include "screen.h"
#include "world.h"

namespace zeko {
namespace {

constexpr int kStepX[4] = {0, 0, -1, 1};  // up, down, left, right
constexpr int kStepY[4] = {-1, 1, 0, 0};
constexpr xRichtungen kTurnLeft[4] = {left, right, down, up};

void fail(Command command) {
  const Deliverable& d = deliverable();
  const char* message = d.messages[command];
  int colour = d.message_colours[command];
  switch (d.failure) {
    case Failure::end_program:
      console::GOTOXY(1, 23);
      if (colour != kCurrentColour) FARBE(static_cast<FT>(colour));
      console::write_text(message);
      if (colour != kCurrentColour) FARBE(schwarz);
      console::GOTOXY(1, 24);
      if (hooks.before_failure_exit) hooks.before_failure_exit(command);
      std::exit(d.exit_status[command]);
    case Failure::message_line:
      FARBE(rot);
      GEHZUXY(1, 24);
      console::write_text(left_aligned(message, 69));
      FARBE(schwarz);
      return;
    case Failure::editor_alert:
      if (!message) return;  // the editor's robot just stays at the border
      HINTERGRUND(rot);
      FARBE(gruen);
      GEHZUXY(1, 24);
      console::write_text(left_aligned(message, 69) + "\n");
      return;
  }
}

void record(const char* statement) {
  if (hooks.record) hooks.record(statement);
}

// Counts live in 16 bits; passing the range ends the program instead of
// wrapping around.
int16_t checked(int value, const char* what) {
  if (value < INT16_MIN || value > INT16_MAX)
    console::runtime_error(215, std::string(what) + " passt nicht mehr in den Zahlenbereich (" +
                                    std::to_string(INT16_MIN) + " bis " + std::to_string(INT16_MAX) + ").");
  return static_cast<int16_t>(value);
}

}  // namespace

bool VORNE_FREI() {
  int nx = ZEKO.x + kStepX[ZEKO.richtung & 3];
  int ny = ZEKO.y + kStepY[ZEKO.richtung & 3];
  if (nx < 0 || nx >= kColumns || ny < 0 || ny >= kRows) return false;
  return !deliverable().obstacles_block || FELD[nx][ny] >= 0;
}

bool FELD_LEER() { return FELD[ZEKO.x][ZEKO.y] <= 0; }
bool TASCHE_LEER() { return ZEKO.vorrat == 0; }
bool AM_ANFANG() { return ZEKO.x == 0 && ZEKO.y == 0; }

void VOR() {
  if (!VORNE_FREI()) return fail(kVor);
  FELDINHALT_ZEIGEN(ZEKO.x, ZEKO.y);
  ZEKO.x = static_cast<uint8_t>(ZEKO.x + kStepX[ZEKO.richtung & 3]);
  ZEKO.y = static_cast<uint8_t>(ZEKO.y + kStepY[ZEKO.richtung & 3]);
  record("vor;");
  ZEIGE_ZEKO();
}

void LINKS() {
  ZEKO.richtung = kTurnLeft[ZEKO.richtung & 3];
  record("links;");
  ZEIGE_ZEKO();
}

void NIMM() {
  if (FELD_LEER()) return fail(kNimm);
  int16_t supply = checked(ZEKO.vorrat + 1, "Zekos Vorrat");
  FELD[ZEKO.x][ZEKO.y] = static_cast<int16_t>(FELD[ZEKO.x][ZEKO.y] - 1);
  ZEKO.vorrat = supply;
  record("nimm;");
  ZEIGE_ZEKO();
}

void GIB() {
  if (TASCHE_LEER()) return fail(kGib);
  int16_t field = checked(FELD[ZEKO.x][ZEKO.y] + 1, "Die Zahl der Gegenstaende auf dem Feld");
  int16_t supply = checked(ZEKO.vorrat - 1, "Zekos Vorrat");
  FELD[ZEKO.x][ZEKO.y] = field;
  ZEKO.vorrat = supply;
  record("gib;");
  ZEIGE_ZEKO();
}

}  // namespace zeko
