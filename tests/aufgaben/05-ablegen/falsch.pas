PROGRAM ablegen_falsch;
USES ZekoInc;
BEGIN
  initialisiere_die_Roboterwelt('welt.zko');
  WHILE vorne_frei DO
  BEGIN
    gib;
    vor
  END;
  warte
END.
