{ Written in mixed case on purpose: learners do not care about the case of
  the library's names. Compiled once per language mode by the tests. }
PROGRAM Modes;
USES zekoinc;
BEGIN
  Initialisiere_Die_RoboterWelt('welt.zko');
  WHILE Vorne_Frei DO
    Vor;
  Links;
  IF NOT Feld_Leer THEN
    nimm;
  IF NOT Tasche_Leer THEN
    GIB;
  IF Am_Anfang THEN
    WriteLn('am Anfang')
  ELSE
    WriteLn('nicht am Anfang');
  Warte;
END.
