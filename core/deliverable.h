// What differs between the three deliverables, as one table of data each.
// A deliverable chooses its table once at start; the world file, the display
// and the robot's commands are written once and read the table.
#pragma once

#include <cstddef>

#include "console.h"
#include "screen.h"

namespace zeko {

// How a command that cannot be carried out reacts.
enum class Failure {
  end_program,   // message on row 23, the learner's program ends with a status
  message_line,  // red message on row 24, the program goes on
  editor_alert,  // red-background message on row 24 that stays; a blocked move does nothing
};

enum Command { kVor = 0, kNimm = 1, kGib = 2 };

// In place of a colour: write in whatever colour is current.
constexpr int kCurrentColour = -1;

// How the static screen looks.
enum class ScreenStyle {
  framed_grid,  // title in a star frame, grid lines, help line on row 22, world name on row 24
  star_border,  // a plain star border, world name on row 22, the step hint on row 24
};

// Where a redraw of the robot leaves the cursor.
enum class RedrawEnd {
  on_message_line,    // in black on row 24 (blanked first with blank_message_line)
  pause_then_row_23,  // in black after the stepping pause, on row 23
};

struct Deliverable {
  // Terminal: what Ctrl-C does, and whether a too small window is waited out.
  console::Profile console;

  // World file reader.
  std::size_t shown_name_length;  // characters of the world name kept for the screen; 0: keep none
  int supply_after_loading;       // -1: the file's value

  // Static screen.
  ScreenStyle screen_style;
  const char* title;              // frame title of the programs
  const char* help_line;          // row 22 of the programs
  FT name_colour;

  // Robot and status panel.
  int status_column;
  int status_colour;              // an FT or kCurrentColour
  int lager_width;
  char glyphs[4];                 // indexed by heading: up, down, left, right
  bool whole_cell;                // a field redraw rewrites all three columns
  bool blank_message_line;        // each robot redraw blanks row 24
  RedrawEnd redraw_end;

  // A terminal that goes away without a hang-up signal ends the program.
  bool terminal_loss_ends;

  // Commands.
  bool obstacles_block;
  Failure failure;
  const char* messages[3];        // by Command; nullptr: no message
  int message_colours[3];         // end_program only, by Command; an FT or kCurrentColour
  int exit_status[3];             // end_program only

  // Installation.
  bool in_library;                // runs inside libzekoinc.so, not as a program of its own
  const char* installed_worlds;   // the world folder, relative to the folder of that file
  const char* installed_tasks;    // the task collection, likewise
  const char* program_name;       // for --help and --version; nullptr: the library
  const char* help;               // German text of --help, after the usage line

  // The library's check mode runs without a screen: nothing is drawn, the
  // pause after each command is only the hook.
  bool draws = true;
};

extern const Deliverable ZEKOPROG;
extern const Deliverable ZEKOEDIT;
extern const Deliverable ZEKOINC;
extern const Deliverable ZEKOINC_PRUEFEN;  // the library in check mode

void use_deliverable(const Deliverable& d);
// Chooses the deliverable and starts the console the way it wants it.
void start_deliverable(const Deliverable& d);
const Deliverable& deliverable();

// Filled in by the recorder (statement lines) and the library (the pause
// after each robot redraw, the report of a failed command); empty elsewhere.
struct Hooks {
  void (*record)(const char* statement);
  void (*step_pause)();
  void (*before_failure_exit)(Command command);  // end_program only, with the message shown
};
extern Hooks hooks;

}  // namespace zeko
