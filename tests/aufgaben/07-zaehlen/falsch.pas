PROGRAM zaehlen_falsch;
USES ZekoInc;
VAR
  n, i: integer;

BEGIN
  initialisiere_die_Roboterwelt('welt.zko');
  n := 0;
  WHILE NOT feld_leer DO
  BEGIN
    nimm;
    n := n + 1
  END;
  FOR i := 2 TO n DO
    vor;
  warte
END.
