PROGRAM fehler;
{ Dieses Programm geht absichtlich schief: ZEKO laeuft gegen die
  Mauer. Das Programm endet mit der Meldung in Zeile 23 und dem
  Exit-Status 3. Welt: welt1.zko }
USES ZekoInc;

VAR
  i: integer;

BEGIN
  initialisiere_die_Roboterwelt('welt1.zko');
  links;
  FOR i := 1 TO 20 DO
    vor;
  warte
END.
