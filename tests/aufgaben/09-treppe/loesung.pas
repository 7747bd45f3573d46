PROGRAM treppe;
USES ZekoInc;
PROCEDURE rechts;
BEGIN
  links; links; links
END;

PROCEDURE stufe;
BEGIN
  links; vor;
  rechts; vor
END;

BEGIN
  initialisiere_die_Roboterwelt('welt.zko');
  links;
  WHILE vorne_frei DO
    vor;
  REPEAT
    stufe
  UNTIL vorne_frei;
  WHILE vorne_frei DO
    vor;
  warte
END.
