// rundgang_cpp: ZEKO laeuft einmal am Rand der Welt entlang, bis er wieder
// in der Ecke oben links steht -- wie rundgang.pas, in C++.
// Welt: welt0.zko (leer)
//
// Uebersetzen: zekoc rundgang_cpp.cpp     Starten: ./rundgang_cpp
#include "zekoinc.h"

int main() {
  initialisiere_die_roboterwelt("welt0.zko");
  do {
    if (vorne_frei())
      vor();
    else
      links();
  } while (!am_anfang());
  warte();
  return 0;
}
