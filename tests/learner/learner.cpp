// A learner's program in C++: the same robot through zekoinc.h. The world
// file's name comes from the command line.
#include "zekoinc.h"

int main(int argc, char** argv) {
  initialisiere_die_roboterwelt(argc > 1 ? argv[1] : "welt.zko");
  while (vorne_frei()) vor();
  LINKS();
  if (!feld_leer()) nimm();
  if (!TASCHE_LEER()) gib();
  warte();
  return am_anfang() ? 7 : 0;
}
