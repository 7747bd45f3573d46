PROGRAM sammeln;
{ ZEKO geht nach rechts bis zur Mauer und sammelt unterwegs
  alle Gegenstaende ein. Welt: welt1.zko }
USES ZekoInc;

PROCEDURE alles_aufsammeln;
BEGIN
  WHILE NOT feld_leer DO
    nimm
END;

BEGIN
  initialisiere_die_Roboterwelt('welt1.zko');
  links;                  { nach dem Laden schaut ZEKO nach unten }
  alles_aufsammeln;
  WHILE vorne_frei DO
  BEGIN
    vor;
    alles_aufsammeln
  END;
  warte
END.
