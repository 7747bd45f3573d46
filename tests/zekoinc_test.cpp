// End-to-end checks of the learner library: real learner programs (Free
// Pascal through zekoc, and C++ through zekoinc.h) are compiled into a
// temporary folder and run on a pty, and the screen, the keys they wait for,
// their exit status and the terminal modes they leave are checked.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "learner_env.h"
#include "files.h"
#include "modes.h"
#include "pace.h"
#include "pty_terminal.h"
#include "screen_text.h"
#include "temp_dir.h"
#include "world_text.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

using support::col_of;
using support::read_file;
using support::row_of;
using support::settles_with;
using support::shows;

const std::string kTitle = "**********  ROBOTER-WELT von ZEKO -- Autor: Dr. Mervalin  ***********";
const std::string kHint = "Single-Step mit [LEERTASTE], Go mit jeder anderen Taste";
const std::string kUp = "\033[A";
constexpr int kStepMs = 75;

// The robot at (2,3) facing down with 5 items in its bag; two items on the
// field below it, an obstacle three fields below and one in the corner.
const std::string kWorld = support::World().robot(2, 3, 5).at(0, 0, -1).at(2, 4, 2).at(2, 6, -1).at(5, 5, 1).text();

// The library's status panel starts a column further right than the programs'.
std::string status(const zt::Terminal& t, int row) { return support::status(t, row, 72); }

// A plain Pascal learner program around the given statements.
std::string program(const std::string& statements) {
  return "program t;\nuses ZekoInc;\nvar n: integer;\nbegin\n" + statements + "\nend.\n";
}

// The same statements as a C program, line for line: "vor;" becomes
// "vor();", "name('text');" becomes "name("text");", writeln a printf.
std::string c_program(const std::string& statements) {
  std::string body;
  std::istringstream lines(statements);
  for (std::string line; std::getline(lines, line);) {
    std::string out;
    for (std::size_t i = 0; i < line.size();) {
      std::size_t end = line.find(';', i);
      if (end == std::string::npos) end = line.size();
      std::string statement = line.substr(i, end - i);
      std::size_t open = statement.find("('");
      std::string name = statement.substr(0, open);
      for (char& ch : name) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
      std::string text = open == std::string::npos ? "" : statement.substr(open + 2, statement.size() - open - 4);
      if (name == "writeln") out += "printf(\"" + text + "\\n\");";
      else if (!name.empty()) out += name + (open == std::string::npos ? "();" : "(\"" + text + "\");");
      i = end + 1;
    }
    body += out + "\n";
  }
  // Four lines before the statements, as in program().
  return "#include <stdio.h>\n#include \"zekoinc.h\"\nint main(void) {\nint n = 0; (void)n;\n" + body +
         "return 0;\n}\n";
}

