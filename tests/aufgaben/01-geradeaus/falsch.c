#include "zekoinc.h"

int main(void) {
  initialisiere_die_roboterwelt("welt.zko");
  for (int i = 0; i < 8; ++i) vor();
  warte();
  return 0;
}
