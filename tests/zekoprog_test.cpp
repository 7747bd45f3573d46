// End-to-end checks of the recorder: the dialog and the keys are typed on a
// pty, and the program file it leaves is compared byte for byte.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "learner_env.h"
#include "files.h"
#include "modes.h"
#include "pty_terminal.h"
#include "screen_text.h"
#include "temp_dir.h"
#include "world_text.h"

namespace fs = std::filesystem;

namespace {

using support::blank_screen;
using support::restored;
using support::settles_with;
using support::shows;

const std::string kTitle = "Programm zur manuellen Steuerung von ZEKO   -----   Autor: Dr. Horlo Mervolin";
const std::string kMissing = "Diese Datei gibt es nicht !  [RETURN]";
const std::string kHelpLine = "Steuerung von ZEKO mit:   v(or)   l(links)   n(imm)    g(ib)   e(nde)";

// Obstacle on (0,0), two items on (1,0), the robot on (2,0) with 3 in its bag.
std::string sample_world() { return support::World().at(0, 0, -1).at(1, 0, 2).robot(2, 0, 3).text(); }

std::string program(const std::string& world, const std::string& statements, bool mepp_comment = true) {
  return std::string("PROGRAM mepp;\n") + (mepp_comment ? "{ MEIN ERSTES PASCAL-PROGRAMM }\n" : "") +
         "USES ZekoInc;\nBEGIN\ninitialisiere_die_Roboterwelt('" + world +
         "');\n\n{ BEGINN DES ZEKO-STEUERPROGRAMMS }\n\n" + statements +
         "\n{ ENDE  DES  ZEKO-STEUERPROGRAMMS }\n\nwarte;\nEND.\n";
}

class Recorder : public ::testing::Test {
 protected:
  void SetUp() override { put("welt.zko", sample_world()); }

  void put(const std::string& name, const std::string& text) { dir_.put(name, text); }
  std::string file(const std::string& name) const { return dir_.read(name); }
  std::vector<std::string> files() const { return dir_.names(); }

  zt::Options options() const {
    zt::Options o;
    o.cwd = dir_.path();
    o.env_extra = env_;
    return o;
  }
  std::unique_ptr<zt::Terminal> start(zt::Options o, std::vector<std::string> argv = {ZEKOPROG_PATH}) {
    return std::make_unique<zt::Terminal>(argv, o);
  }
  std::unique_ptr<zt::Terminal> start() { return start(options()); }

  // Types both names and waits until the world is drawn completely.
  std::unique_ptr<zt::Terminal> started_on(const std::string& world, const std::string& program_file) {
    auto t = start();
    EXPECT_TRUE(shows(*t, "Name der Roboterwelt:")) << t->screen_text();
    t->send(world + "\r");
    EXPECT_TRUE(shows(*t, "Name der Programmdatei:")) << t->screen_text();
    t->send(program_file + "\r");
    // The robot's first redraw writes the status panel and ends by blanking
    // columns 1 to 69 of row 24, where the world name was shown from column 30.
    EXPECT_TRUE(settles_with(*t, [&] {
      return t->row_text(9).find("Lager:") != std::string::npos &&
             t->row_text(24).substr(0, 69).find_first_not_of(' ') == std::string::npos;
    })) << t->screen_text();
    return t;
  }

  // The whole run: names, keys, and the file it leaves.
  std::string recorded(const std::string& world, const std::string& program_file, const std::string& keys) {
    auto t = started_on(world, program_file);
    t->send(keys);
    EXPECT_EQ(t->wait_exit(), 0) << t->screen_text();
    EXPECT_TRUE(restored(*t));
    return file(program_file);
  }