long ms_since(Clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

class Learner : public ::testing::Test {
 protected:
  void SetUp() override { put("welt.zko", kWorld); }

  void put(const std::string& name, const std::string& text) { dir_.put(name, text); }

  // Runs a shell command in the test folder; its output goes to *out.
  int shell(const std::string& command, std::string* out = nullptr) {
    std::string full = "cd '" + dir_.path() + "' && " + command + " 2>&1";
    support::ShellResult r = support::run_shell(full);
    if (out) *out = r.output;
    return r.status;
  }

  // Compiles NAME.pas from `source` with zekoc; returns the program's path.
  std::string pascal(const std::string& name, const std::string& source, const std::string& options = "") {
    put(name + ".pas", source);
    std::string out;
    if (shell(std::string(ZEKOC_PATH) + " " + options + " " + name + ".pas", &out) != 0)
      throw std::runtime_error("zekoc failed:\n" + out);
    return (dir_ / name).string();
  }

  // Compiles the statements as NAME.pas or NAME.c with zekoc.
  std::string learner(const std::string& name, const std::string& ending, const std::string& statements,
                      const std::string& options = "") {
    if (ending == ".pas") return pascal(name, program(statements), options);
    put(name + ending, c_program(statements));
    std::string out;
    if (shell(std::string(ZEKOC_PATH) + " " + options + " " + name + ending, &out) != 0)
      throw std::runtime_error("zekoc failed:\n" + out);
    return (dir_ / name).string();
  }

  // Compiles a C++ learner program against zekoinc.h and libzekoinc.so.
  std::string cxx(const std::string& name, const std::string& source) {
    put(name + ".cpp", source);
    std::string out;
    std::string command = std::string(LEARNER_CXX) + " -std=c++17 -I'" ZEKOINC_INCLUDE_DIR "' " + name +
                          ".cpp -o " + name + " -L'" ZEKOINC_LIB_DIR "' -lzekoinc -Wl,-rpath,'" ZEKOINC_LIB_DIR
                          "'";
    if (shell(command, &out) != 0) throw std::runtime_error("c++ failed:\n" + out);
    return (dir_ / name).string();
  }

  std::unique_ptr<zt::Terminal> run(const std::string& prog, zt::Options o = {}, std::vector<std::string> args = {}) {
    o.cwd = dir_.path();
    for (auto& e : learner_environment()) o.env_extra.push_back(e);
    args.insert(args.begin(), prog);
    return std::make_unique<zt::Terminal>(args, o);
  }

  support::TempDir dir_;
};

// Waits for the robot's glyph on field (x, y) and for the program to settle.
bool robot_at(zt::Terminal& t, int x, int y, const char* glyph) {
  return settles_with(t, [&] { return t.cell(row_of(y), col_of(x)).ch == glyph; });
}

// The program waits for a key: it settles (blocked reading, with no time
// limit) and has not ended.
void expect_waiting(zt::Terminal& t) {
  EXPECT_TRUE(t.settle()) << "the program did not wait";
  EXPECT_EQ(t.wait_exit(0), -1) << "the program ended";
}

void expect_restored(zt::Terminal& t) { EXPECT_TRUE(support::restored(t)); }


void expect_default_colours_at_the_end(zt::Terminal& t) { EXPECT_EQ(support::last_colour_sequence(t.raw_output()), "\033[m"); }

// ---------------------------------------------------------------------------

TEST_F(Learner, StartScreenShowsWorldAndWaitsWithShortenedNameOfALongFile) {
  // 50 characters are the file's name; the learner wrote three more, which
  // are cut off, and the screen shows the first 12.
  const std::string file = "welt_mit_einem_recht_langen_namen_fuer_den_test.zk";
  ASSERT_EQ(file.size(), 50u);
  put(file, kWorld);
  auto t = run(pascal("start", program("initialisiere_die_Roboterwelt('" + file + "XYZ');\nwarte;")));
  ASSERT_TRUE(shows(*t, "Lager:")) << t->screen_text();

  EXPECT_EQ(t->row_text(1), kTitle);
  EXPECT_EQ(t->cell(1, 1).fg, 0);
  for (int row = 2; row <= 20; ++row) {
    EXPECT_EQ(t->cell(row, 1).ch, "*") << row;
    EXPECT_EQ(t->cell(row, 69).ch, "*") << row;
  }
  EXPECT_EQ(t->row_text(21), std::string(69, '*'));
  EXPECT_EQ(t->row_text(22), file.substr(0, 12));
  EXPECT_EQ(t->cell(22, 1).fg, 2);
  EXPECT_EQ(t->row_text(24), kHint);
  EXPECT_EQ(t->cell(3, 5).ch, " ") << "the library draws no grid lines";

  EXPECT_EQ(status(*t, 3), "x= 2 y= 3");
  EXPECT_EQ(status(*t, 6), "Vor.:   5");
  EXPECT_EQ(status(*t, 9), "Lager:  0");
  for (int col = 2; col <= 4; ++col) {
    EXPECT_EQ(t->cell(2, col).ch, "*");
    EXPECT_EQ(t->cell(2, col).fg, 1);
  }
  EXPECT_EQ(t->cell(row_of(4), col_of(2)).ch, "o");
  EXPECT_EQ(t->cell(row_of(4), col_of(2)).fg, 4);
  EXPECT_EQ(t->cell(row_of(5), col_of(5)).ch, "o");
  EXPECT_EQ(t->cell(row_of(3), col_of(2)).ch, "v");
  EXPECT_EQ(t->cell(row_of(3), col_of(2)).fg, 2);

  expect_waiting(*t);
  t->send(" ");
  ASSERT_TRUE(shows(*t, "FERTIG!"));
  t->send(" ");
  EXPECT_EQ(t->wait_exit(), 0);
  expect_restored(*t);
}

TEST_F(Learner, SpaceRunsOneCommandPerKeyAndWarteWaitsForAKeyBeforeClearing) {
  auto t = run(pascal("schritt", program("initialisiere_die_Roboterwelt('welt.zko');\nvor;\nlinks;\nnimm;\nwarte;")));
  ASSERT_TRUE(robot_at(*t, 2, 3, "v"));
  expect_waiting(*t);

  t->send(" ");  // vor
  ASSERT_TRUE(robot_at(*t, 2, 4, "v"));
  EXPECT_EQ(t->cell(row_of(3), col_of(2)).ch, " ");
  EXPECT_EQ(status(*t, 3), "x= 2 y= 4");
  EXPECT_EQ(status(*t, 9), "Lager:  2");
  expect_waiting(*t);

  t->send(" ");  // links
  ASSERT_TRUE(robot_at(*t, 2, 4, ">"));
  expect_waiting(*t);

  t->send(" ");  // nimm
  ASSERT_TRUE(shows(*t, "Lager:  1"));
  EXPECT_EQ(status(*t, 6), "Vor.:   6");
  expect_waiting(*t);

  t->send(" ");  // warte
  ASSERT_TRUE(shows(*t, "FERTIG!"));
  EXPECT_EQ(t->row_text(25), "FERTIG!");
  EXPECT_EQ(t->cell(25, 1).fg, 4);
  expect_waiting(*t);

  t->send("q");
  EXPECT_EQ(t->wait_exit(), 0);
  EXPECT_EQ(t->screen_text(), std::string(24, '\n'));
  EXPECT_EQ(t->cursor(), std::make_pair(1, 1));
  expect_restored(*t);
  expect_default_colours_at_the_end(*t);
}

// Any key but the space bar switches to Go: no further key is read, each
// command pauses 75 ms, and a key typed meanwhile (or the code of the arrow
// key itself) stays waiting, so WARTE ends at once. The digits 1 to 9 choose
// their own pause, from 400 ms down to none. The program times its ten
// commands itself, so a busy test machine cannot make them look faster.
// Ctrl-Z and Ctrl-\ are keys too: they neither suspend nor quit.
struct GoPace {
  std::string key;
  int min_ms;  // at least ten pauses
  // -1: no upper bound. Ten commands without a pause must stay below the
  // pauses of the default pace alone; a tighter bound would measure the
  // machine, not the pace.
  int max_ms;
  int pace_ms = 75;  // the pause the library chooses for the key
};

class GoKey : public Learner, public ::testing::WithParamInterface<GoPace> {};

TEST_P(GoKey, SwitchesToGoForGood) {
  const GoPace& p = GetParam();
  auto t = run(pascal("go",
                      "program go;\nuses ZekoInc, SysUtils;\nvar t0: QWord; i: integer;\nbegin\n"
                      "  initialisiere_die_Roboterwelt('welt.zko');\n  t0 := GetTickCount64;\n"
                      "  for i := 1 to 10 do links;\n  writeln('Dauer=', GetTickCount64 - t0, ';');\n  warte;\nend.\n"));
  ASSERT_TRUE(shows(*t, "Lager:"));

  t->send(p.key);
  if (p.key != kUp) {
    t->pump(150);
    t->send(" ");  // neither stops nor slows Go, and WARTE finds it
  }
  ASSERT_TRUE(settles_with(*t, [&] { return t->raw_output().find("FERTIG!") != std::string::npos; }));
  EXPECT_EQ(t->wait_exit(2000), 0) << "WARTE waited although a key was there";
  EXPECT_EQ(t->screen_text(), std::string(24, '\n'));
  expect_restored(*t);

  std::string out = t->raw_output();
  size_t at = out.find("Dauer=");
  ASSERT_NE(at, std::string::npos) << out;
  int ms = std::stoi(out.substr(at + 6));
  EXPECT_EQ(zeko::library::pace_for(p.key[0]), static_cast<unsigned>(p.pace_ms));
  EXPECT_GE(ms, p.min_ms);
  if (p.max_ms >= 0) {
    EXPECT_LE(ms, p.max_ms);
  }
}

INSTANTIATE_TEST_SUITE_P(Keys, GoKey,
                         ::testing::Values(GoPace{"\r", 10 * kStepMs, -1}, GoPace{"x", 10 * kStepMs, -1},
                                           GoPace{"\033", 10 * kStepMs, -1}, GoPace{kUp, 10 * kStepMs, -1},
                                           GoPace{"1", 4000, -1, 400}, GoPace{"4", 1000, -1, 100},
                                           GoPace{"8", 100, -1, 10}, GoPace{"9", 0, 10 * kStepMs - 1, 0},
                                           // neither suspends nor quits: keys like any other
                                           GoPace{"\032", 10 * kStepMs, -1}, GoPace{"\034", 10 * kStepMs, -1}),
                         [](const auto& info) {
                           const std::string& k = info.param.key;
                           if (k == "\r") return std::string("Enter");
                           if (k == "\033") return std::string("Esc");
                           if (k == kUp) return std::string("Up");
                           if (k == "\032") return std::string("CtrlZ");
                           if (k == "\034") return std::string("CtrlBackslash");
                           return "Key_" + k;
                         });

// Each impossible command leaves its message on row 23 over the world and
// ends the program with its status; nothing after it runs. Then standard
// error names the line of the failing call (the commands start in line 6 of
// the program), also under optimisation; without line information the same
// line without the place. On the terminal it replaces the step hint on
// row 24; into a file it goes alone, and row 24 keeps the hint.
struct Failure {
  std::string name;
  int supply;
  std::string commands;
  std::string message;
  int colour;
  int status;
  std::string report;
  std::string zekoc_options;
  bool stderr_to_file;
  std::string ending = ".pas";  // the program in Pascal or in C
};

class FailingCommand : public Learner, public ::testing::WithParamInterface<Failure> {};

TEST_P(FailingCommand, ShowsItsMessageAndEndsWithItsStatus) {
  const Failure& f = GetParam();
  put("welt.zko", support::World().robot(2, 3, f.supply).at(2, 4, 2).at(2, 6, -1).text());
  std::string prog = learner("fehler", f.ending,
                             "initialisiere_die_Roboterwelt('welt.zko');\n" + f.commands + "\nwriteln('weiter');\nwarte;",
                             f.zekoc_options);
  auto t = f.stderr_to_file ? run("/bin/sh", {}, {"-c", "exec ./fehler 2>fehler.txt"}) : run(prog);
  ASSERT_TRUE(shows(*t, "Lager:"));
  t->send("x");
  EXPECT_EQ(t->wait_exit(), f.status);
  EXPECT_EQ(t->row_text(23), f.message);
  EXPECT_EQ(t->cell(23, 1).fg, f.colour);
  EXPECT_EQ(t->row_text(1), kTitle) << "the world stays on the screen";
  EXPECT_EQ(t->screen_text().find("weiter"), std::string::npos);
  EXPECT_EQ(t->screen_text().find("FERTIG"), std::string::npos);
  if (f.stderr_to_file) {
    EXPECT_EQ(read_file(dir_ / "fehler.txt"), f.report + "\n");
    EXPECT_EQ(t->row_text(24), kHint);
    EXPECT_EQ(t->cursor(), std::make_pair(1, 24));
  } else {
    EXPECT_EQ(t->row_text(24), f.report);
    EXPECT_EQ(t->cursor(), std::make_pair(1, 25));
  }
  expect_restored(*t);
  expect_default_colours_at_the_end(*t);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, FailingCommand,
    ::testing::Values(Failure{"VorIntoAnObstacle", 5, "vor;\nvor;\n\n\n\n\nvor;", "Fehler: vor Zeko liegt ein Hindernis !", 4, 3,
                              "fehler.pas, Zeile 12: vor - vor Zeko liegt ein Hindernis", "", true},
                      Failure{"NimmOnAnEmptyField", 5, "nimm;", "Fehler: auf dem Feld liegt nichts !", 0, 2,
                              "fehler.pas, Zeile 6: nimm - auf dem Feld liegt nichts", "-O3", false},
                      Failure{"GibWithAnEmptyBag", 0, "gib;", "Fehler: Zekos Tasche ist leer !", 0, 1, "gib - Zekos Tasche ist leer", "-g-",
                              false},
                      Failure{"VorInC", 5, "vor;\nvor;\n\n\nvor;", "Fehler: vor Zeko liegt ein Hindernis !", 4, 3,
                              "fehler.c, Zeile 10: vor - vor Zeko liegt ein Hindernis", "", true, ".c"},
                      Failure{"NimmInCWithoutLines", 5, "nimm;", "Fehler: auf dem Feld liegt nichts !", 0, 2,
                              "nimm - auf dem Feld liegt nichts", "-DZEKO_KEINE_ZEILEN", false, ".c"}),
    [](const auto& info) { return info.param.name; });

// ZEKO_ZEILE=1 (or ja): after each redraw row 22 names the line and the
// command that just ran, right of the world name, in dark grey (light grey
// on a dark terminal); a shorter text blanks the rest of the longer one.
// In Go mode the last command's line stays. Without line information, or
// with another value, it shows nothing.
struct CurrentLineRow {
  std::string name;
  std::string ending;
  std::string value;    // of ZEKO_ZEILE
  std::string options;  // for zekoc
  std::string key;      // at the first pause: " " steps, "x" goes
  std::string colours;  // ZEKO_FARBEN
};

class CurrentLine : public Learner, public ::testing::WithParamInterface<CurrentLineRow> {};

TEST_P(CurrentLine, IsShownAfterEachCommand) {
  const CurrentLineRow& r = GetParam();
  std::string prog = learner("zeile", r.ending, "initialisiere_die_Roboterwelt('welt.zko');\nvor;\nlinks;\nvor;\nwarte;",
                             r.options);
  zt::Options o;
  o.env_extra = {"ZEKO_ZEILE=" + r.value, "ZEKO_FARBEN=" + r.colours};
  auto t = run(prog, o);
  bool lines = r.options.empty() && (r.value == "1" || r.value == "ja");
  auto row22 = [&](const std::string& line) { return "welt.zko" + (line.empty() ? "" : "      " + line); };
  ASSERT_TRUE(robot_at(*t, 2, 3, "v"));
  EXPECT_EQ(t->row_text(22), row22(lines ? "Zeile 5: initialisiere_die_Roboterwelt" : ""));
  if (lines) {
    EXPECT_EQ(t->cell(22, 15).fg, r.colours == "dunkel" ? -1 : 0);
    EXPECT_EQ(t->cell(22, 15).bold, r.colours != "dunkel");
  }
  if (r.key == " ") {
    t->send(" ");
    ASSERT_TRUE(robot_at(*t, 2, 4, "v"));
    EXPECT_EQ(t->row_text(22), row22(lines ? "Zeile 6: vor" : ""));
    t->send(" ");
    ASSERT_TRUE(robot_at(*t, 2, 4, ">"));
    EXPECT_EQ(t->row_text(22), row22(lines ? "Zeile 7: links" : ""));
    t->send(" ");
    ASSERT_TRUE(robot_at(*t, 3, 4, ">"));
    EXPECT_EQ(t->row_text(22), row22(lines ? "Zeile 8: vor" : ""));
    t->send(" ");  // on to warte
  } else {
    t->send(r.key);
  }
  ASSERT_TRUE(shows(*t, "FERTIG!"));
  EXPECT_EQ(t->row_text(22), row22(lines ? "Zeile 8: vor" : ""));
  EXPECT_EQ(t->cell(row_of(4), col_of(3)).ch, ">");
  t->send(" ");
  EXPECT_EQ(t->wait_exit(), 0);
  expect_restored(*t);
}

INSTANTIATE_TEST_SUITE_P(
    Programs, CurrentLine,
    ::testing::Values(CurrentLineRow{"PascalSteps", ".pas", "1", "", " ", "hell"},
                      CurrentLineRow{"CSteps", ".c", "ja", "", " ", "hell"},
                      CurrentLineRow{"PascalGoesOnADarkTerminal", ".pas", "1", "", "x", "dunkel"},
                      CurrentLineRow{"CGoes", ".c", "1", "", "x", "hell"},
                      CurrentLineRow{"PascalWithoutLineInformation", ".pas", "1", "-g-", " ", "hell"},
                      CurrentLineRow{"OtherValueShowsNothing", ".pas", "0", "", " ", "hell"}),
    [](const auto& info) { return info.param.name; });

// Pascal call sites share the 64 slots of the line cache: of 80 calls on
// lines of their own, some share a slot, and each still shows its own line.
TEST_F(Learner, CurrentLineOfCallSitesThatShareACacheSlot) {
  constexpr int kCalls = 80;
  std::string statements = "initialisiere_die_Roboterwelt('welt.zko');";
  for (int i = 0; i < kCalls; ++i) statements += "\nlinks;";
  zt::Options o;
  o.env_extra = {"ZEKO_ZEILE=1"};
  auto t = run(pascal("viele", program(statements + "\nwarte;")), o);
  ASSERT_TRUE(shows(*t, "Zeile 5: initialisiere_die_Roboterwelt"));
  t->send("9");
  ASSERT_TRUE(shows(*t, "FERTIG!"));
  // Go mode shows each line in turn: all of them are in the output, in order.
  std::string out = t->raw_output();
  std::size_t at = 0;
  for (int line = 6; line < 6 + kCalls; ++line) {
    std::string shown = "Zeile " + std::to_string(line) + ": links";
    at = out.find(shown, at);
    ASSERT_NE(at, std::string::npos) << "line " << line << " not shown after the one before";
  }
  t->send(" ");
  EXPECT_EQ(t->wait_exit(), 0);
}

// Ctrl-C ends a learner program wherever it is: the note on row 23 in the
// terminal's own colours, the modes restored, status 130 within half a
// second. `ready` is what the program shows once it is there. Standard error
// then names the robot command in progress or the last one (the statements
// start in line 5), on row 24; before any command nothing is added and the
// cursor stays on row 24.
struct Interrupt {
  std::string name;
  std::string statements;
  std::string keys;  // typed before waiting for `ready`
  std::string ready;
  std::string report;
};

class CtrlC : public Learner, public ::testing::WithParamInterface<Interrupt> {};

TEST_P(CtrlC, EndsTheProgramAtOnce) {
  const Interrupt& c = GetParam();
  auto t = run(pascal("endlos", program(c.statements)));
  ASSERT_TRUE(t->wait_for([&] { return t->raw_output().find("\033[m") != std::string::npos; }));
  if (!c.keys.empty()) {
    ASSERT_TRUE(shows(*t, "Lager:"));
    t->send(c.keys);
  }
  // Running programs never settle: the text is enough.
  ASSERT_TRUE(t->wait_for_text(c.ready)) << t->screen_text();
  t->pump(200);  // running, waiting or reading
  auto began = Clock::now();
  t->send("\003");
  EXPECT_EQ(t->wait_exit(), 130);
  EXPECT_LE(ms_since(began), 500);
  EXPECT_EQ(t->row_text(23), "Programm abgebrochen (Strg+C).");
  EXPECT_EQ(t->cell(23, 1).fg, -1);
  EXPECT_EQ(t->row_text(24), c.report);
  EXPECT_EQ(t->cursor(), std::make_pair(1, c.report.empty() ? 24 : 25));
  expect_restored(*t);
  expect_default_colours_at_the_end(*t);
}

INSTANTIATE_TEST_SUITE_P(
    Moments, CtrlC,
    ::testing::Values(
        Interrupt{"Pause", "initialisiere_die_Roboterwelt('welt.zko');\nwarte;", "", "Lager:",
                  "endlos.pas, Zeile 5: initialisiere_die_Roboterwelt - abgebrochen"},
        Interrupt{"Go", "initialisiere_die_Roboterwelt('welt.zko');\nwhile true do links;", "x", "Lager:",
                  "endlos.pas, Zeile 6: links - abgebrochen"},
        Interrupt{"Computation", "write('rechnet');\nn := 0;\nwhile true do n := n + 1;", "", "rechnet", ""},
        Interrupt{"ComputationAfterACommand", "links;\nwrite('rechnet');\nwhile true do n := n + 1;", "", "rechnet",
                  "endlos.pas, Zeile 5: nach links abgebrochen"},
        Interrupt{"Readln", "initialisiere_die_Roboterwelt('welt.zko');\nwrite('Zahl? ');\nreadln(n);", " ",
                  "Zahl?", "endlos.pas, Zeile 5: nach initialisiere_die_Roboterwelt abgebrochen"},
        Interrupt{"Warte", "initialisiere_die_Roboterwelt('welt.zko');\nwarte;", " ", "FERTIG!",
                  "endlos.pas, Zeile 6: warte - abgebrochen"}),
    [](const auto& info) { return info.param.name; });

// A world file that cannot be read ends the program before anything is drawn.
TEST_F(Learner, UnreadableWorldEndsWithARuntimeErrorBeforeDrawing) {
  put("kaputt.zko", "    0    0  zwei\n");
  ASSERT_EQ(mkfifo((dir_ / "rohr.zko").c_str(), 0644), 0);  // refused, not waited on
  for (auto [file, status] :
       {std::pair<std::string, int>{"fehlt.zko", 2}, {"kaputt.zko", 106}, {"rohr.zko", 22}}) {
    SCOPED_TRACE(file);
    auto t = run(pascal("welt", program("initialisiere_die_Roboterwelt('" + file + "');\nwarte;")));
    EXPECT_EQ(t->wait_exit(), status);
    EXPECT_NE(t->screen_text().find("Runtime error " + std::to_string(status)), std::string::npos)
        << t->screen_text();
    EXPECT_EQ(t->screen_text().find("ROBOTER-WELT"), std::string::npos);
    EXPECT_EQ(t->raw_output().find("\033[2J"), std::string::npos);
    expect_restored(*t);
  }
}

// Before the world is started everything is zero and the mode is Go: four
// turns draw the robot on field (0,0) without any frame and wait 75 ms each,
// and the step forward facing up fails; its report says that no world was
// loaded.
TEST_F(Learner, CommandsBeforeTheWorldActOnTheZeroStateInGoMode) {
  auto began = Clock::now();
  auto t = run(pascal("vorher", program("links; links; links; links;\nvor;")));
  EXPECT_EQ(t->wait_exit(), 3);
  EXPECT_GE(ms_since(began), 4 * kStepMs);
  EXPECT_EQ(t->cell(row_of(0), col_of(0)).ch, "^");
  EXPECT_EQ(status(*t, 3), "x= 0 y= 0");
  EXPECT_EQ(t->row_text(1), "");
  EXPECT_EQ(t->cell(2, 1).ch, " ");
  EXPECT_EQ(t->row_text(23), "Fehler: vor Zeko liegt ein Hindernis !");
  EXPECT_EQ(t->row_text(24), "vorher.pas, Zeile 6: vor - vor Zeko liegt ein Hindernis (keine Welt geladen)");
  expect_restored(*t);
}

TEST_F(Learner, ProgramWithoutWarteLeavesTheScreenAsItIs) {
  auto t = run(pascal("ohne", program("initialisiere_die_Roboterwelt('welt.zko');\nvor;")));
  ASSERT_TRUE(shows(*t, "Lager:"));
  t->send(" ");
  ASSERT_TRUE(robot_at(*t, 2, 4, "v"));
  t->send(" ");
  EXPECT_EQ(t->wait_exit(), 0);
  EXPECT_EQ(t->row_text(1), kTitle);
  EXPECT_EQ(t->cell(row_of(4), col_of(2)).ch, "v");
  expect_restored(*t);
}

TEST_F(Learner, SecondStartReturnsToSingleStep) {
  put("zwei.zko", support::World().robot(7, 7, 0).text());
  auto t = run(pascal("zweimal", program("initialisiere_die_Roboterwelt('welt.zko');\nlinks;\n"
                                         "initialisiere_die_Roboterwelt('zwei.zko');\nlinks;\nwarte;")));
  ASSERT_TRUE(shows(*t, "Lager:"));
  t->send("x");  // Go for the first world
  ASSERT_TRUE(robot_at(*t, 7, 7, "v"));
  EXPECT_EQ(t->row_text(22), "zwei.zko");
  expect_waiting(*t);
  t->send(" ");
  ASSERT_TRUE(robot_at(*t, 7, 7, ">"));
  expect_waiting(*t);
  t->send(" ");
  ASSERT_TRUE(shows(*t, "FERTIG!"));
  t->send(" ");
  EXPECT_EQ(t->wait_exit(), 0);
  expect_restored(*t);
}

// Standard input at its end: the first pause reads #0 and switches to Go,
// WARTE finds the end of input and returns.
TEST_F(Learner, EndOfInputRunsThroughWithoutHanging) {
  zt::Options o;
  o.stdin_from_pipe = true;
  auto began = Clock::now();
  auto t = run(pascal("eof", program("initialisiere_die_Roboterwelt('welt.zko');\nvor;\nlinks;\nwarte;\n"
                                     "writeln('ende');")),
               o);
  EXPECT_EQ(t->wait_exit(), 0);
  EXPECT_GE(ms_since(began), 2 * kStepMs);
  EXPECT_EQ(t->screen_text(), "ende" + std::string(24, '\n'));
  expect_restored(*t);
}

// Output into a file: plain text without any control sequence, and the
// program runs to its end (input at its end as well).
TEST_F(Learner, OutputIntoAFileIsPlainText) {
  std::string prog = pascal("datei", program("initialisiere_die_Roboterwelt('welt.zko');\nvor;\nlinks;\nwarte;\n"
                                             "writeln('ende');"));
  std::string env;
  for (auto& e : learner_environment()) env += e + " ";
  std::string out;
  ASSERT_EQ(shell("env " + env + prog + " </dev/null >out.txt", &out), 0) << out;
  std::string text = dir_.read("out.txt");
  EXPECT_EQ(text.find('\033'), std::string::npos);
  for (const std::string& part : {kTitle, kHint, std::string("x= 2 y= 4"), std::string("FERTIG!")})
    EXPECT_NE(text.find(part), std::string::npos) << part;
  EXPECT_TRUE(text.ends_with("ende\n")) << text;
}

// Text output lands where the console's cursor stands: at the top of a fresh
// terminal, and on row 23 after a step; line input echoes and edits.
TEST_F(Learner, WritelnAndReadlnGoThroughTheConsole) {
  auto t = run(pascal("io", read_file(LEARNER_DIR "/io.pas")));
  ASSERT_TRUE(shows(*t, "Name?"));
  t->send("abX\177c\r");
  ASSERT_TRUE(shows(*t, "Zahl?"));
  t->send("21\r");
  ASSERT_TRUE(shows(*t, "Weiter mit Enter"));
  EXPECT_EQ(t->row_text(1), "Name? abc");
  EXPECT_EQ(t->row_text(2), "Zahl? 21");
  EXPECT_EQ(t->row_text(3), "abc/42");
  t->send("\r");
  ASSERT_TRUE(shows(*t, "Lager:"));
  t->send(" ");
  ASSERT_TRUE(shows(*t, "Lager:  2"));
  t->send(" ");
  ASSERT_TRUE(shows(*t, "FERTIG!"));
  EXPECT_EQ(t->row_text(23), "Eins Zwei Drei");
  EXPECT_EQ(t->row_text(24), kHint);
  t->send(" ");
  EXPECT_EQ(t->wait_exit(), 0);
  expect_restored(*t);
}

// A typed line longer than the text file's buffer reaches a long string
// whole, and the next line stays a line of its own.
TEST_F(Learner, LongInputLineIsNotCut) {
  auto t = run(pascal("lang",
                      "{$mode objfpc}{$H+}\nprogram lang;\nuses ZekoInc;\nvar s, t: string;\nbegin\n"
                      "  readln(s);\n  readln(t);\n  writeln(Length(s), ' ', Copy(s, 298, 3), ' ', t);\nend.\n"));
  // Typed once the console has started (its last start-up sequence is out).
  ASSERT_TRUE(settles_with(*t, [&] { return t->raw_output().find("\033[m") != std::string::npos; }));
  t->send(std::string(297, 'a') + "xyz\r" + "zweite\r");
  EXPECT_EQ(t->wait_exit(), 0);
  EXPECT_NE(t->screen_text().find("300 xyz zweite"), std::string::npos) << t->screen_text();
  expect_restored(*t);
}

// Black text is invisible on a dark terminal: ZEKO_FARBEN=dunkel, or auto
// with a dark background answered, shows it as white (bold default colour);
// auto without an answer and hell keep black. Red stays red.
TEST_F(Learner, DarkTerminalsShowBlackTextAsWhite) {
  std::string prog = pascal("farben", program("initialisiere_die_Roboterwelt('welt.zko');\nwarte;"));
  struct Case {
    const char* colours;
    const char* background;
    bool white;
  };
  for (const Case& c : {Case{"dunkel", "", true}, Case{"auto", "\033]11;rgb:0000/0000/0000\033\\", true},
                        Case{"auto", "\033]11;rgb:ffff/ffff/ffff\033\\", false}, Case{"auto", "", false},
                        Case{"hell", "", false}}) {
    SCOPED_TRACE(std::string(c.colours) + " " + c.background);
    zt::Options o;
    o.env_extra = {std::string("ZEKO_FARBEN=") + c.colours};
    o.background_answer = c.background;
    auto t = run(prog, o);
    ASSERT_TRUE(shows(*t, "Lager:"));
    EXPECT_EQ(t->cell(1, 1).fg, c.white ? -1 : 0);  // the title
    EXPECT_EQ(t->cell(1, 1).bold, c.white);
    EXPECT_EQ(t->cell(row_of(4), col_of(2)).fg, 4);  // an item
    t->send(" ");
    ASSERT_TRUE(shows(*t, "FERTIG!"));
    t->send(" ");
    EXPECT_EQ(t->wait_exit(), 0);
    expect_restored(*t);
    expect_default_colours_at_the_end(*t);
  }
}

// CPU time a process has used so far, in clock ticks.
long cpu_ticks(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), {});
  std::istringstream fields(text.substr(text.rfind(')') + 2));
  std::string f;
  long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && fields >> f; ++i) {
    if (i == 14) utime = std::stol(f);
    if (i == 15) stime = std::stol(f);
  }
  return utime + stime;
}

