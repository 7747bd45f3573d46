PROGRAM verteilen;
{ ZEKO geht am linken Rand nach unten und legt auf jedes zweite
  Feld einen Gegenstand, solange seine Tasche nicht leer ist.
  Welt: welt2.zko }
USES ZekoInc;

PROCEDURE rechts;
BEGIN
  links; links; links
END;

BEGIN
  initialisiere_die_Roboterwelt('welt2.zko');
  WHILE NOT tasche_leer AND vorne_frei DO
  BEGIN
    vor;
    IF vorne_frei THEN
    BEGIN
      vor;
      gib
    END
  END;
  rechts;                 { ZEKO schaut jetzt nach links: an den Rand }
  warte
END.
