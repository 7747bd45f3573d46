PROGRAM verteilen_falsch;
USES ZekoInc;
BEGIN
  initialisiere_die_Roboterwelt('welt.zko');
  WHILE NOT feld_leer DO
    nimm;
  links;
  REPEAT
    gib;
    vor
  UNTIL tasche_leer;
  warte
END.
