// End-to-end tests of the world editor, each in a fresh working directory,
// on a pty with an emulated terminal.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "files.h"
#include "modes.h"
#include "pty_terminal.h"
#include "screen_text.h"
#include "temp_dir.h"
#include "world_text.h"

namespace fs = std::filesystem;

namespace {

using support::blank_screen;
using support::cells;
using support::read_file;
using support::repeat;
using support::restored;
using support::settles_with;
using support::shows;
using support::status;
using support::World;
using support::write_file;

const char* kUp = "\033[A";
const char* kDown = "\033[B";
const char* kRight = "\033[C";
const char* kLeft = "\033[D";
// As the screen shows it: the blank at its end is not visible.
const char* kQuestion = "Wie viele Gegenstaende soll ZEKO bei sich fuehren ?";

// A working directory with the template world, readable by everybody.
struct WorkDir : support::TempDir {
  WorkDir() { fs::copy_file(TEMPLATE_WORLD, *this / "welt0.zko"); }
  bool has_temp_file() const { return has_name_starting(".zeko-"); }
};

std::unique_ptr<zt::Terminal> start(const WorkDir& dir, zt::Options o = {}, std::vector<std::string> argv = {ZEKOEDIT_PATH}) {
  o.cwd = dir.path();
  return std::make_unique<zt::Terminal>(argv, o);
}

// Types the world name; a new world also gets its key after the message.
void open_world(zt::Terminal& t, const std::string& name, bool is_new) {
  ASSERT_TRUE(shows(t, "Name der Roboterwelt:")) << t.screen_text();
  t.send(name + "\r");
  if (is_new) {
    ASSERT_TRUE(shows(t, "Neue Datei !  [RETURN]")) << t.screen_text();
    t.send("\r");
  }
  ASSERT_TRUE(shows(t, "Lager:")) << t.screen_text();
}

// Sends keys and waits until the robot has been drawn on field (x, y).
void walk(zt::Terminal& t, const std::string& keys, int x, int y) {
  char position[16];
  std::snprintf(position, sizeof position, "x=%2d y=%2d", x, y);
  t.send(keys);
  ASSERT_TRUE(settles_with(t, [&] {
    return status(t, 3) == position && t.cell(2 * y + 2, 4 * x + 3).ch == "X" && t.cursor() == std::make_pair(1, 24);
  })) << t.screen_text();
}

void press(zt::Terminal& t, const std::string& keys, int row, const std::string& shown) {
  t.send(keys);
  ASSERT_TRUE(settles_with(t, [&] { return status(t, row) == shown; })) << keys << "\n" << t.screen_text();
}

TEST(Zekoedit, NewWorldFromTemplateIsWalkedAndSaved) {
  WorkDir dir;
  std::string template_before = read_file(dir / "welt0.zko");
  auto t = start(dir);
  ASSERT_TRUE(shows(*t, "Name der Roboterwelt:"));
  EXPECT_EQ(t->row_text(1), "Programm zur Bearbeitung von ZEKO-Welten    -     Autor: Dr. Mervalin");
  t->send("neu.zko\r");
  ASSERT_TRUE(shows(*t, "Neue Datei !  [RETURN]"));
  EXPECT_EQ(t->row_text(5), "Neue Datei !  [RETURN]");
  EXPECT_EQ(t->cell(5, 1).fg, 4);
  t->send("x");
  ASSERT_TRUE(settles_with(*t, [&] { return t->cell(2, 3).ch == "X"; })) << t->screen_text();  // the robot comes last

  // The static screen, shown under the typed name.
  EXPECT_EQ(t->row_text(1).substr(0, 69),
            std::string(11, '*') + " ZEKO, DER ROBOTER  -----  Autor: Dr.Mervalin " + std::string(12, '*'));
  EXPECT_EQ(t->cell(1, 1).fg, 0);  // a new world draws in black
  EXPECT_EQ(t->row_text(22), "Steuerung von ZEKO mit: PFEILTASTEN, LEERTASTE, n(imm), g(ib), e(nde)");
  EXPECT_EQ(t->row_text(24), std::string(29, ' ') + "neu.zko");
  EXPECT_EQ(t->cell(24, 30).fg, 4);
  EXPECT_EQ(status(*t, 6), "Vor.:1000");
  EXPECT_EQ(status(*t, 9), "Lager:   0");
  EXPECT_EQ(t->cell(2, 3).ch, "X");
  EXPECT_EQ(t->cell(2, 3).fg, 2);

  walk(*t, repeat(kRight, 3) + repeat(kDown, 5), 3, 5);
  EXPECT_EQ(t->cell(12, 15).ch, "X");
  EXPECT_EQ(t->cell(2, 3).ch, " ");

  t->send("e");
  ASSERT_TRUE(shows(*t, kQuestion));
  EXPECT_EQ(t->row_text(1), kQuestion);
  EXPECT_EQ(t->cursor(), std::make_pair(53, 1));
  t->send("7\r");
  ASSERT_EQ(t->wait_exit(), 0) << t->screen_text();

  World want;
  want.supply = 7, want.x = 3, want.y = 5;
  std::string saved = read_file(dir / "neu.zko");
  EXPECT_EQ(saved, want.text());
  EXPECT_EQ(saved.substr(saved.size() - 11), "7\n   3   5\n");
  EXPECT_EQ(read_file(dir / "welt0.zko"), template_before);
  EXPECT_TRUE(blank_screen(*t)) << t->screen_text();
  EXPECT_TRUE(restored(*t));
}

TEST(Zekoedit, RobotOnlyTurnsAtEveryBorder) {
  WorkDir dir;
  auto t = start(dir);
  open_world(*t, "rand.zko", true);
  // Up and left are refused at (0, 0); the robot still faces down afterwards.
  walk(*t, std::string(kUp) + kLeft + kDown, 0, 1);
  walk(*t, repeat(kRight, 16) + repeat(kDown, 8), 16, 9);
  walk(*t, std::string(kRight) + kDown + kUp, 16, 8);
  std::string screen = t->screen_text();
  EXPECT_EQ(std::count(screen.begin(), screen.end(), 'X'), 1) << screen;
  EXPECT_EQ(t->cell(18, 67).ch, "X");
  t->send("e");
  ASSERT_TRUE(shows(*t, kQuestion));
  t->send("0\r");
  ASSERT_EQ(t->wait_exit(), 0);
  World want;
  want.x = 16, want.y = 8;
  EXPECT_EQ(read_file(dir / "rand.zko"), want.text());
}

TEST(Zekoedit, ObstaclesAndItemsOnAnExistingWorld) {
  WorkDir dir;
  World old;
  old.at(1, 0, 3);
  old.at(2, 0, 2);
  old.supply = 5;
  write_file(dir / "alt.zko", old.text());
  auto t = start(dir);
  open_world(*t, "alt.zko", false);
  EXPECT_EQ(t->cell(1, 1).fg, -1);  // an existing world is drawn in the colours found at start
  EXPECT_EQ(status(*t, 6), "Vor.:1000");

  walk(*t, kRight, 1, 0);
  press(*t, "n", 9, "Lager:   2");
  EXPECT_EQ(status(*t, 6), "Vor.:1001");
  press(*t, " ", 9, "Lager:  -1");  // the items are lost
  EXPECT_EQ(status(*t, 6), "Vor.:1001");
  walk(*t, kLeft, 0, 0);
  EXPECT_EQ(cells(*t, 2, 6, 8), "***");
  EXPECT_EQ(t->cell(2, 7).fg, 1);
  walk(*t, kRight, 1, 0);
  EXPECT_EQ(cells(*t, 2, 6, 8), "*X*");
  press(*t, " ", 9, "Lager:   0");
  walk(*t, kLeft, 0, 0);
  EXPECT_EQ(cells(*t, 2, 6, 8), "   ");
  walk(*t, kRight, 1, 0);

  t->send("n");
  ASSERT_TRUE(shows(*t, "Fehler! Auf dem Feld liegt nichts!"));
  EXPECT_EQ(t->row_text(24), "Fehler! Auf dem Feld liegt nichts!");
  EXPECT_EQ(t->cell(24, 1).bg, 4);
  EXPECT_EQ(t->cell(24, 69).bg, 4);
  EXPECT_EQ(t->cell(24, 1).fg, 2);

  press(*t, " ", 9, "Lager:  -1");
  press(*t, "g", 9, "Lager:   0");  // "g" on the robot's own obstacle empties it
  EXPECT_EQ(status(*t, 6), "Vor.:1000");
  EXPECT_EQ(t->cell(9, 71).bg, 4);  // the red background stays
  press(*t, "G", 9, "Lager:   1");
  press(*t, "N", 9, "Lager:   0");
  EXPECT_EQ(status(*t, 6), "Vor.:1000");
  press(*t, " ", 9, "Lager:  -1");

  t->send("E");  // ends on the obstacle
  ASSERT_TRUE(shows(*t, kQuestion));
  EXPECT_EQ(t->cell(1, 1).bg, 4);
  t->send("-3\r");
  ASSERT_EQ(t->wait_exit(), 0);
  World want = old;
  want.at(1, 0, -1);
  want.supply = -3, want.x = 1;
  EXPECT_EQ(read_file(dir / "alt.zko"), want.text());
}

TEST(Zekoedit, GiveUntilTheWorkingSupplyIsEmpty) {
  WorkDir dir;
  auto t = start(dir);
  open_world(*t, "voll.zko", true);
  press(*t, repeat("g", 1000), 9, "Lager:1000");
  EXPECT_EQ(status(*t, 6), "Vor.:   0");
  t->send("g");
  ASSERT_TRUE(shows(*t, "Fehler! Zekos Tasche ist leer !"));
  EXPECT_EQ(t->cell(24, 1).bg, 4);
  walk(*t, kDown, 0, 1);
  EXPECT_EQ(cells(*t, 2, 2, 4), " o ");
  t->send("e");
  ASSERT_TRUE(shows(*t, kQuestion));
  t->send("0\r");
  ASSERT_EQ(t->wait_exit(), 0);
  World want;
  want.at(0, 0, 1000);
  want.y = 1;
  EXPECT_EQ(read_file(dir / "voll.zko"), want.text());
}

TEST(Zekoedit, OtherKeysDoNothingAndEndCanBeASpecialKeyCode) {
  WorkDir dir;
  auto t = start(dir);
  open_world(*t, "tasten.zko", true);
  walk(*t, std::string(kRight) + kDown, 1, 1);
  auto rows_1_to_23 = [&] {
    std::string s;
    for (int row = 1; row <= 23; ++row) s += t->row_text(row) + "\n";
    return s;
  };
  std::string before = rows_1_to_23();
  // Home, End, page keys, Insert, Delete, F1 and plain letters; the
  // refused "n" after them shows when they have all been read.
  t->send("\033[H\033[4~\033[5~\033[6~\033[2~\033[3~\033OPxvHPn");
  ASSERT_TRUE(shows(*t, "Fehler! Auf dem Feld liegt nichts!"));
  EXPECT_EQ(rows_1_to_23(), before);
  walk(*t, kDown, 1, 2);
  t->send(std::string("\0e", 2));
  ASSERT_TRUE(shows(*t, kQuestion)) << t->screen_text();
  t->send("1\r");
  ASSERT_EQ(t->wait_exit(), 0);
  World want;
  want.supply = 1, want.x = 1, want.y = 2;
  EXPECT_EQ(read_file(dir / "tasten.zko"), want.text());
}

TEST(Zekoedit, DialogAsksAgainForAnEmptyNameAndCutsLongNames) {
  WorkDir dir;
  std::string long_name = std::string(55, 'w') + ".zko";
  auto t = start(dir);
  ASSERT_TRUE(shows(*t, "Name der Roboterwelt:"));
  t->send("\r");
  ASSERT_TRUE(settles_with(*t, [&] { return t->row_text(4) == "Name der Roboterwelt:"; })) << t->screen_text();
  open_world(*t, long_name, true);
  EXPECT_EQ(t->row_text(24), std::string(29, ' ') + long_name.substr(0, 50));
  t->send("e");
  ASSERT_TRUE(shows(*t, kQuestion));
  t->send("2\r");
  ASSERT_EQ(t->wait_exit(), 0);
  World want;
  want.supply = 2;
  EXPECT_EQ(read_file(dir / long_name.substr(0, 50)), want.text());
}

TEST(Zekoedit, BadSupplyAnswersAreAskedAgain) {
  WorkDir dir;
  World old;
  old.supply = 9;
  write_file(dir / "alt.zko", old.text());
  auto t = start(dir);
  open_world(*t, "alt.zko", false);
  t->send("e");
  ASSERT_TRUE(shows(*t, kQuestion));
  t->send("\r");  // Enter alone keeps waiting
  ASSERT_TRUE(t->settle());
  EXPECT_EQ(t->row_text(2), "");
  for (const char* bad : {"abc", "40000", "12x"}) {
    t->send(std::string(bad) + "\r");
    ASSERT_TRUE(shows(*t, std::string(bad) + "\nBitte eine ganze Zahl von -32768 bis 32767 eingeben !\n" +
                                 std::string(kQuestion).substr(0, 10)))
        << t->screen_text();
  }
  EXPECT_EQ(t->cell(3, 1).fg, 4);
  EXPECT_EQ(read_file(dir / "alt.zko"), old.text());  // untouched while the question is open
  t->send("-32768\r");
  ASSERT_EQ(t->wait_exit(), 0);
  World want;
  want.supply = -32768;
  EXPECT_EQ(read_file(dir / "alt.zko"), want.text());
}

// Piped input that holds a whole session saves the world (the ends of
// input that save nothing are rows of the table of ends).
TEST(Zekoedit, PipedInputWithAWholeSessionSaves) {
  WorkDir dir;
  zt::Options o;
  o.stdin_from_pipe = true;
  o.stdin_bytes = "neu.zko\n\r\033[C e\n5\n";
  auto t = start(dir, o);
  ASSERT_EQ(t->wait_exit(), 0) << t->screen_text();
  World want;
  want.at(1, 0, -1);
  want.supply = 5, want.x = 1;
  EXPECT_EQ(read_file(dir / "neu.zko"), want.text());
}

// Esc while the editor waits for a big enough window ends it, nothing saved.
TEST(Zekoedit, SmallWindowEndsWithEsc) {
  WorkDir dir;
  zt::Options o;
  o.rows = 24;
  o.cols = 80;
  auto t = start(dir, o);
  ASSERT_TRUE(shows(*t, "Das Fenster ist nur 80 x 24 Zeichen gross.")) << t->screen_text();
  t->send("\033");
  EXPECT_EQ(t->wait_exit(), 1);
  EXPECT_EQ(t->raw_output().find("Name der Roboterwelt"), std::string::npos);
  EXPECT_EQ(dir.names(), std::vector<std::string>{"welt0.zko"});
  EXPECT_TRUE(restored(*t));
}

// The template found nowhere: here, in ZEKO_WELTEN or among the installed
// worlds (an installed tree whose world folder is empty; the build tree's
// programs take the source tree's examples).
TEST(Zekoedit, MissingTemplateIsRuntimeError2) {
  WorkDir dir;
  fs::remove(dir / "welt0.zko");
  fs::create_directories(dir / "usr" / "bin");
  fs::create_directories(dir / "usr" / "share" / "zeko" / "welten");
  fs::copy_file(ZEKOEDIT_PATH, dir / "usr" / "bin" / "zekoedit");
  auto t = start(dir, {}, {(dir / "usr" / "bin" / "zekoedit").string()});
  ASSERT_TRUE(shows(*t, "Name der Roboterwelt:"));
  t->send("neu.zko\r");
  ASSERT_TRUE(shows(*t, "Neue Datei !  [RETURN]"));
  t->send("\r");
  EXPECT_EQ(t->wait_exit(), 2);
  EXPECT_NE(t->screen_text().find("Runtime error 2"), std::string::npos) << t->screen_text();
  EXPECT_NE(t->screen_text().find("welt0.zko"), std::string::npos);
}

// Worlds and the template that are not in the working folder come from the
// folders of ZEKO_WELTEN, a task's start world by its name from the task
// collection; the world is saved under the typed name here, never there.
TEST(Zekoedit, TemplateAndWorldsComeFromZekoWelten) {
  World vorlage, lehrer, probe;
  vorlage.at(1, 0, -1);
  lehrer.at(2, 2, 5), lehrer.supply = 9, lehrer.x = 4, lehrer.y = 4;
  probe.at(3, 3, -1), probe.supply = 2, probe.x = 6, probe.y = 1;
  struct Case {
    const char* what;
    std::string name;
    bool fifo_here;
    bool is_new;
    World saved;
  };
  World from_template = vorlage, from_lehrer = lehrer, from_probe = probe;
  from_template.supply = from_lehrer.supply = from_probe.supply = 3;
  for (const Case& c : {Case{"a new world from the folder's template", "neu.zko", false, true, from_template},
                        Case{"a teacher's world, saved here", "lehrer.zko", false, false, from_lehrer},
                        Case{"a FIFO here is a new world", "rohr.zko", true, true, from_template},
                        Case{"a task's start world, saved here", "probe-1", false, false, from_probe},
                        Case{"never its goal world", "probe-ziel1", false, true, from_template}}) {
    SCOPED_TRACE(c.what);
    WorkDir dir;
    fs::remove(dir / "welt0.zko");
    fs::create_directory(dir / "welten");
    write_file(dir / "welten" / "welt0.zko", vorlage.text());
    write_file(dir / "welten" / "lehrer.zko", lehrer.text());
    fs::create_directories(dir / "sammlung" / "07-probe");
    write_file(dir / "sammlung" / "07-probe" / "aufgabe.txt", "Probe\n");
    write_file(dir / "sammlung" / "07-probe" / "start1.zko", probe.text());
    write_file(dir / "sammlung" / "07-probe" / "ziel1.zko", lehrer.text());
    if (c.fifo_here) {
      ASSERT_EQ(mkfifo((dir / c.name).c_str(), 0644), 0);
    }
    zt::Options o;
    o.env_extra = {"ZEKO_WELTEN=" + (dir / "fehlt").string() + ":welten", "ZEKO_AUFGABEN=sammlung"};
    auto t = start(dir, o);
    open_world(*t, c.name, c.is_new);
    t->send("e");
    ASSERT_TRUE(shows(*t, kQuestion));
    t->send("3\r");
    ASSERT_EQ(t->wait_exit(), 0) << t->screen_text();
    EXPECT_EQ(read_file(dir / c.name), c.saved.text());
    EXPECT_EQ(read_file(dir / "welten" / "lehrer.zko"), lehrer.text());
    EXPECT_EQ(read_file(dir / "sammlung" / "07-probe" / "start1.zko"), probe.text());
    EXPECT_FALSE(fs::exists(dir / "welt0.zko"));
  }
}

// --help and --version answer on the terminal and end: no raw mode, no
// dialog, no file. Other arguments are ignored as before.
TEST(Zekoedit, AllThreeProgramsAnswerHelpAndVersion) {
  struct Case {
    const char* program;
    std::vector<std::string> args;
    std::string shown;
  };
  for (const Case& c : {Case{ZEKOEDIT_PATH, {"--help"}, "Aufruf: zekoedit [--help | --version]"},
                        Case{ZEKOEDIT_PATH, {"--version"}, "zekoedit (Zeko) "},
                        Case{ZEKOPROG_PATH, {"egal", "--help"}, "Aufruf: zekoprog [--help | --version]"},
                        Case{ZEKOPROG_PATH, {"--version"}, "zekoprog (Zeko) "},
                        Case{ZEKOC_PATH, {"--help"}, "Aufruf: zekoc [fpc-Optionen] PROGRAMM.pas"},
                        Case{ZEKOC_PATH, {"--help"}, "Welten und Aufgaben auf Deutsch: man 7 zeko"},
                        Case{ZEKOC_PATH, {"--version"}, "zekoc (Zeko) "},
                        Case{ZEKOEDIT_PATH, {"egal"}, "Name der Roboterwelt:"}}) {
    std::vector<std::string> argv = c.args;
    argv.insert(argv.begin(), c.program);
    SCOPED_TRACE(argv.back());
    WorkDir dir;
    auto t = start(dir, {}, argv);
    ASSERT_TRUE(shows(*t, c.shown)) << t->screen_text();
    if (c.shown == "Name der Roboterwelt:") continue;  // the dialog as always
    EXPECT_EQ(t->wait_exit(), 0);
    EXPECT_EQ(t->raw_output().find('\033'), std::string::npos) << "no terminal sequences";
    EXPECT_TRUE(restored(*t));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1) << "only welt0.zko";
  }
}