// A window smaller than 80 x 25 at start: the program says how big it is
// and waits, without spinning; made big enough, it starts as usual (WARTE's
// "FERTIG!" on row 25); Esc, Ctrl-C or the end of input end it with status 1.
TEST_F(Learner, SmallWindowWaitsUntilItIsBigEnough) {
  std::string prog = pascal("klein", program("initialisiere_die_Roboterwelt('welt.zko');\nwarte;"));
  struct Case {
    int rows, cols;
    std::string key;  // empty: the window is made big enough
  };
  for (const Case& c : {Case{20, 60, ""}, Case{24, 80, "\033"}, Case{25, 79, "\003"}}) {
    std::string size = std::to_string(c.cols) + " x " + std::to_string(c.rows);
    SCOPED_TRACE(size);
    zt::Options o;
    o.rows = c.rows;
    o.cols = c.cols;
    auto t = run(prog, o);
    ASSERT_TRUE(shows(*t, "Das Fenster ist nur " + size + " Zeichen gross.")) << t->screen_text();
    EXPECT_NE(t->screen_text().find("mindestens 80 x 25"), std::string::npos) << t->screen_text();
    expect_waiting(*t);
    long ticks = cpu_ticks(t->pid());
    t->pump(400);
    EXPECT_LE(cpu_ticks(t->pid()) - ticks, 5) << "waiting must not spin";
    t->send("x");  // other keys do nothing
    if (!c.key.empty()) {
      t->send(c.key);
      EXPECT_EQ(t->wait_exit(), 1);
      EXPECT_EQ(t->raw_output().find(kTitle), std::string::npos);
      expect_restored(*t);
      continue;
    }
    t->resize(22, 70);
    ASSERT_TRUE(shows(*t, "Das Fenster ist nur 70 x 22 Zeichen gross.")) << t->screen_text();
    t->resize(25, 80);
    ASSERT_TRUE(shows(*t, "Lager:")) << t->screen_text();
    EXPECT_EQ(t->row_text(1), kTitle);
    EXPECT_EQ(t->screen_text().find("Fenster"), std::string::npos);
    t->send(" ");
    ASSERT_TRUE(shows(*t, "FERTIG!"));
    EXPECT_EQ(t->row_text(25), "FERTIG!");
    t->send(" ");
    EXPECT_EQ(t->wait_exit(), 0);
    expect_restored(*t);
  }
  zt::Options piped;
  piped.rows = 20;
  piped.cols = 60;
  piped.stdin_from_pipe = true;
  auto t = run(prog, piped);
  EXPECT_EQ(t->wait_exit(), 1) << "the end of input ends the wait";
  expect_restored(*t);
}

