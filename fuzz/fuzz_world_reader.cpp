// Fuzz target: the world reader with each deliverable's settings, from
// memory (the file reader shares its code). Any input either loads or ends
// through the run-time error path; a world that loads is turned into the
// world writer's text and must read back exactly as loaded.
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "deliverable.h"
#include "runtime_error_throws.h"
#include "world.h"

namespace {

// The name messages and DATEINAME show: longer than the library keeps, short
// enough to need no memory of its own (the cut at 50 characters is the unit
// tests' business).
constexpr std::string_view kName = "welten/ab.zko";

struct Loaded {
  int16_t grid[zeko::kColumns][zeko::kRows];
  zeko::Zekotier robot;
};

Loaded snapshot() {
  Loaded l;
  std::memcpy(l.grid, zeko::FELD, sizeof l.grid);
  l.robot = zeko::ZEKO;
  return l;
}

bool same(const Loaded& a, const Loaded& b) {
  return std::memcmp(a.grid, b.grid, sizeof a.grid) == 0 && a.robot.x == b.robot.x && a.robot.y == b.robot.y &&
         a.robot.vorrat == b.robot.vorrat && a.robot.richtung == b.robot.richtung;
}

// How one load ended: 0 when the world loaded, else the run-time error's
// number; and what FELD and ZEKO held then.
struct Outcome {
  int error;
  Loaded world;
};

Outcome load(const zeko::Deliverable& d, std::string_view text) {
  zeko::use_deliverable(d);
  zeko::DATEINAME.assign("vorher");
  std::memset(zeko::FELD, 0x55, sizeof zeko::FELD);
  int error = 0;
  try {
    zeko::read_world_text(kName, text);
  } catch (const zeko_fuzz::RuntimeError& e) {
    // Only the reader's own numbers: a malformed or out-of-range value.
    if (e.number != 106 && e.number != 201) abort();
    error = e.number;
  }
  if (d.shown_name_length > 0 && zeko::DATEINAME.view() != kName.substr(0, d.shown_name_length)) abort();
  if (!error) {
    if (zeko::ZEKO.richtung != zeko::down || zeko::ZEKO.x >= zeko::kColumns || zeko::ZEKO.y >= zeko::kRows) abort();
    if (d.supply_after_loading >= 0 && zeko::ZEKO.vorrat != d.supply_after_loading) abort();
  }
  return {error, snapshot()};
}

}  // namespace

// Two loads of the input, by the recorder and by the editor; a world that
// loads is written and read back by the library (which reads as the recorder
// does, keeping a shorter name), so every deliverable reads once.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view world(reinterpret_cast<const char*>(data), size);
  Outcome prog = load(zeko::ZEKOPROG, world);

  // The editor reads the supply without a range and sets its own: it loads
  // every world the recorder loads, with the same grid and place.
  Outcome edit = load(zeko::ZEKOEDIT, world);
  if (prog.error) return 0;
  if (edit.error) abort();
  edit.world.robot.vorrat = prog.world.robot.vorrat;
  if (!same(prog.world, edit.world)) abort();

  // Written (with the file's own supply) and read back: the same world.
  Outcome back = load(zeko::ZEKOINC, zeko::world_text(prog.world.robot.vorrat));
  if (back.error || !same(prog.world, back.world)) abort();
  return 0;
}
