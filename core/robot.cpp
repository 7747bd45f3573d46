#include "robot.h"

#include <cstdint>
#include <cstdlib>
#include <string>

#include "console.h"
#include "deliverable.h"
#include "display.h"
#include "rules.h"
#include "runtime_error.h"
#include "screen.h"
#include "world.h"

namespace zeko {
namespace {

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

bool blocks() { return deliverable().obstacles_block; }

// A count that would leave 16 bits ends the program instead of wrapping
// around; any other failure is the deliverable's to show.
void failed(rules::Outcome outcome, Command command) {
  if (outcome == rules::Outcome::supply_range || outcome == rules::Outcome::field_range)
    console::runtime_error(215, std::string(rules::failure_text(outcome)) + " passt nicht mehr in den Zahlenbereich (" +
                                    std::to_string(INT16_MIN) + " bis " + std::to_string(INT16_MAX) + ").");
  fail(command);
}

}  // namespace

bool VORNE_FREI() { return rules::sense(rules::Call::vorne_frei, FELD, ZEKO, blocks()); }
bool FELD_LEER() { return rules::sense(rules::Call::feld_leer, FELD, ZEKO, blocks()); }
bool TASCHE_LEER() { return rules::sense(rules::Call::tasche_leer, FELD, ZEKO, blocks()); }
bool AM_ANFANG() { return rules::sense(rules::Call::am_anfang, FELD, ZEKO, blocks()); }

void VOR() {
  int x = ZEKO.x, y = ZEKO.y;
  rules::Outcome outcome = rules::apply(rules::Call::vor, FELD, ZEKO, blocks());
  if (outcome != rules::Outcome::done) return failed(outcome, kVor);
  FELDINHALT_ZEIGEN(static_cast<int16_t>(x), static_cast<int16_t>(y));  // the field left behind
  record("vor;");
  ZEIGE_ZEKO();
}

void LINKS() {
  rules::apply(rules::Call::links, FELD, ZEKO, blocks());
  record("links;");
  ZEIGE_ZEKO();
}

void NIMM() {
  rules::Outcome outcome = rules::apply(rules::Call::nimm, FELD, ZEKO, blocks());
  if (outcome != rules::Outcome::done) return failed(outcome, kNimm);
  record("nimm;");
  ZEIGE_ZEKO();
}

void GIB() {
  rules::Outcome outcome = rules::apply(rules::Call::gib, FELD, ZEKO, blocks());
  if (outcome != rules::Outcome::done) return failed(outcome, kGib);
  record("gib;");
  ZEIGE_ZEKO();
}

}  // namespace zeko