// The unit works in every language mode, and the names in any case. The
// robot walks to the obstacle, turns, finds its field empty and puts an item
// down; the program's own line stands on row 23.
void expect_walked_to_the_obstacle(zt::Terminal& t, const std::string& row23) {
  ASSERT_TRUE(shows(t, "Lager:"));
  t.send("x");
  ASSERT_TRUE(shows(t, "FERTIG!"));
  EXPECT_EQ(t.cell(row_of(5), col_of(2)).ch, ">");
  EXPECT_EQ(status(t, 3), "x= 2 y= 5");
  EXPECT_EQ(status(t, 6), "Vor.:   4");
  EXPECT_EQ(status(t, 9), "Lager:  1");
  EXPECT_EQ(t.row_text(23), row23);
  t.send(" ");
  EXPECT_EQ(t.wait_exit(), 0);
  expect_restored(t);
}

class PascalMode : public Learner, public ::testing::WithParamInterface<std::string> {};

TEST_P(PascalMode, UnitServesProgramsWrittenInMixedCase) {
  auto t = run(pascal("modes", read_file(LEARNER_DIR "/modes.pas"), GetParam()));
  expect_walked_to_the_obstacle(*t, "nicht am Anfang");
}

INSTANTIATE_TEST_SUITE_P(Modes, PascalMode, ::testing::Values("", "-Mtp", "-Mobjfpc", "-Mdelphi"),
                         [](const auto& info) { return info.param.empty() ? "default" : info.param.substr(2); });

