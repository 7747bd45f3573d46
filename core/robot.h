// The robot's four commands and four sensors.
#pragma once

namespace zeko {

void VOR();
void LINKS();
void NIMM();
void GIB();

bool VORNE_FREI();
bool FELD_LEER();
bool TASCHE_LEER();
bool AM_ANFANG();

}  // namespace zeko
