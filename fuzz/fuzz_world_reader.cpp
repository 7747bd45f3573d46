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

// The name messages and DATEINAME show; longer than any name is kept.
constexpr std::string_view kName = "fuzz/welten/eine_welt_mit_einem_langen_langen_namen.zko";

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

bool loads(std::string_view text) {
  try {
    zeko::read_world_text(kName, text);
    return true;
  } catch (const zeko_fuzz::RuntimeError& e) {
    // Only the reader's own numbers: a malformed or out-of-range value.
    if (e.number != 106 && e.number != 201) abort();
    return false;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view world(reinterpret_cast<const char*>(data), size);
  for (const zeko::Deliverable* d : {&zeko::ZEKOINC, &zeko::ZEKOPROG, &zeko::ZEKOEDIT}) {
    zeko::use_deliverable(*d);
    zeko::DATEINAME.assign("vorher");
    if (!loads(world)) continue;
    if (zeko::ZEKO.richtung != zeko::down || zeko::ZEKO.x >= zeko::kColumns || zeko::ZEKO.y >= zeko::kRows) abort();
    if (d->shown_name_length > 0 && zeko::DATEINAME.view() != kName.substr(0, d->shown_name_length)) abort();
    if (d->supply_after_loading >= 0 && zeko::ZEKO.vorrat != d->supply_after_loading) abort();

    // Written and read back (with the file's own supply): the same world.
    Loaded loaded = snapshot();
    const std::string back = zeko::world_text(loaded.robot.vorrat);
    zeko::use_deliverable(zeko::ZEKOPROG);
    std::memset(zeko::FELD, 0x55, sizeof zeko::FELD);
    if (!loads(back) || !same(loaded, snapshot())) abort();
  }
  return 0;
}