// zekoc passes fpc's German messages (UTF-8 whatever the locale), unless
// the learner names a message file of their own.
TEST_F(Learner, ZekocSpeaksGermanUnlessTheLearnerChoosesOtherMessages) {
  put("kaputt.pas", "program kaputt;\nbegin\n  writeln(x);\nend.\n");
  const std::string english = "-Fr\"$(dirname \"$(readlink -f \"$(command -v \"$(fpc -PB)\")\")\")/msg/errore.msg\"";
  for (auto [options, expected] : {std::pair<std::string, std::string>{"", "kaputt.pas(3,11) Fehler: Bezeichner"},
                                   {english, "kaputt.pas(3,11) Error: Identifier not found"}}) {
    SCOPED_TRACE(options);
    std::string out;
    EXPECT_EQ(shell("LC_ALL=C " + std::string(ZEKOC_PATH) + " " + options + " kaputt.pas", &out), 1);
    EXPECT_NE(out.find(expected), std::string::npos) << out;
    if (options.empty()) {
      EXPECT_NE(out.find("\xc3\x9c" "bersetze kaputt.pas"), std::string::npos) << out;
    }
  }
}

// zekoc takes the unit precompiled by the build only where it fits, and no
// unit in its folder or the learner's ever breaks a compile: an installed
// layout (bin/zekoc, lib/zeko/) whose unit folder `change` alters; the
// program still compiles and runs, the unit compiled from its source where
// the row says so.
struct UnitRow {
  std::string name;
  std::string change;   // shell commands in the unit folder
  std::string options;  // for zekoc
  bool recompiled;
};

