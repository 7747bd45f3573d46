#include "zekoinc.h"

int main(void) {
  initialisiere_die_roboterwelt("welt.zko");
  while (vorne_frei())
    vor();
  warte();
  return 0;
}
