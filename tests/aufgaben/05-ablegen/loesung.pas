PROGRAM ablegen;
USES ZekoInc;
BEGIN
  initialisiere_die_Roboterwelt('welt.zko');
  gib;
  WHILE vorne_frei DO
  BEGIN
    vor;
    gib
  END;
  warte
END.
