// The world on the screen: the static screen, the fields, the robot and its
// status panel, each drawn as the deliverable in use draws it.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

namespace zeko {

// Reads the world file and shows it whole: the static screen, every field
// and the robot with its status. `before_drawing` runs in between (the
// editor shows the name it saves under, the library starts single-step).
void load_and_show_world(std::string_view file, const std::function<void()>& before_drawing = {});

void BILDSCHIRM();
void FELDINHALT_ZEIGEN(int16_t x, int16_t y);
void ZEIGE_FELDER();
void ZEIGE_ZEKO();

}  // namespace zeko
