#include "rules.h"

namespace zeko::rules {
namespace {

constexpr int kStepX[4] = {0, 0, -1, 1};  // up, down, left, right
constexpr int kStepY[4] = {-1, 1, 0, 0};
constexpr xRichtungen kTurnLeft[4] = {left, right, down, up};

bool fits(int value) { return value >= INT16_MIN && value <= INT16_MAX; }

bool ahead_free(const Grid& feld, const Zekotier& zeko, bool obstacles_block) {
  int nx = zeko.x + kStepX[zeko.richtung & 3];
  int ny = zeko.y + kStepY[zeko.richtung & 3];
  if (nx < 0 || nx >= kColumns || ny < 0 || ny >= kRows) return false;
  return !obstacles_block || feld[nx][ny] >= 0;
}

}  // namespace

bool sense(Call sensor, const Grid& feld, const Zekotier& zeko, bool obstacles_block) {
  switch (sensor) {
    case Call::vorne_frei: return ahead_free(feld, zeko, obstacles_block);
    case Call::feld_leer: return feld[zeko.x][zeko.y] <= 0;
    case Call::tasche_leer: return zeko.vorrat == 0;
    case Call::am_anfang: return zeko.x == 0 && zeko.y == 0;
    default: return false;
  }
}

Outcome apply(Call command, Grid& feld, Zekotier& zeko, bool obstacles_block) {
  int16_t& here = feld[zeko.x][zeko.y];
  switch (command) {
    case Call::vor:
      if (!ahead_free(feld, zeko, obstacles_block)) return Outcome::blocked;
      zeko.x = static_cast<uint8_t>(zeko.x + kStepX[zeko.richtung & 3]);
      zeko.y = static_cast<uint8_t>(zeko.y + kStepY[zeko.richtung & 3]);
      return Outcome::done;
    case Call::links:
      zeko.richtung = kTurnLeft[zeko.richtung & 3];
      return Outcome::done;
    case Call::nimm:
      if (here <= 0) return Outcome::nothing_here;
      if (!fits(zeko.vorrat + 1)) return Outcome::supply_range;
      here = static_cast<int16_t>(here - 1);
      zeko.vorrat = static_cast<int16_t>(zeko.vorrat + 1);
      return Outcome::done;
    case Call::gib:
      if (zeko.vorrat == 0) return Outcome::bag_empty;
      if (!fits(here + 1)) return Outcome::field_range;
      if (!fits(zeko.vorrat - 1)) return Outcome::supply_range;
      here = static_cast<int16_t>(here + 1);
      zeko.vorrat = static_cast<int16_t>(zeko.vorrat - 1);
      return Outcome::done;
    default:
      return Outcome::done;  // a sensor changes nothing
  }
}

const char* call_name(Call call) {
  constexpr const char* kNames[] = {"vor", "links", "nimm", "gib", "vorne_frei", "feld_leer", "tasche_leer",
                                    "am_anfang"};
  return kNames[static_cast<int>(call)];
}

const char* failure_text(Outcome outcome) {
  switch (outcome) {
    case Outcome::blocked: return "vor Zeko liegt ein Hindernis";
    case Outcome::nothing_here: return "auf dem Feld liegt nichts";
    case Outcome::bag_empty: return "Zekos Tasche ist leer";
    case Outcome::supply_range: return "Zekos Vorrat";
    case Outcome::field_range: return "Die Zahl der Gegenstaende auf dem Feld";
    default: return "";
  }
}

}  // namespace zeko::rules
