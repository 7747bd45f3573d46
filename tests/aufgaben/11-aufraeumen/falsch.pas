PROGRAM aufraeumen_falsch;
USES ZekoInc;
PROCEDURE raeumen;
BEGIN
  WHILE NOT feld_leer DO
    nimm
END;

BEGIN
  initialisiere_die_Roboterwelt('welt.zko');
  links;
  WHILE vorne_frei DO
  BEGIN
    vor;
    raeumen
  END;
  WHILE NOT tasche_leer DO
    gib;
  warte
END.
