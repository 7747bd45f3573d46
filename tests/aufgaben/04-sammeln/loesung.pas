PROGRAM sammeln;
USES ZekoInc;
BEGIN
  initialisiere_die_Roboterwelt('welt.zko');
  links; links; links;
  WHILE NOT feld_leer DO
    nimm;
  WHILE vorne_frei DO
  BEGIN
    vor;
    WHILE NOT feld_leer DO
      nimm
  END;
  warte
END.
