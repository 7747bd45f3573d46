PROGRAM heimweg_falsch;
USES ZekoInc;
VAR
  n, i: integer;

BEGIN
  initialisiere_die_Roboterwelt('welt.zko');
  links;
  WHILE vorne_frei DO
    vor;
  gib;
  links; links;
  WHILE vorne_frei DO
    vor;
  warte
END.
