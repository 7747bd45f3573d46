/* sammeln_c: ZEKO geht nach rechts bis zur Mauer und sammelt unterwegs
   alle Gegenstaende ein -- wie sammeln.pas, in C. Welt: welt1.zko

   Uebersetzen: zekoc sammeln_c.c     Starten: ./sammeln_c */
#include "zekoinc.h"

static void alles_aufsammeln(void) {
  while (!feld_leer())
    nimm();
}

int main(void) {
  initialisiere_die_roboterwelt("welt1.zko");
  links(); /* nach dem Laden schaut ZEKO nach unten */
  alles_aufsammeln();
  while (vorne_frei()) {
    vor();
    alles_aufsammeln();
  }
  warte();
  return 0;
}