  support::TempDir dir_;  // readable by all: the permission test runs as nobody
  std::vector<std::string> env_;
};

TEST_F(Recorder, RecordsTheTypicalRoad) {
  auto t = started_on("welt.zko", "mepp.pas");
  t->send("vvle");
  ASSERT_EQ(t->wait_exit(), 0) << t->screen_text();
  EXPECT_EQ(file("mepp.pas"), program("welt.zko", "vor;\nvor;\nlinks;\n"));
  // The end: a cleared screen and the terminal as it was.
  EXPECT_TRUE(blank_screen(*t)) << t->screen_text();
  EXPECT_EQ(t->cursor(), std::make_pair(1, 1));
  EXPECT_TRUE(restored(*t));
}

// A world that is not in the working folder comes from ZEKO_WELTEN; the
// program names it as typed, so it finds it the same way.
TEST_F(Recorder, WorldFromZekoWeltenIsRecordedAsTyped) {
  fs::create_directory(dir_ / "lehrer");
  fs::rename(dir_ / "welt.zko", dir_ / "lehrer" / "welt.zko");
  env_ = {"ZEKO_WELTEN=" + (dir_ / "lehrer").string()};
  EXPECT_EQ(recorded("welt.zko", "mepp.pas", "vle"), program("welt.zko", "vor;\nlinks;\n"));
  EXPECT_EQ(files(), (std::vector<std::string>{"lehrer", "mepp.pas"}));
  // A task's start world by its name: the program names it the same way.
  fs::create_directories(dir_ / "sammlung" / "03-probe");
  fs::rename(dir_ / "lehrer" / "welt.zko", dir_ / "sammlung" / "03-probe" / "start2.zko");
  fs::copy_file(dir_ / "sammlung" / "03-probe" / "start2.zko", dir_ / "sammlung" / "03-probe" / "ziel2.zko");
  support::write_file(dir_ / "sammlung" / "03-probe" / "aufgabe.txt", "Probe\n");
  env_ = {"ZEKO_AUFGABEN=sammlung"};
  EXPECT_EQ(recorded("probe-2", "aufgabe.pas", "vle"), program("probe-2", "vor;\nlinks;\n", false));
}

TEST_F(Recorder, EndAsFirstKeyLeavesAnEmptyStatementBlock) {
  EXPECT_EQ(recorded("welt.zko", "mepp.pas", "e"), program("welt.zko", ""));
}

TEST_F(Recorder, UpperCaseAndKeyCodes) {
  // Up arrow (0, "H") does nothing; Home (0, "G") gives; Ctrl-C ends the
  // loop as "E" does.
  for (const char* end : {"E", "\003"})
    EXPECT_EQ(recorded("welt.zko", "mepp.pas", std::string("VLGN\033[A\033[H") + end),
              program("welt.zko", "vor;\nlinks;\ngib;\nnimm;\ngib;\n"));
}

TEST_F(Recorder, RefusedCommandsShowOnRow24AndRecordNothing) {
  auto t = started_on("welt.zko", "mepp.pas");
  auto refused = [&](const std::string& key, const std::string& message) {
    t->send(key);
    ASSERT_TRUE(settles_with(*t, [&] { return t->row_text(24) == message; })) << t->screen_text();
    for (int col : {1, 20})
      EXPECT_EQ(t->cell(24, col).fg, 4) << message;
  };
  auto done = [&](const std::string& key) {
    t->send(key);
    EXPECT_TRUE(settles_with(*t, [&] { return t->row_text(24).empty(); })) << "after " << key << "\n" << t->screen_text();
  };
  t->send("ll");                                              // facing up, at the border
  refused("v", "Fehler! Zeko steht vor einem Hindernis !");
  refused("n", "Fehler! Auf dem Feld liegt nichts!");
  done("l");                                                  // facing left
  done("v");                                                  // onto the items
  refused("v", "Fehler! Zeko steht vor einem Hindernis !");  // the obstacle
  done("n");
  t->send("ggg");
  done("g");
  refused("g", "Fehler! Zekos Tasche ist leer !");
  t->send("e");
  ASSERT_EQ(t->wait_exit(), 0);
  EXPECT_EQ(file("mepp.pas"), program("welt.zko", "links;\nlinks;\nlinks;\nvor;\nnimm;\ngib;\ngib;\ngib;\ngib;\n"));
}

TEST_F(Recorder, CommentLineOnlyForExactlyMeppPas) {
  fs::create_directory(dir_ / "sub");
  put("prog.pas", std::string(2000, 'x'));  // an existing file is replaced
  put("prog.pas.bak", "die vorige Sicherung");
  put("ziel.pas", "ein Programm");
  fs::create_symlink("ziel.pas", dir_ / "link.pas");
  for (std::string name : {"prog.pas", "MEPP.PAS", "Mepp.pas", "sub/mepp.pas", "link.pas"})
    EXPECT_EQ(recorded("welt.zko", name, "ve"), program("welt.zko", "vor;\n", false)) << name;
  // What was there is kept as NAME.bak, the last backup giving way; a link
  // is kept as the link, its target untouched.
  EXPECT_EQ(file("prog.pas.bak"), std::string(2000, 'x'));
  EXPECT_FALSE(fs::exists(dir_ / "sub" / "mepp.pas.bak"));
  EXPECT_TRUE(fs::is_symlink(dir_ / "link.pas.bak"));
  EXPECT_EQ(file("ziel.pas"), "ein Programm");
}

TEST_F(Recorder, ApostropheInWorldNameIsDoubledInTheLiteral) {
  put("Welt's.zko", sample_world());
  EXPECT_EQ(recorded("Welt's.zko", "mepp.pas", "le"), program("Welt''s.zko", "links;\n"));
}

TEST_F(Recorder, NamesAreCutTo50Characters) {
  std::string name50 = std::string(46, 'w') + ".zko";
  put(name50, sample_world());
  auto t = started_on(name50 + "0123456789", "mepp.pas");
  // Only the part of the name beyond column 69 survives the robot's redraw.
  EXPECT_EQ(t->row_text(24), std::string(69, ' ') + name50.substr(40));
  t->send("e");
  ASSERT_EQ(t->wait_exit(), 0);
  EXPECT_EQ(file("mepp.pas"), program(name50, ""));
}

TEST_F(Recorder, StaticScreenAfterStart) {
  auto t = started_on("welt.zko", "mepp.pas");
  EXPECT_EQ(t->cell(2, 11).ch, "v");  // heading down after loading
  t->send("l");
  ASSERT_TRUE(settles_with(*t, [&] { return t->cell(2, 11).ch == ">"; })) << t->screen_text();

  EXPECT_EQ(t->row_text(1), "********* ZEKO, DER ROBOTER    -----    Autor: Dr.Mervalin **********");
  EXPECT_EQ(t->row_text(2), "****  o   >                                                         *");
  EXPECT_EQ(t->row_text(3),
            "*---I---I---I---I---I---I---I---I---I---I---I---I---I---I---I---I---* x= 2 y= 0");
  EXPECT_EQ(t->row_text(4), "*                                                                   *");
  EXPECT_EQ(t->row_text(6), "*                                                                   * Vor.:   3");
  EXPECT_EQ(t->row_text(9),
            "*---I---I---I---I---I---I---I---I---I---I---I---I---I---I---I---I---* Lager:  0");
  EXPECT_EQ(t->row_text(21), std::string(69, '*'));
  EXPECT_EQ(t->row_text(22), kHelpLine);
  EXPECT_EQ(t->row_text(24), "");  // the world name, blanked by the robot's first redraw

  struct Want { int row, col, fg; };
  for (Want w : {Want{1, 1, 0}, Want{1, 11, 0}, Want{1, 58, 0}, Want{2, 2, 1}, Want{2, 4, 1}, Want{2, 7, 4},
                 Want{2, 11, 2}, Want{3, 5, 0}, Want{3, 71, 0}, Want{22, 1, 0}})
    EXPECT_EQ(t->cell(w.row, w.col).fg, w.fg) << "row " << w.row << " column " << w.col;
  EXPECT_EQ(t->cell(1, 10).ch, " ");
  EXPECT_EQ(t->cell(1, 59).ch, " ");
  t->send("e");
  EXPECT_EQ(t->wait_exit(), 0);
}

TEST_F(Recorder, WrongWorldNamesAskAgainOneBelowTheOther) {
  ASSERT_EQ(mkfifo((dir_ / "rohr.zko").c_str(), 0644), 0);
  auto t = start();
  ASSERT_TRUE(shows(*t, "Name der Roboterwelt:"));
  t->send("nix.zko\r");
  ASSERT_TRUE(shows(*t, kMissing));
  t->send("x");  // any key goes on
  ASSERT_TRUE(settles_with(*t, [&] { return t->row_text(6) == "Name der Roboterwelt:"; })) << t->screen_text();
  t->send("\r");  // an empty name is a missing file too
  ASSERT_TRUE(settles_with(*t, [&] { return t->row_text(8) == kMissing; })) << t->screen_text();
  t->send("\r");
  ASSERT_TRUE(settles_with(*t, [&] { return t->row_text(9) == "Name der Roboterwelt:"; })) << t->screen_text();
  t->send("rohr.zko\r");  // a FIFO does not open as a world, and nothing waits for a writer
  ASSERT_TRUE(settles_with(*t, [&] { return t->row_text(11) == kMissing; })) << t->screen_text();
  t->send("\r");
  ASSERT_TRUE(settles_with(*t, [&] { return t->row_text(12) == "Name der Roboterwelt:"; })) << t->screen_text();
  t->send("welt.zko\r");
  ASSERT_TRUE(shows(*t, "Name der Programmdatei:"));

  EXPECT_EQ(t->row_text(1), kTitle);
  EXPECT_EQ(t->row_text(2), "");
  EXPECT_EQ(t->row_text(3), "Name der Roboterwelt: nix.zko");
  EXPECT_EQ(t->row_text(4), "");
  EXPECT_EQ(t->row_text(5), kMissing);
  EXPECT_EQ(t->cell(5, 1).fg, 4);
  EXPECT_EQ(t->cell(3, 1).fg, 0);
  EXPECT_EQ(t->row_text(9), "Name der Roboterwelt: rohr.zko");
  EXPECT_EQ(t->row_text(12), "Name der Roboterwelt: welt.zko");
  EXPECT_EQ(t->row_text(13), "Name der Programmdatei:");
  EXPECT_EQ(std::count(t->raw_output().begin(), t->raw_output().end(), '\a'), 3);

  // An empty program-file name ends quietly: no world, no file.
  t->send("\r");
  ASSERT_EQ(t->wait_exit(), 0);
  EXPECT_EQ(t->raw_output().find("ZEKO, DER ROBOTER"), std::string::npos);
  EXPECT_TRUE(blank_screen(*t)) << t->screen_text();
  EXPECT_EQ(files(), (std::vector<std::string>{"rohr.zko", "welt.zko"}));
  EXPECT_TRUE(restored(*t));
}

TEST_F(Recorder, EscapeOrEndOfInputLeavesTheDialogQuietly) {
  // Esc or Ctrl-C after the missing-file message; Ctrl-C while a name is typed.
  for (auto [world, key] : {std::pair<std::string, std::string>{"nix.zko\r", "\033"},
                            {"nix.zko\r", "\003"},
                            {"", "wel\003"},
                            {"welt.zko\r", "mepp.pas\003"}}) {
    SCOPED_TRACE(world + key);
    auto t = start();
    ASSERT_TRUE(shows(*t, "Name der Roboterwelt:"));
    if (!world.empty()) {
      t->send(world);
      ASSERT_TRUE(shows(*t, world == "nix.zko\r" ? kMissing : "Name der Programmdatei:"));
    }
    t->send(key);
    ASSERT_EQ(t->wait_exit(), 0);
    if (world != "welt.zko\r") {
      EXPECT_EQ(t->raw_output().find("Name der Programmdatei"), std::string::npos);
    }
    EXPECT_EQ(t->raw_output().find("ZEKO, DER ROBOTER"), std::string::npos);
    EXPECT_TRUE(restored(*t));
  }
  for (std::string input : {"", "nix.zko\n", "welt.zko\n"}) {
    zt::Options o = options();
    o.stdin_from_pipe = true;
    o.stdin_bytes = input;
    auto t = start(o);
    EXPECT_EQ(t->wait_exit(), 0) << "input " << input;
    EXPECT_EQ(t->raw_output().find("ZEKO, DER ROBOTER"), std::string::npos);
  }
  EXPECT_EQ(files(), std::vector<std::string>{"welt.zko"});
}

// A window smaller than 80 x 25 is waited out before the dialog starts.
TEST_F(Recorder, SmallWindowIsWaitedOutBeforeTheDialog) {
  zt::Options o = options();
  o.rows = 20;
  o.cols = 60;
  auto t = start(o);
  ASSERT_TRUE(shows(*t, "Das Fenster ist nur 60 x 20 Zeichen gross.")) << t->screen_text();
  t->resize(25, 80);
  ASSERT_TRUE(shows(*t, "Name der Roboterwelt:")) << t->screen_text();
  EXPECT_EQ(t->screen_text().find("Fenster"), std::string::npos) << t->screen_text();
  t->send("\003");
  ASSERT_EQ(t->wait_exit(), 0);
  EXPECT_EQ(files(), std::vector<std::string>{"welt.zko"});
  EXPECT_TRUE(restored(*t));
}

// A program file that is a folder, or one whose backup cannot be made (the
// name NAME.bak taken by a folder with files), is a run-time error that
// leaves the old program as it was.
TEST_F(Recorder, ProgramFileThatIsADirectoryIsARuntimeError) {
  fs::create_directory(dir_ / "prog.pas");
  put("alt.pas", "das alte Programm");
  fs::create_directories(dir_ / "alt.pas.bak" / "drin");
  for (auto [name, status] : {std::pair<std::string, int>{"prog.pas", 21}, {"alt.pas", 21}}) {
    SCOPED_TRACE(name);
    auto t = start();
    ASSERT_TRUE(shows(*t, "Name der Roboterwelt:"));
    t->send("welt.zko\r" + name + "\r");
    EXPECT_EQ(t->wait_exit(), status) << t->screen_text();
    EXPECT_NE(t->screen_text().find("Runtime error " + std::to_string(status)), std::string::npos) << t->screen_text();
    EXPECT_NE(t->screen_text().find(name), std::string::npos);
    EXPECT_EQ(t->row_text(22), kHelpLine);  // the world stays on the screen
    EXPECT_TRUE(restored(*t));
  }
  EXPECT_EQ(file("alt.pas"), "das alte Programm");
}

TEST_F(Recorder, ProgramFileInAFolderWithoutWritePermission) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to run the recorder as nobody";
  if (access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "setpriv is not installed";
  fs::create_directory(dir_ / "ro");
  fs::permissions(dir_ / "ro", fs::perms(0555));
  auto t = start(options(), {"/usr/bin/setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", ZEKOPROG_PATH});
  ASSERT_TRUE(shows(*t, "Name der Roboterwelt:")) << t->screen_text();
  t->send("welt.zko\rro/mepp.pas\r");
  EXPECT_EQ(t->wait_exit(), 5) << t->screen_text();
  EXPECT_NE(t->screen_text().find("Runtime error 5"), std::string::npos) << t->screen_text();
  EXPECT_NE(t->screen_text().find("ro/mepp.pas"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir_ / "ro" / "mepp.pas"));
  EXPECT_TRUE(restored(*t));
}

// The generated program, built against the library, replays the steps on
// the same world.
TEST_F(Recorder, GeneratedProgramReplays) {
  const std::string zekoc = ZEKOC_PATH;
  if (access(zekoc.c_str(), X_OK) != 0)
    GTEST_SKIP() << "the learner-program compiler " << zekoc << " is not built yet";
  recorded("welt.zko", "mepp.pas", "vvlgle");

  zt::Options o = options();
  auto build = start(o, {zekoc, "mepp.pas"});
  ASSERT_EQ(build->wait_exit(60000), 0) << build->screen_text();
  ASSERT_TRUE(fs::exists(dir_ / "mepp")) << "no program mepp beside mepp.pas";

  for (auto& e : learner_environment()) o.env_extra.push_back(e);
  auto run = start(o, {(dir_ / "mepp").string()});
  ASSERT_TRUE(shows(*run, "Single-Step mit [LEERTASTE]")) << run->screen_text();
  run->send("x");  // Go
  ASSERT_TRUE(shows(*run, "FERTIG!")) << run->screen_text();
  // Two steps down, a left turn, one item given, another left turn: on
  // (2,2) facing up with 2 in the bag and 1 item under the robot.
  EXPECT_EQ(run->cell(6, 11).ch, "^") << run->screen_text();
  EXPECT_NE(run->row_text(3).find("x= 2 y= 2"), std::string::npos);
  EXPECT_NE(run->row_text(6).find("Vor.:   2"), std::string::npos);
  EXPECT_NE(run->row_text(9).find("Lager:  1"), std::string::npos);
  run->send(" ");
  EXPECT_EQ(run->wait_exit(), 0);
}

}  // namespace
