PROGRAM sammeln_falsch;
USES ZekoInc;
BEGIN
  initialisiere_die_Roboterwelt('welt.zko');
  links; links; links;
  IF NOT feld_leer THEN
    nimm;
  WHILE vorne_frei DO
  BEGIN
    vor;
    IF NOT feld_leer THEN
      nimm
  END;
  warte
END.
