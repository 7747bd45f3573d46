// The robot's rule, and nothing else: what a command does to a world or why
// it cannot, what a sensor sees. No drawing, no ending, no console: the
// library, the recorder, the editor and zekocheck's replay share it, and
// each decides itself how a failure shows.
#pragma once

#include <cstdint>

namespace zeko {

enum xRichtungen : int32_t { up = 0, down = 1, left = 2, right = 3 };

struct Zekotier {
  xRichtungen richtung;
  uint8_t x;
  uint8_t y;
  int16_t vorrat;
};

constexpr int kColumns = 17;  // x: 0..16
constexpr int kRows = 10;     // y: 0..9

// Below 0 an obstacle, 0 empty, above 0 that many items. Indexed [x][y].
using Grid = int16_t[kColumns][kRows];

namespace rules {

enum class Call { vor, links, nimm, gib, vorne_frei, feld_leer, tasche_leer, am_anfang };

enum class Outcome {
  done,
  blocked,          // vor: the border or an obstacle ahead
  nothing_here,     // nimm: the field holds nothing
  bag_empty,        // gib: ZEKO carries nothing
  supply_range,     // the supply would leave 16 bits
  field_range,      // the field's count would leave 16 bits
};

constexpr bool is_sensor(Call call) { return call >= Call::vorne_frei; }

// A command on the world: the new world, or the world unchanged and why not.
// `obstacles_block` is false for the editor's robot, which walks over them.
Outcome apply(Call command, Grid& feld, Zekotier& zeko, bool obstacles_block);
// What a sensor sees.
bool sense(Call sensor, const Grid& feld, const Zekotier& zeko, bool obstacles_block);

// German texts: "vor", and for a failure "vor Zeko liegt ein Hindernis" or,
// for a range, what left it ("Zekos Vorrat").
const char* call_name(Call call);
const char* failure_text(Outcome outcome);

}  // namespace rules
}  // namespace zeko
