PROGRAM geradeaus_falsch;
USES ZekoInc;
BEGIN
  initialisiere_die_Roboterwelt('welt.zko');
  vor; vor; vor; vor; vor; vor; vor; vor;
  warte
END.
