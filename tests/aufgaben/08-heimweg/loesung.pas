PROGRAM heimweg;
USES ZekoInc;
VAR
  n, i: integer;

BEGIN
  initialisiere_die_Roboterwelt('welt.zko');
  n := 0;
  links;
  WHILE vorne_frei DO
  BEGIN
    vor;
    n := n + 1
  END;
  gib;
  links; links;
  FOR i := 1 TO n DO
    vor;
  warte
END.
