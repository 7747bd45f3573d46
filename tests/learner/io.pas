{ Text input and output of a learner's program between the robot's steps. }
program io;
uses ZekoInc;
var
  name: string;
  zahl: integer;
begin
  write('Name? ');
  readln(name);
  write('Zahl? ');
  readln(zahl);
  writeln(name, '/', zahl * 2);
  write('Weiter mit Enter');
  readln;
  initialisiere_die_Roboterwelt('welt.zko');
  vor;
  write('Eins ');
  write('Zwei ');
  writeln('Drei');
  warte;
end.
