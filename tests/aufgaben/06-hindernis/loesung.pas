PROGRAM hindernis;
USES ZekoInc;
PROCEDURE rechts;
BEGIN
  links; links; links
END;

BEGIN
  initialisiere_die_Roboterwelt('welt.zko');
  links;
  WHILE vorne_frei DO
    vor;
  links; vor; rechts;
  vor; vor;
  rechts; vor; links;
  WHILE vorne_frei DO
    vor;
  warte
END.
