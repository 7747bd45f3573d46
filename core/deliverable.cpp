#include "deliverable.h"

#include "console.h"

#if !defined(ZEKO_WORLDS_FROM_BINDIR) || !defined(ZEKO_WORLDS_FROM_LIBDIR) || !defined(ZEKO_TASKS_FROM_BINDIR) || \
    !defined(ZEKO_TASKS_FROM_LIBDIR)
#error "ZEKO_WORLDS_FROM_BINDIR, ZEKO_WORLDS_FROM_LIBDIR, ZEKO_TASKS_FROM_BINDIR, ZEKO_TASKS_FROM_LIBDIR: set by CMake"
#endif

namespace zeko {

const Deliverable ZEKOPROG = {
    .console = {.ctrl_c = console::CtrlC::ends_line_input, .needs_whole_window = true},
    .shown_name_length = 50, .supply_after_loading = -1,
    .screen_style = ScreenStyle::framed_grid, .title = "ZEKO, DER ROBOTER    -----    Autor: Dr.Mervalin",
    .help_line = "Steuerung von ZEKO mit:   v(or)   l(links)   n(imm)    g(ib)   e(nde)", .name_colour = rot,
    .status_column = 71, .status_colour = schwarz, .lager_width = 3, .glyphs = {'^', 'v', '<', '>'},
    .whole_cell = false, .blank_message_line = true, .redraw_end = RedrawEnd::on_message_line,
    .terminal_loss_ends = false,  // the end of input ends the key loop and completes the program file
    .obstacles_block = true, .failure = Failure::message_line,
    .messages = {"Fehler! Zeko steht vor einem Hindernis !", "Fehler! Auf dem Feld liegt nichts!",
                 "Fehler! Zekos Tasche ist leer !"},
    .message_colours = {kCurrentColour, kCurrentColour, kCurrentColour}, .exit_status = {0, 0, 0},
    .in_library = false, .installed_worlds = ZEKO_WORLDS_FROM_BINDIR,
    .installed_tasks = ZEKO_TASKS_FROM_BINDIR, .program_name = "zekoprog",
    .help =
        "Nimmt ein Programm fuer ZEKO auf. Gefragt wird nach dem Namen der\n"
        "Roboterwelt und dem Namen der Programmdatei (z. B. mepp.pas). Dann steuern\n"
        "die Tasten v(or), l(inks), n(imm), g(ib) den Roboter, e beendet. Jeder\n"
        "gelungene Schritt wird eine Zeile des Pascal-Programms, das zekoc\n"
        "uebersetzt. Ohne Namen der Programmdatei endet zekoprog gleich.\n",
};

const Deliverable ZEKOEDIT = {
    .console = {.ctrl_c = console::CtrlC::ends_line_input, .needs_whole_window = true},
    .shown_name_length = 0,  // the editor shows the name it will save under
    .supply_after_loading = 1000,
    .screen_style = ScreenStyle::framed_grid, .title = "ZEKO, DER ROBOTER  -----  Autor: Dr.Mervalin",
    .help_line = "Steuerung von ZEKO mit: PFEILTASTEN, LEERTASTE, n(imm), g(ib), e(nde)", .name_colour = rot,
    .status_column = 71, .status_colour = schwarz, .lager_width = 4, .glyphs = {'X', 'X', 'X', 'X'},
    .whole_cell = true, .blank_message_line = false, .redraw_end = RedrawEnd::on_message_line,
    .terminal_loss_ends = false,  // the end of input ends the editor, saving nothing
    .obstacles_block = false, .failure = Failure::editor_alert,
    .messages = {nullptr, "Fehler! Auf dem Feld liegt nichts!", "Fehler! Zekos Tasche ist leer !"},
    .message_colours = {kCurrentColour, kCurrentColour, kCurrentColour}, .exit_status = {0, 0, 0},
    .in_library = false, .installed_worlds = ZEKO_WORLDS_FROM_BINDIR,
    .installed_tasks = ZEKO_TASKS_FROM_BINDIR, .program_name = "zekoedit",
    .help =
        "Baut und aendert Welten fuer ZEKO. Gefragt wird nach dem Namen der Welt;\n"
        "gibt es sie nicht, beginnt eine neue Welt mit der Vorlage welt0.zko.\n"
        "Pfeiltasten bewegen ZEKO, die LEERTASTE setzt und entfernt Hindernisse,\n"
        "n und g nehmen und legen Gegenstaende, e beendet. Gespeichert wird unter\n"
        "dem eingegebenen Namen im aktuellen Ordner, mit dem Vorrat, nach dem\n"
        "am Ende gefragt wird.\n",
};

namespace {

constexpr Deliverable kZekoinc = {
    .console = {.ctrl_c = console::CtrlC::ends_program, .needs_whole_window = true},
    .shown_name_length = 12, .supply_after_loading = -1,
    .screen_style = ScreenStyle::star_border,
    .title = "**********  ROBOTER-WELT von ZEKO -- Autor: Dr. Mervalin  ***********",
    .help_line = "Single-Step mit [LEERTASTE], Go mit jeder anderen Taste", .name_colour = gruen,
    .status_column = 72, .status_colour = kCurrentColour, .lager_width = 3, .glyphs = {'^', 'v', '<', '>'},
    .whole_cell = false, .blank_message_line = false, .redraw_end = RedrawEnd::pause_then_row_23,
    .terminal_loss_ends = true,  // a learner's program in Go mode may never read a key again
    .obstacles_block = true, .failure = Failure::end_program,
    .messages = {"Fehler: vor Zeko liegt ein Hindernis !", "Fehler: auf dem Feld liegt nichts !",
                 "Fehler: Zekos Tasche ist leer !"},
    .message_colours = {rot, kCurrentColour, kCurrentColour},  // only the obstacle in red
    .exit_status = {3, 2, 1},
    .in_library = true, .installed_worlds = ZEKO_WORLDS_FROM_LIBDIR,
    .installed_tasks = ZEKO_TASKS_FROM_LIBDIR, .program_name = nullptr,
    .help = nullptr,
};

constexpr Deliverable without_drawing(Deliverable d) {
  d.draws = false;
  d.console.needs_whole_window = false;
  return d;
}

}  // namespace

constinit const Deliverable ZEKOINC = kZekoinc;
constinit const Deliverable ZEKOINC_PRUEFEN = without_drawing(kZekoinc);

namespace {
const Deliverable* g_active = &ZEKOINC;  // constant-initialised: the library needs no start-up code
}

Hooks hooks;

void use_deliverable(const Deliverable& d) {
  g_active = &d;
  console::end_on_terminal_loss(d.terminal_loss_ends);
}
const Deliverable& deliverable() { return *g_active; }

void start_deliverable(const Deliverable& d) {
  use_deliverable(d);
  console::start(0, 1, d.console);
}

}  // namespace zeko
