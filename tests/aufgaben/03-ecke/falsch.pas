PROGRAM ecke_falsch;
USES ZekoInc;
BEGIN
  initialisiere_die_Roboterwelt('welt.zko');
  links; links;
  WHILE vorne_frei DO
    vor;
  warte
END.