class PrecompiledUnit : public Learner, public ::testing::WithParamInterface<UnitRow> {};

TEST_P(PrecompiledUnit, NeverBreaksACompile) {
  const UnitRow& r = GetParam();
  std::string out;
  ASSERT_EQ(shell("mkdir -p 'inst/bin' 'inst/lib/zeko' && cp " ZEKOC_PATH " inst/bin/ && ln -s '" ZEKOINC_LIB_DIR
                  "/libzekoinc.so' inst/lib/zeko/ && cp -p '" ZEKO_UNIT_DIR "'/* inst/lib/zeko/ && cd inst/lib/zeko && " +
                      r.change,
                  &out),
            0)
      << out;
  put("eigen.pas", program("initialisiere_die_Roboterwelt('welt.zko');\nvor;\nwarte;"));
  ASSERT_EQ(shell("inst/bin/zekoc " + r.options + " eigen.pas", &out), 0) << out;
  EXPECT_EQ(out.find("zekoinc.pas") != std::string::npos, r.recompiled) << out;  // fpc names what it compiles
  std::string env;
  for (const std::string& e : learner_environment()) env += e + " ";
  EXPECT_EQ(shell(env + "./eigen </dev/null >/dev/null"), 0);
  EXPECT_FALSE(fs::exists(dir_ / "eigen.o")) << "object files stay out of the learner's folder";
}

