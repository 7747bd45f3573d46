// The world: the grid FELD, the robot ZEKO, the name shown on the screen,
// and the world file's reader and writer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "rules.h"

namespace zeko {

constexpr std::size_t kNameLength = 50;

// A short string of fixed capacity without constructors, so the world state
// is plain zeroed data before any start-up code has run.
template <std::size_t N>
struct ShortString {
  char text[N + 1];
  std::size_t length;

  void assign(std::string_view s) {
    length = s.size() < N ? s.size() : N;
    std::memcpy(text, s.data(), length);
    text[length] = 0;
  }
  std::string_view view() const { return {text, length}; }
};

using strngp = ShortString<kNameLength>;

// The world the robot lives in (see rules.h for what the values mean).
extern Grid FELD;
extern Zekotier ZEKO;
extern strngp DATEINAME;

// Cuts a file name to its first 50 characters.
std::string cut_name(std::string_view name);

// Reads the world file into FELD and ZEKO; the heading becomes down. What the
// reader keeps as DATEINAME and does with the supply depends on the
// deliverable in use. Every failure ends the program through the run-time
// error path.
void LIES_MTWELT(std::string_view name);

// The same from a world file's text already in memory; `name` is what
// messages and DATEINAME show (nothing is looked up or opened).
void read_world_text(std::string_view name, std::string_view text);

// Writes FELD, the supply and the robot's position. `supply` is asked for
// after the grid has been written (the editor's question); the file on disk
// is replaced only when the whole world has been written.
using SupplyQuestion = int16_t (*)();
void SCHREIBE_WELT(std::string_view name, SupplyQuestion supply);
void SCHREIBE_WELT(std::string_view name, int16_t supply);

// The text SCHREIBE_WELT writes, with the given supply.
std::string world_text(int16_t supply);

// The writer keeps the new world in an unnamed file until it is complete
// where the file system allows it; tests switch this off to run the way
// through a named temporary file that other file systems take.
extern bool g_unnamed_save_file;

}  // namespace zeko
