// The world on the screen: the static screen, the fields, the robot and its
// status panel, each drawn as the deliverable in use draws it.
#pragma once

#include <cstdint>

namespace zeko {

void BILDSCHIRM();
void FELDINHALT_ZEIGEN(int16_t x, int16_t y);
void ZEIGE_FELDER();
void ZEIGE_ZEKO();

}  // namespace zeko