INSTANTIATE_TEST_SUITE_P(
    Units, PrecompiledUnit,
    ::testing::Values(UnitRow{"AsBuilt", "true", "", false},
                      UnitRow{"MadeWithOtherOptions", "fpc -O- -g- -Cr -Sa -dANDERS -FU. zekoinc.pas >/dev/null", "", false},
                      UnitRow{"Corrupt", "echo kaputt >zekoinc.ppu", "", true},
                      UnitRow{"OlderThanItsSource", "touch zekoinc.pas", "", true},
                      UnitRow{"ByAnotherCompiler", "echo '2.6.4 x86_64-linux' >zekoinc.stamp && echo kaputt >zekoinc.ppu", "",
                              true},
                      UnitRow{"LearnersOwnOptionForTheUnit", "true", "-dANDERS", true},
                      UnitRow{"LearnersProcessorForTheUnit", "true", "-CpCOREI", true},
                      UnitRow{"LearnersSmartLinkingForTheUnit", "true", "-CX", true},
                      UnitRow{"WithoutItsObjectFile", "rm zekoinc.o", "", true},
                      UnitRow{"OldUnitInTheLearnersFolder", "cd ../../.. && echo kaputt >zekoinc.pas && echo kaputt >zekoinc.ppu",
                              "", false}),
    [](const auto& info) { return info.param.name; });

TEST_F(Learner, CxxProgramUsesTheSameLibrary) {
  const std::string file = "welt_fuer_ein_cpp_programm_mit_langem_namen_0123456";
  put(file.substr(0, 50), kWorld);
  auto t = run(cxx("lerner", read_file(LEARNER_DIR "/learner.cpp")), {}, {file});
  ASSERT_TRUE(shows(*t, "Lager:"));
  EXPECT_EQ(t->row_text(22), file.substr(0, 12));
  expect_walked_to_the_obstacle(*t, "");
}

}  // namespace
