// The robot's commands and sensors in the three deliverables: what each
// command changes and redraws, what the sensors answer at the borders and
// next to obstacles, and how each deliverable reacts to an impossible command.
#include <gtest/gtest.h>

#include <iostream>
#include <string>

#include "driver_session.h"

namespace {

using core_test::cells;
using core_test::DriverSession;
using core_test::off_colour;
using core_test::World;

// Screen cell of field (x, y): its middle column and its row.
int col_of(int x) { return 4 * x + 3; }
int row_of(int y) { return 2 * y + 2; }

std::string glyph_at(const zt::Terminal& t, int x, int y) { return t.cell(row_of(y), col_of(x)).ch; }

// The recorder's status panel as three strings.
std::string status(const zt::Terminal& t, int column = 71) {
  return t.row_text(3).substr(column - 1) + "|" + t.row_text(6).substr(column - 1) + "|" +
         t.row_text(9).substr(column - 1);
}

TEST(Commands, MoveTurnTakeAndGiveRedrawWhatChanged) {
  World w;
  w.at(3, 3, 2);
  w.x = 3;
  w.y = 2;
  DriverSession s("prog", w, "vnnglllllv");
  ASSERT_TRUE(s.started());
  const zt::Terminal& t = s.term();
  EXPECT_EQ(status(t), "x= 3 y= 2|Vor.:   0|Lager:  0");

  ASSERT_TRUE(s.step());  // v: down onto the two items
  EXPECT_EQ(glyph_at(t, 3, 2), " ");
  EXPECT_EQ(glyph_at(t, 3, 3), "v");
  EXPECT_EQ(t.cell(row_of(3), col_of(3)).fg, 2);
  EXPECT_EQ(status(t), "x= 3 y= 3|Vor.:   0|Lager:  2");

  ASSERT_TRUE(s.step());  // n
  EXPECT_EQ(status(t), "x= 3 y= 3|Vor.:   1|Lager:  1");
  ASSERT_TRUE(s.step());  // n: the field is empty now
  EXPECT_EQ(status(t), "x= 3 y= 3|Vor.:   2|Lager:  0");
  EXPECT_EQ(s.sensors(), "vf=1 fl=1 tl=0 aa=0");
  ASSERT_TRUE(s.step());  // g
  EXPECT_EQ(status(t), "x= 3 y= 3|Vor.:   1|Lager:  1");
  EXPECT_EQ(glyph_at(t, 3, 3), "v");  // the robot still covers its field

  // Quarter turns to the left: down, right, up, left, down, right.
  for (const char* g : {">", "^", "<", "v", ">"}) {
    ASSERT_TRUE(s.step());
    EXPECT_EQ(glyph_at(t, 3, 3), g);
  }
  ASSERT_TRUE(s.step());  // v: to the right; the item left behind shows again
  EXPECT_EQ(glyph_at(t, 3, 3), "o");
  EXPECT_EQ(t.cell(row_of(3), col_of(3)).fg, 4);
  EXPECT_EQ(glyph_at(t, 4, 3), ">");
  EXPECT_EQ(status(t), "x= 4 y= 3|Vor.:   1|Lager:  0");
  EXPECT_EQ(t.row_text(24), "");
}

TEST(Commands, LibraryRedrawsItsStatusFurtherRight) {
  World w;
  w.at(5, 6, 4);
  w.x = 5;
  w.y = 5;
  w.supply = 7;
  DriverSession s("inc", w, "vn");
  ASSERT_TRUE(s.started());
  ASSERT_TRUE(s.step());
  ASSERT_TRUE(s.step());
  const zt::Terminal& t = s.term();
  EXPECT_EQ(glyph_at(t, 5, 5), " ");
  EXPECT_EQ(glyph_at(t, 5, 6), "v");
  EXPECT_EQ(status(t, 72), "x= 5 y= 6|Vor.:   8|Lager:  3");
  EXPECT_EQ(t.cursor(), std::make_pair(1, 23));
}

// Sensors after each of four quarter turns, starting from heading down.
std::string sensors_all_round(const std::string& variant, const World& w) {
  DriverSession s(variant, w, "llll");
  if (!s.started()) return "(no start)";
  std::string out = s.sensors(0);
  for (int i = 0; i < 3; ++i) {
    if (!s.step()) return out + " (stuck)";
    out += " | " + s.sensors();
  }
  return out;
}

TEST(Sensors, AtTheBordersOfTheGrid) {
  World top_left;  // at (0, 0), where AM_ANFANG holds for every heading
  World bottom_right;
  bottom_right.x = 16;
  bottom_right.y = 9;
  bottom_right.supply = 2;
  for (std::string variant : {"prog", "edit", "inc"}) {
    SCOPED_TRACE(variant);
    std::string bag = variant == "edit" ? "tl=0" : "tl=1";  // the editor's robot carries 1000
    // Headings in order: down, right, up, left.
    EXPECT_EQ(sensors_all_round(variant, top_left), "vf=1 fl=1 " + bag + " aa=1 | vf=1 fl=1 " + bag +
                                                        " aa=1 | vf=0 fl=1 " + bag + " aa=1 | vf=0 fl=1 " +
                                                        bag + " aa=1");
    EXPECT_EQ(sensors_all_round(variant, bottom_right),
              "vf=0 fl=1 tl=0 aa=0 | vf=0 fl=1 tl=0 aa=0 | vf=1 fl=1 tl=0 aa=0 | vf=1 fl=1 tl=0 aa=0");
  }
}

TEST(Sensors, NextToObstaclesAndItems) {
  World walled;  // obstacles of different values below, right, above and left
  walled.at(8, 6, -1).at(9, 5, -7).at(8, 4, -32768).at(7, 5, -1);
  walled.x = 8;
  walled.y = 5;
  EXPECT_EQ(sensors_all_round("prog", walled),
            "vf=0 fl=1 tl=1 aa=0 | vf=0 fl=1 tl=1 aa=0 | vf=0 fl=1 tl=1 aa=0 | vf=0 fl=1 tl=1 aa=0");
  EXPECT_EQ(sensors_all_round("inc", walled),
            "vf=0 fl=1 tl=1 aa=0 | vf=0 fl=1 tl=1 aa=0 | vf=0 fl=1 tl=1 aa=0 | vf=0 fl=1 tl=1 aa=0");
  // The editor's robot walks over obstacles.
  EXPECT_EQ(sensors_all_round("edit", walled),
            "vf=1 fl=1 tl=0 aa=0 | vf=1 fl=1 tl=0 aa=0 | vf=1 fl=1 tl=0 aa=0 | vf=1 fl=1 tl=0 aa=0");

  World items = walled;  // neighbours holding items are free
  items.at(8, 6, 3).at(9, 5, 1).at(8, 4, 1).at(7, 5, 9);
  EXPECT_EQ(sensors_all_round("prog", items),
            "vf=1 fl=1 tl=1 aa=0 | vf=1 fl=1 tl=1 aa=0 | vf=1 fl=1 tl=1 aa=0 | vf=1 fl=1 tl=1 aa=0");
}

TEST(Sensors, ObstacleUnderTheRobotAndNegativeSupply) {
  World w;
  w.at(6, 2, -1);
  w.x = 6;
  w.y = 2;
  w.supply = -3;  // not an empty bag
  DriverSession s("prog", w, "?gv");
  ASSERT_TRUE(s.started());
  EXPECT_EQ(s.sensors(), "vf=1 fl=1 tl=0 aa=0");  // an obstacle field counts as empty
  ASSERT_TRUE(s.step());
  EXPECT_EQ(s.bytes_of_step(1), "");  // the sensors draw nothing
  ASSERT_TRUE(s.step());              // g on the obstacle: -1 + 1 makes it an empty field
  EXPECT_EQ(status(s.term()), "x= 6 y= 2|Vor.:  -4|Lager:  0");
  EXPECT_EQ(s.sensors(), "vf=1 fl=1 tl=0 aa=0");
  ASSERT_TRUE(s.step());  // moving away: the middle column shows an empty field
  EXPECT_EQ(glyph_at(s.term(), 6, 2), " ");
  EXPECT_EQ(glyph_at(s.term(), 6, 3), "v");
}

// The library: message on row 23, the program ends with the command's status.
struct LibraryFailure {
  const char* script;
  World world;
  const char* message;
  int colour;
  int status;
};

TEST(Failures, LibraryEndsTheProgramWithMessageAndStatus) {
  World blocked;  // heading down onto an obstacle
  blocked.at(4, 5, -1);
  blocked.x = 4;
  blocked.y = 4;
  blocked.supply = 0;
  for (const LibraryFailure& f : {
           LibraryFailure{"v", blocked, "Fehler: vor Zeko liegt ein Hindernis !", 4, 3},
           LibraryFailure{"n", blocked, "Fehler: auf dem Feld liegt nichts !", 0, 2},
           LibraryFailure{"g", blocked, "Fehler: Zekos Tasche ist leer !", 0, 1},
       }) {
    SCOPED_TRACE(f.message);
    std::string script = std::string(f.script) + "l";  // nothing after the failed command runs
    DriverSession s("inc", f.world, script);
    ASSERT_TRUE(s.started());
    s.term().send("  ");
    EXPECT_EQ(s.term().wait_exit(), f.status);
    const zt::Terminal& t = s.term();
    std::size_t n = std::string(f.message).size();
    EXPECT_EQ(t.row_text(23), f.message);
    EXPECT_EQ(off_colour(t, 23, 1, static_cast<int>(n), f.colour), "");
    EXPECT_EQ(t.cursor(), std::make_pair(1, 24));
    EXPECT_EQ(s.sensors(1), "(no step 1)");
    // The world and the robot stay on the screen, unchanged.
    EXPECT_EQ(glyph_at(t, 4, 4), "v");
    EXPECT_EQ(status(t, 72), "x= 4 y= 4|Vor.:   0|Lager:  0");
    EXPECT_EQ(t.row_text(24), "Single-Step mit [LEERTASTE], Go mit jeder anderen Taste");
  }
}

TEST(Failures, RecorderShowsRedMessageUntilTheNextSuccess) {
  World w;
  w.at(2, 3, -1);
  w.x = 2;
  w.y = 2;
  w.supply = 0;
  DriverSession s("prog", w, "vngl");
  ASSERT_TRUE(s.started());
  const zt::Terminal& t = s.term();
  for (const char* message : {"Fehler! Zeko steht vor einem Hindernis !", "Fehler! Auf dem Feld liegt nichts!",
                              "Fehler! Zekos Tasche ist leer !"}) {
    SCOPED_TRACE(message);
    ASSERT_TRUE(s.step());
    // Padded to 69 characters, so a shorter message hides a longer one.
    EXPECT_EQ(cells(t, 24, 1, 69), std::string(message) + std::string(69 - std::string(message).size(), ' '));
    EXPECT_EQ(off_colour(t, 24, 1, 69, 4), "");
    EXPECT_EQ(status(t), "x= 2 y= 2|Vor.:   0|Lager:  0");
    EXPECT_EQ(glyph_at(t, 2, 2), "v");
    EXPECT_EQ(t.cell(row_of(3), col_of(2)).ch, "*");
  }
  ASSERT_TRUE(s.step());  // l succeeds: its redraw blanks row 24
  EXPECT_EQ(t.row_text(24), "");
  EXPECT_EQ(glyph_at(t, 2, 2), ">");
  EXPECT_EQ(s.recorded(), "links;\n");
}

TEST(Failures, RecorderRecordsOnlyTheCommandsThatSucceeded) {
  World w;
  w.y = 8;  // one step above the bottom row, heading down
  DriverSession s("prog", w, "vvl");
  ASSERT_TRUE(s.started());
  ASSERT_TRUE(s.step());
  ASSERT_TRUE(s.step());  // blocked by the border
  EXPECT_EQ(s.term().row_text(24), "Fehler! Zeko steht vor einem Hindernis !");
  EXPECT_EQ(s.recorded(), "vor;\n");
  ASSERT_TRUE(s.step());
  EXPECT_EQ(s.term().row_text(24), "");
  EXPECT_EQ(s.recorded(), "vor;\nlinks;\n");
}

TEST(Failures, EditorMessageOnRedStaysAndColoursWhatFollows) {
  World w;
  w.x = 3;
  w.y = 3;
  DriverSession s("edit", w, "nv", "welt_mit_namen.zko");
  ASSERT_TRUE(s.started());
  const zt::Terminal& t = s.term();
  ASSERT_EQ(cells(t, 24, 30, 47), "welt_mit_namen.zko");

  ASSERT_TRUE(s.step());  // n on an empty field: over the world name
  std::string message = "Fehler! Auf dem Feld liegt nichts!";
  EXPECT_EQ(cells(t, 24, 1, 69), message + std::string(69 - message.size(), ' '));
  EXPECT_EQ(off_colour(t, 24, 1, 69, 2, 4), "");
  EXPECT_EQ(t.cell(24, 70).bg, -1);
  EXPECT_EQ(t.cursor(), std::make_pair(1, 25));  // the message ends its line
  EXPECT_EQ(status(t), "x= 3 y= 3|Vor.:1000|Lager:   0");

  ASSERT_TRUE(s.step());  // v succeeds; the message stays, the background stays red
  EXPECT_EQ(cells(t, 24, 1, 34), message);
  EXPECT_EQ(glyph_at(t, 3, 4), "X");
  EXPECT_EQ(t.cell(row_of(4), col_of(3)).bg, 4);
  EXPECT_EQ(off_colour(t, row_of(3), col_of(3) - 1, col_of(3) + 1, 0, 4), "");  // the field left behind
  EXPECT_EQ(off_colour(t, 3, 71, 79, 0, 4), "");
  EXPECT_EQ(status(t), "x= 3 y= 4|Vor.:1000|Lager:   0");
}

TEST(Failures, EditorGivesAThousandItemsAndThenRefuses) {
  World w;
  DriverSession s("edit", w, std::string(1001, 'g'));
  ASSERT_TRUE(s.started());
  for (int sent = 0; sent < 1000; sent += 20) {
    s.term().send(std::string(20, ' '));
    ASSERT_TRUE(s.reached(sent + 20)) << sent;
  }
  const zt::Terminal& t = s.term();
  EXPECT_EQ(status(t), "x= 0 y= 0|Vor.:   0|Lager:1000");
  EXPECT_EQ(t.row_text(24), std::string(29, ' ') + "welt.zko");
  s.term().send(" ");
  ASSERT_TRUE(s.reached(1001));
  std::string message = "Fehler! Zekos Tasche ist leer !";
  EXPECT_EQ(cells(t, 24, 1, 69), message + std::string(69 - message.size(), ' '));
  EXPECT_EQ(off_colour(t, 24, 1, 69, 2, 4), "");
}

TEST(Failures, EditorMoveAtTheBorderDoesNothingAtAll) {
  World w;
  w.x = 16;
  w.y = 9;
  DriverSession s("edit", w, "vlv");  // down, then right: both out of the grid
  ASSERT_TRUE(s.started());
  ASSERT_TRUE(s.step());
  EXPECT_EQ(s.bytes_of_step(1), "");
  ASSERT_TRUE(s.step());
  ASSERT_TRUE(s.step());
  EXPECT_EQ(s.bytes_of_step(3), "");
  EXPECT_EQ(status(s.term()), "x=16 y= 9|Vor.:1000|Lager:   0");
  EXPECT_EQ(s.term().row_text(24), std::string(29, ' ') + "welt.zko");
}

TEST(Commands, EditorRobotWalksOverObstacles) {
  World w;
  w.at(5, 6, -1).at(5, 7, -1);
  w.x = 5;
  w.y = 5;
  DriverSession s("edit", w, "vvv");
  ASSERT_TRUE(s.started());
  const zt::Terminal& t = s.term();
  ASSERT_TRUE(s.step());  // onto the first obstacle: a green X between blue stars
  EXPECT_EQ(cells(t, row_of(6), 22, 24), "*X*");
  EXPECT_EQ(t.cell(row_of(6), 22).fg, 1);
  EXPECT_EQ(t.cell(row_of(6), 23).fg, 2);
  EXPECT_EQ(t.cell(row_of(6), 24).fg, 1);
  EXPECT_EQ(status(t), "x= 5 y= 6|Vor.:1000|Lager:  -1");
  ASSERT_TRUE(s.step());
  ASSERT_TRUE(s.step());  // past both: the obstacles are whole again
  EXPECT_EQ(cells(t, row_of(6), 22, 24), "***");
  EXPECT_EQ(cells(t, row_of(7), 22, 24), "***");
  EXPECT_EQ(t.cell(row_of(7), 23).fg, 1);
  EXPECT_EQ(glyph_at(t, 5, 8), "X");
  EXPECT_EQ(status(t), "x= 5 y= 8|Vor.:1000|Lager:   0");
}

TEST(Commands, CountsLeavingTheSixteenBitRangeEndTheProgram) {
  struct Case {
    const char* variant;
    const char* script;
    int16_t field;
    int supply;
  };
  for (const Case& c : {Case{"prog", "g", 32767, 1}, Case{"prog", "n", 1, 32767}, Case{"inc", "g", 0, -32768}}) {
    SCOPED_TRACE(std::string(c.variant) + " " + c.script);
    World w;
    w.at(1, 1, c.field);
    w.x = w.y = 1;
    w.supply = c.supply;
    DriverSession s(c.variant, w, c.script);
    ASSERT_TRUE(s.started());
    s.term().send(" ");
    EXPECT_EQ(s.term().wait_exit(), 215);
    EXPECT_NE(s.term().screen_text().find("Runtime error 215: "), std::string::npos) << s.term().screen_text();
    EXPECT_NE(s.term().screen_text().find("Zahlenbereich"), std::string::npos);
    EXPECT_EQ(s.recorded(), "");
  }
}

// Bytes sent for one step forward, for the record; the redraw of a step is
// a few dozen characters plus their positioning.
TEST(Commands, OneStepForwardSendsFewBytes) {
  World w;
  w.x = 8;
  w.y = 4;
  for (const char* variant : {"prog", "inc"}) {
    DriverSession s(variant, w, "v");
    ASSERT_TRUE(s.started());
    ASSERT_TRUE(s.step());
    std::string bytes = s.bytes_of_step(1);
    std::size_t n = bytes.size();
    std::string shown;
    for (char c : bytes) shown += c == '\033' ? std::string("\\e") : c == '\b' ? std::string("\\b") : std::string(1, c);
    std::cout << "[ bytes  ] one VOR step in " << variant << ": " << n << ": " << shown << "\n";
    RecordProperty(std::string("vor_bytes_") + variant, static_cast<int>(n));
    EXPECT_LT(n, 200u);
  }
}

}  // namespace
