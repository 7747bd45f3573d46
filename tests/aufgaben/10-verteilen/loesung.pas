PROGRAM verteilen;
USES ZekoInc;
BEGIN
  initialisiere_die_Roboterwelt('welt.zko');
  WHILE NOT feld_leer DO
    nimm;
  links;
  WHILE NOT tasche_leer DO
  BEGIN
    vor;
    gib
  END;
  warte
END.
