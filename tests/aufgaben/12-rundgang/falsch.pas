PROGRAM rundgang_falsch;
USES ZekoInc;
VAR
  i: integer;

PROCEDURE seite;
BEGIN
  gib;
  WHILE vorne_frei DO
    vor;
  links
END;

BEGIN
  initialisiere_die_Roboterwelt('welt.zko');
  FOR i := 1 TO 3 DO
    seite;
  warte
END.
