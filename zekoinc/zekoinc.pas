{ ZekoInc: the robot world for learners' Free Pascal programs.

  A program that says "USES ZekoInc;" gets the robot commands (VOR, LINKS,
  NIMM, GIB, WARTE), the tests (VORNE_FREI, FELD_LEER, TASCHE_LEER,
  AM_ANFANG) and INITIALISIERE_DIE_ROBOTERWELT. All of them call the C
  functions of libzekoinc.so.

  The unit also hands the program's text input and output to the console of
  that library:
    - Output and StdOut write through zeko_write (a writeln ends with #10,
      which the console turns into a line end of the terminal);
    - Input reads lines through zeko_read_text, with echo and Backspace
      editing done by the console; each line ends with #10, so that the
      run-time library parses numbers and line ends as usual (including its
      error 106 for a malformed number), and a line longer than the text
      buffer arrives in pieces (an AnsiString gets all of it);
    - StdErr and ErrOutput still go to descriptor 2, but while the console
      holds the terminal in raw mode each #10 there goes out as #13#10, so
      that messages written there stay readable.

  The console is started before the program's first statement and restored
  at every end of the program: normal end and Halt (unit finalization), a
  run-time error (an exit procedure, which the run-time library calls before
  it prints "Runtime error ..."), and exit() inside the library (the
  library's own atexit handler).

  Each robot command tells the library where the program called it (the
  return address); when a command fails or Ctrl-C ends the program, and
  with ZEKO_ZEILE=1 after each command's redraw ("Zeile 12: vor" on row 22),
  the library turns that address into file and line through resolve_line,
  from the line information that zekoc's -gl puts into the program (each
  address once: the library keeps the answers).

  The build precompiles this unit (zekoinc.ppu, zekoinc.o beside this
  file); zekoc hands it to fpc together with this source, so that fpc
  compiles the unit again whenever the precompiled one does not fit.

  The unit sets its own mode, so programs in any mode (fpc, tp, objfpc,
  delphi) can use it. }

