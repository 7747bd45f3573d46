// The static screen of each deliverable, cell by cell with its colours, and
// how fields and the robot look on it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver_session.h"

namespace {

using core_test::cells;
using core_test::DriverSession;
using core_test::World;

constexpr int kDefault = -1;  // the terminal's own colour

// An expected 80 x 25 screen: text and foreground colour of every cell.
struct Screen {
  std::vector<std::string> text = std::vector<std::string>(25, std::string(80, ' '));
  std::vector<std::vector<int>> fg = std::vector<std::vector<int>>(25, std::vector<int>(80, kDefault));

  void put(int col, int row, const std::string& s, int colour) {
    for (std::size_t i = 0; i < s.size(); ++i) {
      text[row - 1][col - 1 + i] = s[i];
      fg[row - 1][col - 1 + i] = colour;
    }
  }
};

// Compares text of every row, the foreground of every non-blank cell and the
// background (terminal default) of every cell.
void expect_screen(const zt::Terminal& t, const Screen& want) {
  for (int row = 1; row <= 25; ++row) {
    EXPECT_EQ(cells(t, row, 1, 80), want.text[row - 1]) << "row " << row;
    std::string wrong;
    for (int col = 1; col <= 80; ++col) {
      zt::Cell c = t.cell(row, col);
      if (c.ch != " " && c.fg != want.fg[row - 1][col - 1])
        wrong += " col " + std::to_string(col) + " fg " + std::to_string(c.fg);
      if (c.bg != kDefault) wrong += " col " + std::to_string(col) + " bg " + std::to_string(c.bg);
    }
    EXPECT_EQ(wrong, "") << "colours on row " << row;
  }
}

const std::string kGridLine = [] {
  std::string s = "*";
  for (int i = 0; i < 16; ++i) s += "---I";
  return s + "---*";
}();
const std::string kCellRow = "*" + std::string(67, ' ') + "*";

// Frame and grid of the two programs, drawn in `frame` colour.
void program_frame(Screen& s, int frame) {
  for (int row = 2; row <= 20; ++row) s.put(1, row, row % 2 ? kGridLine : kCellRow, frame);
  s.put(1, 21, std::string(69, '*'), frame);
}

// Obstacle on (0, 0), two items on (1, 0), the robot on (2, 0) with supply 3.
World sample_world() {
  World w;
  w.at(0, 0, -1).at(1, 0, 2);
  w.supply = 3;
  w.x = 2;
  return w;
}

TEST(StaticScreen, RecorderMatchesTheSampleCellByCell) {
  DriverSession s("prog", sample_world(), "l");  // loaded heading down; one left turn faces right
  ASSERT_TRUE(s.started());
  ASSERT_TRUE(s.step());
  const zt::Terminal& t = s.term();

  const char* sample[] = {
      "********* ZEKO, DER ROBOTER    -----    Autor: Dr.Mervalin **********",
      "****  o   >                                                         *",
      "*---I---I---I---I---I---I---I---I---I---I---I---I---I---I---I---I---* x= 2 y= 0",
      "*                                                                   *",
      "*---I---I---I---I---I---I---I---I---I---I---I---I---I---I---I---I---*",
      "*                                                                   * Vor.:   3",
  };
  for (int row = 1; row <= 6; ++row) EXPECT_EQ(t.row_text(row), sample[row - 1]) << "row " << row;

  Screen want;
  program_frame(want, 0);  // the recorder draws its frame in black
  want.put(1, 1, sample[0], 0);
  want.put(2, 2, "***", 1);
  want.put(7, 2, "o", 4);
  want.put(11, 2, ">", 2);
  want.put(71, 3, "x= 2 y= 0", 0);
  want.put(71, 6, "Vor.:   3", 0);
  want.put(71, 9, "Lager:  0", 0);
  want.put(1, 22, "Steuerung von ZEKO mit:   v(or)   l(links)   n(imm)    g(ib)   e(nde)", 0);
  // Row 24: the world name is blanked by the first robot redraw.
  expect_screen(t, want);
  EXPECT_EQ(t.cursor(), std::make_pair(1, 24));
}

TEST(StaticScreen, EditorFrameTitleAndNameThatStays) {
  DriverSession s("edit", sample_world(), "");
  ASSERT_TRUE(s.started());
  const zt::Terminal& t = s.term();

  Screen want;
  // The editor opening an existing world draws its frame in the colour the
  // program started with.
  program_frame(want, kDefault);
  want.put(1, 1, std::string(11, '*') + " ZEKO, DER ROBOTER  -----  Autor: Dr.Mervalin " + std::string(12, '*'),
           kDefault);
  want.put(2, 2, "***", 1);
  want.put(7, 2, "o", 4);  // the blanks around it are red too, but blank
  want.put(11, 2, "X", 2);
  want.put(71, 3, "x= 2 y= 0", 0);
  want.put(71, 6, "Vor.:1000", 0);  // the editor's robot always carries 1000
  want.put(71, 9, "Lager:   0", 0);
  want.put(1, 22, "Steuerung von ZEKO mit: PFEILTASTEN, LEERTASTE, n(imm), g(ib), e(nde)", 0);
  want.put(30, 24, "welt.zko", 4);
  expect_screen(t, want);
  EXPECT_EQ(cells(t, 1, 12, 12) + cells(t, 1, 57, 57), "  ");
  EXPECT_EQ(cells(t, 1, 13, 56), "ZEKO, DER ROBOTER  -----  Autor: Dr.Mervalin");
  EXPECT_EQ(t.cursor(), std::make_pair(1, 24));
}

TEST(StaticScreen, LibraryBorderNameAndStepHint) {
  DriverSession s("inc", sample_world(), "l");
  ASSERT_TRUE(s.started());
  ASSERT_TRUE(s.step());
  const zt::Terminal& t = s.term();

  Screen want;
  want.put(1, 1, "**********  ROBOTER-WELT von ZEKO -- Autor: Dr. Mervalin  ***********", 0);
  for (int row = 2; row <= 20; ++row) want.put(1, row, kCellRow, 0);  // no grid lines
  want.put(1, 21, std::string(69, '*'), 0);
  want.put(2, 2, "***", 1);
  want.put(7, 2, "o", 4);
  want.put(11, 2, ">", 2);
  want.put(72, 3, "x= 2 y= 0", 0);
  want.put(72, 6, "Vor.:   3", 0);
  want.put(72, 9, "Lager:  0", 0);
  want.put(1, 22, "welt.zko", 2);
  want.put(1, 24, "Single-Step mit [LEERTASTE], Go mit jeder anderen Taste", 0);
  expect_screen(t, want);
  EXPECT_EQ(t.cursor(), std::make_pair(1, 23));
}

TEST(StaticScreen, LongWorldNames) {
  {
    // 50 characters: the recorder's blanking of columns 1 to 69 leaves the
    // last ten characters of the name standing in red.
    std::string name = "welt_" + std::string(41, 'x') + ".zko";
    ASSERT_EQ(name.size(), 50u);
    DriverSession s("prog", World{}, "", name);
    ASSERT_TRUE(s.started());
    EXPECT_EQ(cells(s.term(), 24, 1, 69), std::string(69, ' '));
    EXPECT_EQ(cells(s.term(), 24, 70, 80), name.substr(40) + " ");
    EXPECT_EQ(s.term().cell(24, 70).fg, 4);
    EXPECT_EQ(s.term().cell(24, 79).fg, 4);
  }
  {
    // The library opens the file under its full name but shows 12 characters.
    DriverSession s("inc", World{}, "", "eine_sehr_lange_welt.zko");
    ASSERT_TRUE(s.started());
    EXPECT_EQ(s.term().row_text(22), "eine_sehr_la");
  }
}

TEST(FieldDisplay, AnyItemCountShowsOneMarkAndTheRobotCoversIt) {
  World w;
  w.at(4, 4, 1).at(4, 5, 500);
  w.x = 4;
  w.y = 5;  // on the 500 items, heading down
  DriverSession s("prog", w, "v");
  ASSERT_TRUE(s.started());
  const zt::Terminal& t = s.term();
  EXPECT_EQ(t.cell(10, 19).ch, "o");
  EXPECT_EQ(t.cell(12, 19).ch, "v");
  EXPECT_EQ(t.cell(12, 19).fg, 2);
  EXPECT_EQ(cells(t, 12, 18, 20), " v ");
  EXPECT_EQ(cells(t, 9, 71, 79), "Lager:500");

  ASSERT_TRUE(s.step());  // moves on: the field shows its mark again
  EXPECT_EQ(t.cell(12, 19).ch, "o");
  EXPECT_EQ(t.cell(12, 19).fg, 4);
  EXPECT_EQ(t.cell(10, 19).fg, 4);
  EXPECT_EQ(t.cell(14, 19).ch, "v");
  EXPECT_EQ(cells(t, 9, 71, 79), "Lager:  0");
}

}  // namespace
