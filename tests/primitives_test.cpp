// Lines and frames on the screen. Each case is drawn by this test program
// itself, started again on a pty with "--draw <case>", and looked at through
// the terminal emulator.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <string>
#include <string_view>

#include "console.h"
#include "pty_terminal.h"
#include "screen.h"

namespace {

using namespace zeko;

// Written straight to the terminal: an OSC string the screen ignores.
void marker() {
  const char m[] = "\033]7770;mark\007";
  if (::write(1, m, sizeof m - 1) != static_cast<ssize_t>(sizeof m - 1)) _exit(120);
}

void text_at(int x, int y, std::string_view s) {
  GEHZUXY(x, y);
  console::write_text(s);
}

int draw(std::string_view name) {
  console::start();
  if (name == "frames") {
    for (int row = 3; row <= 5; ++row) text_at(3, row, "#####");
    RAHMEN(2, 2, 5, 3, duenn);
    RAHMEN(12, 2, 5, 3, sterne);
    RAHMEN(30, 2, 0, 0, duenn);
  } else if (name == "titles") {
    RAHMEN_MIT_TITEL(1, 1, 20, 1, sterne, "");
    RAHMEN_MIT_TITEL(1, 4, 20, 1, sterne, "abc");
    RAHMEN_MIT_TITEL(40, 4, 5, 1, duenn, "12345678");
    RAHMEN_MIT_TITEL(1, 8, 67, 1, sterne, std::string(50, 'T') + "0123456789");
  } else if (name == "lines") {
    GEHZUXY(3, 3);
    WAAGERECHTE(4, duenn);
    SENKRECHTE(3, sterne);
  } else if (name == "no_lines") {
    GEHZUXY(10, 5);
    marker();
    WAAGERECHTE(0, duenn);
    WAAGERECHTE(-1, sterne);
    SENKRECHTE(0, duenn);
    SENKRECHTE(INT16_MIN, sterne);
  } else if (name == "clear_insides") {
    for (int row = 1; row <= 6; ++row) text_at(1, row, std::string(40, 'x'));
    RAHMEN_LOESCHEN(2, 1, 0, 2);
    RAHMEN_LOESCHEN(10, 1, 1, 2);
    RAHMEN_LOESCHEN(20, 1, -3, 1);
    RAHMEN_LOESCHEN(25, 1, 5, 0);
    HINTERGRUND(blau);
    RAHMEN_LOESCHEN(30, 3, 4, 2);
  } else if (name == "positions") {
    text_at(5, 5, "junk");
    STANDARDSCHIRM();
    XWRITE('A');
    GEHZUXY(256 + 7, 512 + 4);  // only the low 8 bits count
    XFLUSH('B');
    XGOTOXY(9, 2);
    XWRITE('C');
    GEHZUXY(20, 10);
    XGOTOXY(0, 0);
  } else {
    return 64;
  }
  return 0;
}

std::string self_path() {
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : "";
}

// Runs one drawing case to its end.
class Drawn {
 public:
  explicit Drawn(const std::string& name) : t_({self_path(), "--draw", name}) { status_ = t_.wait_exit(); }
  const zt::Terminal& t() const { return t_; }
  int status() const { return status_; }
  std::string cells(int row, int from, int to) const {
    std::string s;
    for (int c = from; c <= to; ++c) s += t_.cell(row, c).ch;
    return s;
  }
  std::string column(int col, int from, int to) const {
    std::string s;
    for (int r = from; r <= to; ++r) s += t_.cell(r, col).ch;
    return s;
  }
  std::string after_marker() const {
    const std::string& raw = t_.raw_output();
    std::size_t at = raw.find("\033]7770;mark\007");
    return at == std::string::npos ? "(no marker)" : raw.substr(at + 12);
  }