{$mode objfpc}
{$H-}
{$packenum 4}
{$packrecords default}
{$I-}
{$R-}
{$Q-}
{$notes off}
{ Every routine keeps its frame, also under -O2 and up: the commands find
  their caller's address through it. }
{$stackframes on}
{$hints off}

unit ZekoInc;

interface

type
  strngp = string[50];
  stri40 = string[40];
  xRichtungen = (up, down, left, right);
  Zekotier = record
    richtung: xRichtungen;
    x: byte;
    y: byte;
    vorrat: smallint;
  end;

procedure INITIALISIERE_DIE_ROBOTERWELT(name: strngp);
procedure VOR;
procedure LINKS;
procedure NIMM;
procedure GIB;
procedure WARTE;
function VORNE_FREI: boolean;
function FELD_LEER: boolean;
function TASCHE_LEER: boolean;
function AM_ANFANG: boolean;

implementation

uses
  ctypes, baseunix, termio, lnfodwrf;

const
  zekolib = 'zekoinc';

{ The C interface of libzekoinc.so. }
procedure c_zeko_start; cdecl; external zekolib name 'zeko_start';
procedure c_zeko_finish; cdecl; external zekolib name 'zeko_finish';
procedure c_zeko_write(text: PChar; length: csize_t); cdecl;
  external zekolib name 'zeko_write';
function c_zeko_read_text(buffer: PChar; capacity: csize_t): clong; cdecl;
  external zekolib name 'zeko_read_text';
procedure c_zeko_program_end(code: clong; runtime_error: cint); cdecl;
  external zekolib name 'zeko_program_end';
procedure c_zeko_report_runtime_error(code: clong; file_name: PChar;
  line: cint); cdecl; external zekolib name 'zeko_report_runtime_error';
procedure c_initialisiere(name: PChar); cdecl;
  external zekolib name 'initialisiere_die_roboterwelt';
procedure c_vor; cdecl; external zekolib name 'vor';
procedure c_links; cdecl; external zekolib name 'links';
procedure c_nimm; cdecl; external zekolib name 'nimm';
procedure c_gib; cdecl; external zekolib name 'gib';
procedure c_warte; cdecl; external zekolib name 'warte';
function c_vorne_frei: cuchar; cdecl; external zekolib name 'vorne_frei';
function c_feld_leer: cuchar; cdecl; external zekolib name 'feld_leer';
function c_tasche_leer: cuchar; cdecl; external zekolib name 'tasche_leer';
function c_am_anfang: cuchar; cdecl; external zekolib name 'am_anfang';

type
  line_resolver = function(address: CodePointer; file_name: PChar;
    capacity: csize_t; line: pcint): cint; cdecl;
procedure c_zeko_call_site(address: CodePointer); cdecl;
  external zekolib name 'zeko_call_site';
procedure c_zeko_set_line_resolver(resolver: line_resolver); cdecl;
  external zekolib name 'zeko_set_line_resolver';

{ ---- where the program called us -------------------------------------- }

{ The caller's return address lies just after its call instruction, which
  may already belong to the next line; one byte back is inside the call.
  The file is given without its folder (zekoc compiles in a temporary one).
  Uses no heap: it may run inside the library's SIGINT handler. }
function resolve_line(address: CodePointer; file_name: PChar;
  capacity: csize_t; line: pcint): cint; cdecl;
var
  func, source: ShortString;
  number: longint;
  i, first, n: integer;
begin
  resolve_line := 0;
  number := 0;
  func := '';
  source := '';
  if (address = nil) or (capacity < 2) then
    exit;
  if not GetLineInfo(codeptruint(address) - 1, func, source, number) or
    (number <= 0) or (source = '') then
    exit;
  first := 1;
  for i := 1 to Length(source) do
    if source[i] = '/' then
      first := i + 1;
  n := Length(source) - first + 1;
  if n > capacity - 1 then
    n := capacity - 1;
  if n <= 0 then
    exit;
  Move(source[first], file_name^, n);
  file_name[n] := #0;
  line^ := number;
  resolve_line := 1;
end;

{ ---- robot commands ---------------------------------------------------- }

procedure INITIALISIERE_DIE_ROBOTERWELT(name: strngp);
var
  buffer: array[0..High(strngp)] of char;
  n: integer;
begin
  n := Length(name);
  if n > 0 then
    Move(name[1], buffer[0], n);
  buffer[n] := #0;
  c_zeko_call_site(get_caller_addr(get_frame));
  c_initialisiere(@buffer[0]);
end;

{ Each command first tells the library where it was called from, for the
  report of a failed command; the caller's address is only known here. }
procedure VOR;   begin c_zeko_call_site(get_caller_addr(get_frame)); c_vor;   end;
procedure LINKS; begin c_zeko_call_site(get_caller_addr(get_frame)); c_links; end;
procedure NIMM;  begin c_zeko_call_site(get_caller_addr(get_frame)); c_nimm;  end;
procedure GIB;   begin c_zeko_call_site(get_caller_addr(get_frame)); c_gib;   end;
procedure WARTE; begin c_zeko_call_site(get_caller_addr(get_frame)); c_warte; end;

{ The sensors: the library answers 0 or 1. }
function VORNE_FREI: boolean;  begin Result := c_vorne_frei <> 0;  end;
function FELD_LEER: boolean;   begin Result := c_feld_leer <> 0;   end;
function TASCHE_LEER: boolean; begin Result := c_tasche_leer <> 0; end;
function AM_ANFANG: boolean;   begin Result := c_am_anfang <> 0;   end;

{ ---- console state ----------------------------------------------------- }

var
  console_started: boolean = false;
  console_finished: boolean = false;
  { True when standard output and error are terminals: then the console's
    raw mode (set on the terminal of standard output) applies to what goes
    to descriptor 2 as well. }
  error_needs_crlf: boolean = false;
  saved_exit_proc: CodePointer = nil;

procedure finish_console;
begin
  if console_started and not console_finished then
  begin
    console_finished := true;
    c_zeko_finish;
  end;
end;

{ ---- text drivers ------------------------------------------------------ }

{ Output and StdOut: everything goes through the console. }
procedure console_write(var t: TextRec);
begin
  if t.BufPos > 0 then
    c_zeko_write(PChar(t.BufPtr), t.BufPos);
  t.BufPos := 0;
end;

{ Input: the next piece of the current line, its end marked by #10 for
  the run-time library. At the end of input the buffer stays empty, which
  the run-time library takes as end of file. }
procedure console_read(var t: TextRec);
var
  n: clong;
begin
  t.BufPos := 0;
  t.BufEnd := 0;
  n := c_zeko_read_text(PChar(t.BufPtr), t.BufSize);
  if n > 0 then
    t.BufEnd := n;
end;

{ StdErr and ErrOutput: straight to descriptor 2; while the console holds
  the terminal in raw mode, #10 becomes #13#10 (the unhandled-exception
  message of SysUtils, for instance, is written before any exit procedure
  runs). }
procedure error_write(var t: TextRec);
var
  i, start: SizeInt;
  crlf: array[0..1] of char;
begin
  if t.BufPos > 0 then
  begin
    if error_needs_crlf and console_started and not console_finished then
    begin
      crlf[0] := #13;
      crlf[1] := #10;
      start := 0;
      for i := 0 to t.BufPos - 1 do
        if t.BufPtr^[i] = #10 then
        begin
          if i > start then
            fpWrite(t.Handle, t.BufPtr^[start], i - start);
          fpWrite(t.Handle, crlf, 2);
          start := i + 1;
        end;
      if t.BufPos > start then
        fpWrite(t.Handle, t.BufPtr^[start], t.BufPos - start);
    end
    else
      fpWrite(t.Handle, t.BufPtr^[0], t.BufPos);
  end;
  t.BufPos := 0;
end;

procedure console_close(var t: TextRec);
begin
  { The descriptors stay open; the console owns them. }
  t.Mode := fmClosed;
end;

procedure console_open(var t: TextRec);
begin
  if t.Mode = fmInput then
  begin
    t.InOutFunc := @console_read;
    t.FlushFunc := nil;
  end
  else
  begin
    t.Mode := fmOutput;
    t.InOutFunc := @console_write;
    t.FlushFunc := @console_write;
  end;
  t.CloseFunc := @console_close;
end;

procedure error_open(var t: TextRec);
begin
  t.Mode := fmOutput;
  t.InOutFunc := @error_write;
  t.FlushFunc := @error_write;
  t.CloseFunc := @console_close;
end;

{ Replaces an open standard text file by one of our drivers. The old one is
  flushed but not closed (closing would close its descriptor). }
procedure take_over(var f: Text; open_func: CodePointer; handle: THandle;
  for_input: boolean);
begin
  if TextRec(f).Mode = fmOutput then
    Flush(f);
  Assign(f, '');
  TextRec(f).Handle := handle;
  TextRec(f).OpenFunc := open_func;
  TextRec(f).LineEnd := #10;
  if for_input then
    Reset(f)
  else
    Rewrite(f);
  InOutRes := 0;
end;

{ A run-time error is reported by the library, in German and with the
  learner's line ("Runtime error 200 - Division durch 0 (rt.pas, Zeile 8)"),
  in place of the run-time library's report with addresses; the exit status
  stays the error's number. ErrorAddr is the failing place itself, not a
  return address. }
procedure report_runtime_error;
var
  file_name: array[0..255] of char;
  line: cint;
begin
  line := 0;
  file_name[0] := #0;
  if resolve_line(CodePointer(codeptruint(ErrorAddr) + 1), @file_name[0],
    SizeOf(file_name), @line) = 0 then
    line := 0;
  c_zeko_report_runtime_error(ExitCode, @file_name[0], line);
  ErrorAddr := nil;
end;

{ Runs at every end of the program, before the run-time library would
  print "Runtime error ..." (exit procedures come first there, unit
  finalization after the message). zekocheck's check mode records the end. }
procedure zeko_exit_proc;
begin
  ExitProc := saved_exit_proc;
  c_zeko_program_end(ExitCode, Ord(ErrorAddr <> nil));
  if ErrorAddr <> nil then
  begin
    report_runtime_error;
    finish_console;
  end;
end;

initialization
  error_needs_crlf := (IsATTY(StdOutputHandle) = 1) and
    (IsATTY(StdErrorHandle) = 1);
  c_zeko_start;
  console_started := true;
  c_zeko_set_line_resolver(@resolve_line);
  take_over(Output, @console_open, StdOutputHandle, false);
  take_over(StdOut, @console_open, StdOutputHandle, false);
  take_over(Input, @console_open, StdInputHandle, true);
  take_over(StdErr, @error_open, StdErrorHandle, false);
  take_over(ErrOutput, @error_open, StdErrorHandle, false);
  saved_exit_proc := ExitProc;
  ExitProc := @zeko_exit_proc;

finalization
  { Nothing waits in the text buffers: every write statement ends with a
    flush through the driver. }
  finish_console;
end.
