PROGRAM rechts_falsch;
USES ZekoInc;
BEGIN
  initialisiere_die_Roboterwelt('welt.zko');
  links;
  WHILE vorne_frei DO
    vor;
  warte
END.