 private:
  zt::Terminal t_;
  int status_;
};

TEST(Frames, EdgesCornersAndTheInsideKept) {
  Drawn d("frames");
  ASSERT_EQ(d.status(), 0);
  // Thin style: "-" top and bottom, "I" left and right, "*" corners.
  EXPECT_EQ(d.cells(2, 2, 8), "*-----*");
  EXPECT_EQ(d.cells(6, 2, 8), "*-----*");
  EXPECT_EQ(d.column(2, 2, 6), "*III*");
  EXPECT_EQ(d.column(8, 2, 6), "*III*");
  for (int row = 3; row <= 5; ++row) EXPECT_EQ(d.cells(row, 3, 7), "#####") << row;
  // Star style: stars all round.
  EXPECT_EQ(d.cells(2, 12, 18), "*******");
  EXPECT_EQ(d.cells(6, 12, 18), "*******");
  EXPECT_EQ(d.column(12, 2, 6), "*****");
  EXPECT_EQ(d.column(18, 2, 6), "*****");
  EXPECT_EQ(d.cells(3, 13, 17), "     ");
  // Zero inside: only the four corners, in four adjacent cells.
  EXPECT_EQ(d.cells(1, 29, 32), "    ");
  EXPECT_EQ(d.cells(2, 29, 32), " ** ");
  EXPECT_EQ(d.cells(3, 29, 32), " ** ");
  EXPECT_EQ(d.cells(4, 29, 32), "    ");
  // The cursor ends one column right of the bottom-right corner.
  EXPECT_EQ(d.t().cursor(), std::make_pair(32, 3));
}

TEST(Frames, TitlesCentredCutAndOverlong) {
  Drawn d("titles");
  ASSERT_EQ(d.status(), 0);
  // Empty title: two blanks at x + w div 2 and the column after.
  EXPECT_EQ(d.cells(1, 1, 22), std::string(10, '*') + "  " + std::string(10, '*'));
  // w - L odd: one edge character more right of the title than left.
  EXPECT_EQ(d.cells(4, 1, 22), std::string(8, '*') + " abc " + std::string(9, '*'));
  // Wider than the frame: starts at x - 1 (the division truncates toward
  // zero) and runs over both corners.
  EXPECT_EQ(d.cells(4, 38, 49), "  12345678  ");
  EXPECT_EQ(d.cells(6, 40, 46), "*-----*");
  // More than 50 characters: only the first 50 are shown.
  EXPECT_EQ(d.cells(8, 1, 69), std::string(8, '*') + " " + std::string(50, 'T') + " " + std::string(9, '*'));
  // The title ends with a line end.
  EXPECT_EQ(d.t().cursor(), std::make_pair(1, 9));
}

TEST(Lines, DrawFromTheCursorAndLeaveItBehindTheLine) {
  Drawn d("lines");
  ASSERT_EQ(d.status(), 0);
  EXPECT_EQ(d.cells(3, 2, 8), " ----* ");
  EXPECT_EQ(d.column(7, 2, 6), " *** ");
  EXPECT_EQ(d.t().cursor(), std::make_pair(7, 6));
}

TEST(Lines, NoneOrNegativeLengthDrawsNothing) {
  Drawn d("no_lines");
  ASSERT_EQ(d.status(), 0);
  EXPECT_EQ(d.after_marker(), "");
  EXPECT_EQ(d.t().cursor(), std::make_pair(10, 5));
}

TEST(Frames, ClearingTheInsideWritesAtLeastOneBlankPerRow) {
  Drawn d("clear_insides");
  ASSERT_EQ(d.status(), 0);
  std::string x40(40, 'x');
  auto blanked = [&](std::initializer_list<int> cols, int from = 0, int to = -1) {
    std::string s = x40;
    for (int c : cols) s[c - 1] = ' ';
    for (int c = from; c <= to; ++c) s[c - 1] = ' ';
    return s;
  };
  EXPECT_EQ(d.cells(1, 1, 40), x40);
  EXPECT_EQ(d.cells(2, 1, 40), blanked({3, 11, 21}));  // widths 0, 1 and -3
  EXPECT_EQ(d.cells(3, 1, 40), blanked({3, 11}));
  EXPECT_EQ(d.cells(4, 1, 40), blanked({}, 31, 34));
  EXPECT_EQ(d.cells(5, 1, 40), blanked({}, 31, 34));
  EXPECT_EQ(d.cells(6, 1, 40), x40);
  // The blanks take the current colours.
  EXPECT_EQ(d.t().cell(4, 31).bg, 1);
  EXPECT_EQ(d.t().cell(5, 34).bg, 1);
  EXPECT_EQ(d.t().cell(5, 35).bg, -1);
  EXPECT_EQ(d.t().cell(2, 3).bg, -1);
}

TEST(Positions, ClearingAndBothCursorOperations) {
  Drawn d("positions");
  ASSERT_EQ(d.status(), 0);
  EXPECT_EQ(d.t().row_text(5), "");
  EXPECT_EQ(d.t().row_text(1), "A");
  EXPECT_EQ(d.t().row_text(4), "      B");
  EXPECT_EQ(d.t().row_text(3), "         C");
  EXPECT_EQ(d.t().cursor(), std::make_pair(1, 1));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string_view(argv[1]) == "--draw") return draw(argv[2]);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
