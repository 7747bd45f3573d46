PROGRAM geradeaus;
USES ZekoInc;
BEGIN
  initialisiere_die_Roboterwelt('welt.zko');
  WHILE vorne_frei DO
    vor;
  warte
END.
