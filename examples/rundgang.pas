PROGRAM rundgang;
{ ZEKO laeuft einmal am Rand der Welt entlang, bis er wieder
  in der Ecke oben links steht. Welt: welt0.zko (leer) }
USES ZekoInc;

BEGIN
  initialisiere_die_Roboterwelt('welt0.zko');
  REPEAT
    IF vorne_frei THEN
      vor
    ELSE
      links
  UNTIL am_anfang;
  warte
END.
