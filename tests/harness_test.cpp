// Checks of the pty harness itself, using only the shell and coreutils.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>

#include "modes.h"
#include "pty_terminal.h"

namespace {

std::vector<std::string> sh(const std::string& script) { return {"/bin/sh", "-c", script}; }

TEST(Harness, PlacesTextAndCursor) {
  zt::Terminal t(sh("printf '\\033[3;5Hab\\033[0;31mc'"));
  ASSERT_EQ(t.wait_exit(), 0);
  EXPECT_EQ(t.row_text(3), "    abc") << t.screen_text();
  EXPECT_EQ(t.cell(3, 5).ch, "a");
  EXPECT_EQ(t.cell(3, 4).ch, " ");
  EXPECT_EQ(t.cell(3, 5).fg, -1);
  EXPECT_EQ(t.cell(3, 7).fg, 4);
  EXPECT_EQ(t.cell(3, 7).bg, -1);
  EXPECT_EQ(t.cursor(), std::make_pair(8, 3));
  EXPECT_EQ(t.raw_output(), "\033[3;5Hab\033[0;31mc");
}

TEST(Harness, ReportsColoursInPcNumbering) {
  zt::Terminal t(sh("printf '\\033[30mA\\033[0;31mB\\033[42mC\\033[mD\\033[1;34mE\\033[0;94;46mF"
                    "\\033[0;5;7mG\\033[0;33;44mH\\033[39mI\\033[49mJ'"));
  ASSERT_EQ(t.wait_exit(), 0);
  ASSERT_EQ(t.row_text(1), "ABCDEFGHIJ");
  struct Want { int col, fg, bg; bool bold; };
  for (Want w : {Want{1, 0, -1, false}, Want{2, 4, -1, false}, Want{3, 4, 2, false}, Want{4, -1, -1, false},
                 Want{5, 1, -1, true}, Want{6, 9, 3, false}, Want{7, -1, -1, false}, Want{8, 6, 1, false},
                 Want{9, -1, 1, false}, Want{10, -1, -1, false}}) {
    zt::Cell c = t.cell(1, w.col);
    EXPECT_EQ(c.fg, w.fg) << "column " << w.col;
    EXPECT_EQ(c.bg, w.bg) << "column " << w.col;
    EXPECT_EQ(c.bold, w.bold) << "column " << w.col;
  }
  EXPECT_TRUE(t.cell(1, 7).blink);
  EXPECT_TRUE(t.cell(1, 7).reverse);
  EXPECT_FALSE(t.cell(1, 8).reverse);
}

// Asks for the cursor position and shows what came back within a second.
const char* kCursorQuery =
    "s=$(stty -g); stty -icanon -echo min 0 time 10; printf '\\033[5;7H\\033[6n';"
    "r=$(dd bs=64 count=1 2>/dev/null | tr -d '\\033'); stty \"$s\"; printf '\\033[10;1Hgot[%s]' \"$r\"";

TEST(Harness, AnswersOrWithholdsCursorQuery) {
  {
    zt::Terminal t(sh(kCursorQuery));
    ASSERT_EQ(t.wait_exit(), 0);
    EXPECT_EQ(t.row_text(10), "got[[5;7R]") << t.screen_text();
  }
  {
    zt::Options o;
    o.answer_cursor_query = false;
    zt::Terminal t(sh(kCursorQuery), o);
    ASSERT_EQ(t.wait_exit(), 0);
    EXPECT_EQ(t.row_text(10), "got[]") << t.screen_text();
  }
}

TEST(Harness, StartsWithOptions) {
  zt::Options o;
  o.rows = 10;
  o.cols = 40;
  o.cwd = "/";
  o.env_extra = {"ZT_PROBE=yes"};
  zt::Terminal t(sh("stty size; pwd; echo \"$ZT_PROBE $TERM\""), o);
  ASSERT_EQ(t.wait_exit(), 0);
  EXPECT_EQ(t.row_text(1), "10 40");
  EXPECT_EQ(t.row_text(2), "/");
  EXPECT_EQ(t.row_text(3), "yes xterm");
  EXPECT_THROW(t.cell(11, 1), std::out_of_range);
}

TEST(Harness, TypedAndPipedInput) {
  {
    zt::Terminal t(sh("read x; echo \"got:$x\""));
    t.send("abc\r");  // cooked mode: Enter arrives as a line end, the line is echoed
    ASSERT_EQ(t.wait_exit(), 0);
    EXPECT_EQ(t.row_text(1), "abc");
    EXPECT_EQ(t.row_text(2), "got:abc");
  }
  {
    zt::Options o;
    o.stdin_from_pipe = true;
    o.stdin_bytes = "hello";
    zt::Terminal t(sh("cat; echo; [ -t 0 ] || echo in:pipe; [ -t 1 ] && echo out:tty"), o);
    ASSERT_EQ(t.wait_exit(), 0) << t.screen_text();
    EXPECT_EQ(t.row_text(1), "hello");
    EXPECT_EQ(t.row_text(2), "in:pipe");
    EXPECT_EQ(t.row_text(3), "out:tty");
  }
}

TEST(Harness, ExitStatusAndSignals) {
  {
    zt::Terminal t(sh("exit 3"));
    EXPECT_EQ(t.wait_exit(), 3);
  }
  {
    zt::Terminal t(sh("kill -TERM $$"));
    EXPECT_EQ(t.wait_exit(), 128 + SIGTERM);
  }
  {
    zt::Terminal t({"sleep", "100"});
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(t.wait_exit(300), -1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    t.kill(SIGKILL);
    EXPECT_EQ(t.wait_exit(), 128 + SIGKILL);
  }
  {
    zt::Terminal t({"zt-no-such-program"});
    EXPECT_EQ(t.wait_exit(), 127);
    EXPECT_TRUE(t.wait_for_text("zt-no-such-program", 0)) << t.screen_text();
  }
}

TEST(Harness, ReadsAllOutputOfAProgramThatEnds) {
  zt::Terminal t(sh("yes 0123456789 | head -n 20000; printf END"));
  ASSERT_EQ(t.wait_exit(), 0);
  EXPECT_EQ(t.raw_output().size(), 20000u * 12 + 3);
  EXPECT_EQ(t.row_text(25), "END");
}

// Settled: every process of the program waits for input with no time limit
// and all it wrote is on the screen. A sleep, a late child of the same
// group and a typed line still on its way all keep it unsettled.
TEST(Harness, SettlesOnlyWhenTheProgramWaitsForInput) {
  struct Case {
    const char* script;
    const char* typed;
    const char* shown;
  };
  for (Case c : {Case{"printf A; sleep 0.3; printf B; read x", "", "AB"},
                 Case{"(sleep 0.3; printf late) & read x", "", "late"},
                 Case{"read x; printf \"got:$x\"; read y", "abc\r", "got:abc"},
                 Case{"printf done", "", "done"}}) {
    SCOPED_TRACE(c.script);
    zt::Terminal t(sh(c.script));
    t.send(c.typed);
    ASSERT_TRUE(t.settle());
    EXPECT_NE(t.screen_text().find(c.shown), std::string::npos) << t.screen_text();
  }
}

TEST(Harness, ComparesTerminalModes) {
  {
    zt::Terminal t({"true"});
    ASSERT_EQ(t.wait_exit(), 0);
    termios before = t.modes_before();
    EXPECT_TRUE(before.c_lflag & ICANON);
    EXPECT_TRUE(before.c_lflag & ECHO);
    EXPECT_TRUE(support::same_modes(before, t.modes_after()));
  }
  {
    zt::Terminal t(sh("stty raw -echo"));
    ASSERT_EQ(t.wait_exit(), 0);
    termios after = t.modes_after();
    EXPECT_FALSE(support::same_modes(t.modes_before(), after));
    EXPECT_FALSE(after.c_lflag & ICANON);
    EXPECT_FALSE(after.c_lflag & ECHO);
  }
}

}  // namespace