TEST(Zekoedit, TargetThatMayNotBeWrittenIsError5) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to run the editor as nobody";
  World old;
  old.at(3, 3, 2);
  // A file the user may not write, and a new file in a folder the user may not write.
  for (std::string name : {"alt.zko", "neu.zko"}) {
    SCOPED_TRACE(name);
    WorkDir dir;
    write_file(dir / "alt.zko", old.text());
    chmod((dir / "alt.zko").c_str(), 0644);
    auto t = start(dir, {}, {"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", ZEKOEDIT_PATH});
    open_world(*t, name, name == "neu.zko");
    t->send(std::string(kDown) + " e");
    EXPECT_EQ(t->wait_exit(), 5) << t->screen_text();
    EXPECT_NE(t->screen_text().find("Runtime error 5"), std::string::npos) << t->screen_text();
    EXPECT_EQ(read_file(dir / "alt.zko"), old.text());
    EXPECT_FALSE(fs::exists(dir / "neu.zko"));
    EXPECT_FALSE(dir.has_temp_file());
    EXPECT_TRUE(restored(*t));
  }
}

TEST(Zekoedit, SavedWorldLoadsInTheRecorder) {
  if (!fs::exists(ZEKOPROG_PATH)) GTEST_SKIP() << "zekoprog not built";
  WorkDir dir;
  auto t = start(dir);
  open_world(*t, "weg.zko", true);
  walk(*t, std::string(" ") + kRight + "ggg" + kRight + " " + kDown + "g" + kRight + repeat(kDown, 4), 3, 5);
  std::string edited = t->screen_text();
  t->send("e");
  ASSERT_TRUE(shows(*t, kQuestion));
  t->send("4\r");
  ASSERT_EQ(t->wait_exit(), 0);

  auto p = start(dir, {}, {ZEKOPROG_PATH});
  ASSERT_TRUE(shows(*p, "Name der Roboterwelt:"));
  p->send("weg.zko\r");
  ASSERT_TRUE(shows(*p, "Name der Programmdatei:"));
  p->send("weg.pas\r");
  ASSERT_TRUE(shows(*p, "Lager:")) << p->screen_text();
  EXPECT_EQ(status(*p, 3), "x= 3 y= 5");
  EXPECT_EQ(status(*p, 6), "Vor.:   4");
  std::string loaded = p->screen_text();
  // Rows 2 to 20 hold the grid; only the robot's glyph differs.
  auto grid = [](std::string s) {
    std::istringstream in(s);
    std::string line, out;
    for (int row = 1; std::getline(in, line); ++row)
      if (row >= 2 && row <= 20) out += line.substr(0, 69) + "\n";
    return out;
  };
  std::string a = grid(edited), b = grid(loaded);
  std::size_t glyph = 10 * 70 + 14;  // row 12 (the 11th grid row), column 15
  ASSERT_EQ(a.size(), b.size());
  EXPECT_EQ(a[glyph], 'X');
  a[glyph] = b[glyph];
  EXPECT_EQ(a, b);
  p->send("e");
  EXPECT_EQ(p->wait_exit(), 0);
}

}  // namespace
