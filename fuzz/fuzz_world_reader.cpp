// Fuzz target: the world reader with each deliverable's settings. Any input
// either loads or ends through the run-time error path; a world that loads
// is written by the world writer and must read back exactly as loaded.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "deliverable.h"
#include "runtime_error_throws.h"
#include "world.h"

namespace {

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

// A folder of our own on a memory file system where there is one; plain
// characters, so that it outlives every other static for the clean-up.
char g_folder[64];

void remove_folder() {
  for (const char* f : {"/w", "/back"}) unlink((std::string(g_folder) + f).c_str());
  rmdir(g_folder);
}

const char* folder() {
  if (!g_folder[0]) {
    std::snprintf(g_folder, sizeof g_folder, "%s/zeko-fuzz-XXXXXX", access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp");
    if (!mkdtemp(g_folder)) abort();
    std::atexit(remove_folder);
  }
  return g_folder;
}

void put(const std::string& path, const uint8_t* data, size_t size) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0 || write(fd, data, size) != static_cast<ssize_t>(size) || close(fd) != 0) abort();
}

bool loads(std::string_view name) {
  try {
    zeko::LIES_MTWELT(name);
    return true;
  } catch (const zeko_fuzz::RuntimeError& e) {
    // Only the reader's own numbers: a malformed or out-of-range value.
    if (e.number != 106 && e.number != 201) abort();
    return false;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string world = std::string(folder()) + "/w";
  const std::string back = std::string(folder()) + "/back";
  put(world, data, size);
  for (const zeko::Deliverable* d : {&zeko::ZEKOINC, &zeko::ZEKOPROG, &zeko::ZEKOEDIT}) {
    zeko::use_deliverable(*d);
    zeko::DATEINAME.assign("vorher");
    if (!loads(world)) continue;
    if (zeko::ZEKO.richtung != zeko::down || zeko::ZEKO.x >= zeko::kColumns || zeko::ZEKO.y >= zeko::kRows) abort();
    if (d->shown_name_length > 0 && zeko::DATEINAME.view() != std::string_view(world).substr(0, d->shown_name_length))
      abort();
    if (d->supply_after_loading >= 0 && zeko::ZEKO.vorrat != d->supply_after_loading) abort();

    // Written and read back (with the file's own supply): the same world.
    Loaded loaded = snapshot();
    zeko::SCHREIBE_WELT(back, loaded.robot.vorrat);
    zeko::use_deliverable(zeko::ZEKOPROG);
    std::memset(zeko::FELD, 0x55, sizeof zeko::FELD);
    if (!loads(back) || !same(loaded, snapshot())) abort();
  }
  return 0;
}
