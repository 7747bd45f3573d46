// The console layer, byte for byte: every case runs in a forked child whose
// console is started on a fresh pseudo-terminal that answers the cursor
// query with column 3, row 5 (80 x 25) unless the case says otherwise.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "console.h"
#include "forked_child.h"
#include "modes.h"
#include "runtime_error.h"

namespace {

using support::escaped;
using support::note;
using support::Outcome;
using support::TerminalOptions;

Outcome on_terminal(const std::function<void()>& body, TerminalOptions options = {}) {
  return support::run_on_terminal(options, body);
}

std::string cursor() { return std::to_string(console::where_x()) + "," + std::to_string(console::where_y()); }

std::string code(char key) { return std::to_string(static_cast<unsigned char>(key)); }

// One key and every key that is already waiting behind it.
std::string keys_of_one_press() {
  std::string keys = code(console::READKEY());
  while (console::KEYPRESSED()) keys += " " + code(console::READKEY());
  return keys;
}

long cpu_ms() {
  rusage r {};
  getrusage(RUSAGE_SELF, &r);
  return (r.ru_utime.tv_sec + r.ru_stime.tv_sec) * 1000L + (r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1000L;
}

// --- start-up ---------------------------------------------------------------

TEST(ConsoleStart, AnsweredQueryGivesTheCursorAndRawMode) {
  Outcome r = on_terminal([] {
    note(cursor());
    note(std::to_string(console::screen_width()) + "x" + std::to_string(console::screen_height()));
    termios t {};
    tcgetattr(0, &t);
    bool raw = !(t.c_lflag & (ECHO | ICANON | ISIG | IEXTEN)) && !(t.c_iflag & (ICRNL | IXON)) &&
               !(t.c_oflag & OPOST) && (t.c_cflag & CSIZE) == CS8 && t.c_cc[VMIN] == 1 && t.c_cc[VTIME] == 0;
    note(raw ? "raw" : "not raw");
  });
  ASSERT_TRUE(r.exited_with(0)) << r.describe();
  EXPECT_EQ(r.output, "\033[6n\033[m") << escaped(r.output);
  EXPECT_EQ(r.notes, (std::vector<std::string> {"3,5", "80x25", "raw"}));
  EXPECT_TRUE(support::same_modes(r.modes_before, r.modes_after))
      << support::modes_text(r.modes_before) << "\n" << support::modes_text(r.modes_after);
}

TEST(ConsoleStart, KeysAroundTheAnswerStayForReadkey) {
  TerminalOptions early;
  early.cursor_answer = "xy\033[7;9Rz";
  Outcome r = on_terminal(
      [] {
        note(cursor());
        std::string keys;
        for (int i = 0; i < 3; ++i) keys += console::READKEY();
        note(keys);
      },
      early);
  ASSERT_TRUE(r.exited_with(0)) << r.describe();
  EXPECT_EQ(r.notes, (std::vector<std::string> {"9,7", "xyz"}));
}

// ZEKO_FARBEN=auto asks for the background together with the cursor: a
// dark answer swaps black text for white (TEXTCOLOR 0 sends ESC [1m), a light
// one or none keeps ESC [30m; keys typed around the answers stay keys, and a
// terminal that does not know the question costs nothing extra.
TEST(ConsoleStart, BackgroundQueryOfAutoColours) {
  struct Case {
    const char* colours;
    std::string answers;
    const char* sent;  // before the final ESC [m of the start
    const char* black;
    const char* keys;
  };
  const char* both = "\033]11;?\033\\\033[6n";
  for (const Case& c : {Case{"auto", "\033]11;rgb:0000/0000/0000\033\\\033[5;3R", both, "\033[1m", ""},
                        Case{"auto", "\033]11;rgb:1e1e/1e1e/2828\007\033[5;3R", both, "\033[1m", ""},
                        Case{"auto", "\033]11;rgb:ffff/ffff/dddd\007\033[5;3R", both, "\033[30m", ""},
                        Case{"auto", "\033]11;rgb:ff/ff/ff\007\033[5;3R", both, "\033[30m", ""},
                        Case{"auto", "\033]11;rgb:f/f/f\033\\\033[5;3R", both, "\033[30m", ""},
                        Case{"auto", "\033[5;3R", both, "\033[30m", ""},
                        Case{"auto", "ab\033]11;rgb:0/0/0\007c\033[5;3Rd", both, "\033[1m", "abcd"},
                        Case{"dunkel", "\033[5;3R", "\033[6n", "\033[1m", ""},
                        Case{"hell", "\033[5;3R", "\033[6n", "\033[30m", ""}}) {
    SCOPED_TRACE(std::string(c.colours) + " " + escaped(c.answers));
    TerminalOptions o;
    o.start_console = false;
    o.cursor_answer = c.answers;
    std::string keys = c.keys;
    Outcome r = on_terminal(
        [&] {
          setenv("ZEKO_FARBEN", c.colours, 1);
          long began = support::now_ms();
          console::start(0, 1);
          note(std::to_string(support::now_ms() - began < 500));
          note(cursor());
          std::string typed;
          for (std::size_t i = 0; i < keys.size(); ++i) typed += console::READKEY();
          note(typed);
          console::TEXTCOLOR(0);
        },
        o);
    ASSERT_TRUE(r.exited_with(0)) << r.describe();
    EXPECT_EQ(r.output, std::string(c.sent) + "\033[m" + c.black + "\033[m") << escaped(r.output);
    EXPECT_EQ(r.notes, (std::vector<std::string> {"1", "3,5", c.keys}));
  }
}

TEST(ConsoleStart, UnansweredQueryCostsOneSecondAndHomesTheCursor) {
  TerminalOptions silent;
  silent.cursor_answer = "";
  silent.start_console = false;
  Outcome r = on_terminal(
      [] {
        long began = support::now_ms();
        console::start(0, 1);
        note(std::to_string(support::now_ms() - began));
        note(cursor());
      },
      silent);
  ASSERT_TRUE(r.exited_with(0)) << r.describe();
  EXPECT_EQ(r.output, "\033[6n\033[H\033[m") << escaped(r.output);
  ASSERT_EQ(r.notes.size(), 2u);
  long took = std::stol(r.notes[0]);
  EXPECT_GE(took, 950);
  EXPECT_LT(took, 2500);
  EXPECT_EQ(r.notes[1], "1,1");
}

TEST(ConsoleStart, WindowSizeDecidesWhereGotoxyGoes) {
  struct Case {
    unsigned short cols, rows;
    const char* size;
    const char* bytes;  // GOTOXY(81, 1), then GOTOXY(1, 25)
  };
  for (const Case& c : {Case {100, 30, "100x30", "\033[1;81H\033[25;1H"},  //
                        Case {80, 24, "80x24", ""},                        //
                        Case {0, 0, "80x25", "\033[25;1H"}}) {             // size not reported
    TerminalOptions o;
    o.cols = c.cols;
    o.rows = c.rows;
    Outcome r = on_terminal(
        [] {
          note(std::to_string(console::screen_width()) + "x" + std::to_string(console::screen_height()));
          console::GOTOXY(81, 1);
          console::GOTOXY(1, 25);
        },
        o);
    ASSERT_TRUE(r.exited_with(0)) << r.describe();
    EXPECT_EQ(r.notes, std::vector<std::string> {c.size});
    EXPECT_EQ(r.after_start(), c.bytes) << c.size << ": " << escaped(r.after_start());
  }
}

// --- output -----------------------------------------------------------------

// Operations in one child, from the start position 3,5; the bytes of all steps
// together and the tracked cursor after each step.
struct Step {
  std::function<void()> op;
  std::string bytes;
  std::string cursor;
};

void expect_steps(const std::vector<Step>& steps, TerminalOptions options = {}) {
  Outcome r = on_terminal(
      [&] {
        for (const Step& s : steps) {
          s.op();
          note(cursor());
        }
      },
      options);
  ASSERT_TRUE(r.exited_with(0)) << r.describe();
  std::string bytes;
  std::vector<std::string> cursors;
  for (const Step& s : steps) {
    bytes += s.bytes;
    cursors.push_back(s.cursor);
  }
  EXPECT_EQ(r.after_start(), bytes) << "sent " << escaped(r.after_start()) << "\nwanted " << escaped(bytes);
  EXPECT_EQ(r.notes, cursors);
}

std::function<void()> go(int column, int row) {
  return [=] { console::GOTOXY(column, row); };
}
std::function<void()> text(std::string s) {
  return [=] { console::write_text(s); };
}

TEST(ConsoleOutput, CursorMovesTakeTheShortestForm) {
  expect_steps({
      {go(10, 5), "\033[7C", "10,5"},
      {go(10, 2), "\033[3A", "10,2"},
      {go(1, 23), "\033[23;1H", "1,23"},
      {go(81, 1), "", "1,23"},  // beyond the screen: ignored
      {go(1, 26), "", "1,23"},
      {go(0, 5), "", "1,23"},
      {go(5, 0), "", "1,23"},
      {go(4, 23), "\033[3C", "4,23"},
      {go(2, 23), "\033[2D", "2,23"},
      {go(2, 25), "\033[2B", "2,25"},
      {go(2, 25), "", "2,25"},
      {go(80, 25), "\033[78C", "80,25"},
      {go(80, 25), "\033[25;80H", "80,25"},  // the last column is always sent again
      {[] { console::CLRSCR(); }, "\033[H\033[2J", "1,1"},
  });
}

// With ZEKO_FARBEN=dunkel black and white text swap places on the way to
// the terminal (third column); the attribute stays as it is.
TEST(ConsoleOutput, ColourSequencesStartFromTheSentAttribute) {
  struct Change {
    char which;  // f: TEXTCOLOR, b: TEXTBACKGROUND
    int colour;
    const char* bytes;
    const char* dark_bytes;
    int attr;
  };
  const std::vector<Change> changes = {
      {'f', 0, "\033[30m", "\033[1m", 0x00},
      {'f', 4, "\033[0;31m", "\033[0;31m", 0x04},
      {'f', 0, "\033[0;30m", "\033[0;1m", 0x00},
      {'b', 2, "\033[0;30;42m", "\033[0;1;42m", 0x20},
      {'b', 0, "\033[0;30m", "\033[0;1m", 0x00},
      {'f', 7, "\033[m", "\033[m", 0x07},
      {'f', 15, "\033[1m", "\033[30m", 0x0F},
      {'f', 15, "", "", 0x0F},
      {'f', 20, "\033[0;5;31m", "\033[0;5;31m", 0x84},  // blink
      {'b', 9, "\033[0;5;31;44m", "\033[0;5;31;44m", 0x94},  // low 3 bits
      {'f', 14, "\033[0;1;33;44m", "\033[0;1;33;44m", 0x1E},
  };
  for (const char* colours : {"", "hell", "dunkel"}) {
    bool dark = std::string(colours) == "dunkel";
    TerminalOptions o;
    o.start_console = false;
    Outcome r = on_terminal(
        [&] {
          if (*colours) setenv("ZEKO_FARBEN", colours, 1);
          console::start(0, 1);
          for (const Change& c : changes) {
            if (c.which == 'f') console::TEXTCOLOR(c.colour);
            else console::TEXTBACKGROUND(c.colour);
            note(std::to_string(console::text_attr()));
          }
        },
        o);
    ASSERT_TRUE(r.exited_with(0)) << r.describe();
    std::string bytes;
    std::vector<std::string> attrs;
    for (const Change& c : changes) {
      bytes += dark ? c.dark_bytes : c.bytes;
      attrs.push_back(std::to_string(c.attr));
    }
    bytes += "\033[m";  // shut-down hands the terminal back in its own colours
    EXPECT_EQ(r.after_start(), bytes) << colours << ": sent " << escaped(r.after_start()) << "\nwanted "
                                      << escaped(bytes);
    EXPECT_EQ(r.notes, attrs) << colours;
  }
}

TEST(ConsoleOutput, TextWrapsAtTheRightEdgeAndScrollsOnTheBottomRow) {
  expect_steps({
      {text(std::string(78, 'a')), std::string(78, 'a') + "\033[6;1H", "1,6"},
      {go(79, 25), "\033[25;79H", "79,25"},
      {text("bc"), "bc\n\r", "1,25"},
      {[] { console::write_line_end(); }, "\n\r", "1,25"},
      {go(1, 24), "\033[1A", "1,24"},
      {[] { console::write_line_end(); }, "\033[1B", "1,25"},  // no scrolling from row 24
      {go(75, 25), "\033[74C", "75,25"},
      {text("0123456789"), "012345\n\r6789", "5,25"},
      {text("x\ny"), "x\n\ry", "2,25"},
      {go(5, 10), "\033[10;5H", "5,10"},
      {text("\n"), "\033[11;1H", "1,11"},
  });
}

TEST(ConsoleOutput, ControlCharactersAndNumbers) {
  expect_steps({
      {go(7, 4), "\033[4;7H", "7,4"},
      {text(" \b"), " \b", "7,4"},  // the blank stays, the cursor stands on it
      {text("xy\r"), "xy\033[8D", "1,4"},
      {text("\r"), "", "1,4"},
      {text("\b"), "\b", "1,4"},
      {text("ab\tc"), "ab\tc", "10,4"},  // tab sent as it is, next stop column 9
      {text("\a"), "\a", "11,4"},
      {[] { console::write_int(-42, 6); }, "   -42", "17,4"},
      {[] { console::write_int(12345, 2); }, "12345", "22,4"},
      {[] { console::write_char('z'); }, "z", "23,4"},
  });
}

TEST(ConsoleOutput, WithoutTerminalOnlyTextAndLineFeedsAreWritten) {
  TerminalOptions to_pipe;
  to_pipe.output_to_pipe = true;
  Outcome r = on_terminal(
      [] {
        console::GOTOXY(10, 1);
        console::TEXTCOLOR(4);
        console::TEXTBACKGROUND(1);
        console::CLRSCR();
        console::write_text("abc");
        console::write_line_end();
        console::GOTOXY(1, 3);  // one row down: a line feed
        console::GOTOXY(5, 10);
        console::write_text("x\ty");
        note(std::to_string(console::output_is_terminal()) + std::to_string(console::echo_allowed()) + " " +
             std::to_string(console::screen_width()) + "x" + std::to_string(console::screen_height()) + " " +
             std::to_string(console::text_attr()));
      },
      to_pipe);
  ASSERT_TRUE(r.exited_with(0)) << r.describe();
  EXPECT_EQ(r.output, "abc\n\nx\ty") << escaped(r.output);
  EXPECT_EQ(r.terminal, "") << escaped(r.terminal);  // no query, no sequences
  EXPECT_EQ(r.notes, std::vector<std::string> {"00 80x25 20"});
  EXPECT_TRUE(support::same_modes(r.modes_before, r.modes_after));
}

// --- keys -------------------------------------------------------------------

TEST(ConsoleKeys, TerminalSequencesBecomePcKeyCodes) {
  struct Press {
    const char* bytes;
    const char* keys;
  };
  const std::vector<Press> presses = {
      {"\033[A", "0 72"},   {"\033OA", "0 72"},   {"\033[B", "0 80"},     {"\033OC", "0 77"},
      {"\033[D", "0 75"},   {"\033[H", "0 71"},   {"\033[1~", "0 71"},    {"\033[K", "0 79"},
      {"\033[4~", "0 79"},  {"\033[5~", "0 73"},  {"\033[6~", "0 81"},    {"\033[2~", "0 82"},
      {"\033[3~", "0 83"},  {"\033[G", "53"},     {"\033[[A", "0 59"},    {"\033[[E", "0 63"},
      {"\033OP", "0 59"},   {"\033OS", "0 62"},   {"\033[15~", "0 63"},   {"\033[21~", "0 68"},
      {"\033[23~", "0 133"}, {"\033[24~", "0 134"}, {"\033[25~", "0 86"}, {"\033[34~", "0 93"},
      {"\033q", "0 16"},    {"\033a", "0 30"},    {"\033m", "0 50"},      {"\0331", "0 120"},
      {"\0339", "0 128"},   {"\0330", "0 129"},   {"\033-", "0 130"},     {"\033=", "0 131"},
      {"\033\n", "10"},     {"\033[c", "99 91 27"}, {"\033!", "33 27"},
      // Reading stops at the first byte that leaves every known sequence.
      {"\033[9~", "57 91 27 126"}, {"\033[16~", "54 49 91 27 126"}, {"\033[1x", "120 49 91 27"},
      {"\033[[x", "120 91 91 27"},
      {"\x7f", "8"},        {"\x03", "3"},        {"\x1a", "26"},         {"\r", "13"},
      {" ", "32"},          {"H", "72"},
  };
  Outcome r = on_terminal([&] {
    for (const Press& p : presses) {
      support::type(p.bytes);
      note(keys_of_one_press());
    }
  });
  ASSERT_TRUE(r.exited_with(0)) << r.describe();  // Ctrl-C and Ctrl-Z stopped nothing
  ASSERT_EQ(r.notes.size(), presses.size());
  for (std::size_t i = 0; i < presses.size(); ++i)
    EXPECT_EQ(r.notes[i], presses[i].keys) << escaped(presses[i].bytes);
  EXPECT_EQ(r.after_start(), "");  // no echo
}

TEST(ConsoleKeys, EscAloneAfterTenMillisecondsAndCodesWithoutWaiting) {
  Outcome r = on_terminal([] {
    support::type("\033");
    long began = support::now_ms();
    note(code(console::READKEY()));
    note(std::to_string(support::now_ms() - began));
    support::type("\033[A");
    note(code(console::READKEY()));
    note(std::to_string(console::KEYPRESSED()));
    began = support::now_ms();
    note(code(console::READKEY()));
    note(std::to_string(support::now_ms() - began));
    note(std::to_string(console::KEYPRESSED()));
  });
  ASSERT_TRUE(r.exited_with(0)) << r.describe();
  ASSERT_EQ(r.notes.size(), 7u);
  EXPECT_EQ(r.notes[0], "27");
  EXPECT_GE(std::stol(r.notes[1]), 9);
  EXPECT_LT(std::stol(r.notes[1]), 500);
  EXPECT_EQ(r.notes[2], "0");
  EXPECT_EQ(r.notes[3], "1");
  EXPECT_EQ(r.notes[4], "72");
  EXPECT_LT(std::stol(r.notes[5]), 5);
  EXPECT_EQ(r.notes[6], "0");
}

TEST(ConsoleKeys, CodeLeftInTheQueueIsTypedByLaterLineInput) {
  Outcome r = on_terminal([] {
    support::type("\033[A");
    note(code(console::READKEY()));
    support::type("\r");
    note(console::read_line(10));
  });
  ASSERT_TRUE(r.exited_with(0)) << r.describe();
  EXPECT_EQ(r.notes, (std::vector<std::string> {"0", "H"}));
  EXPECT_EQ(r.after_start(), "H\033[6;1H") << escaped(r.after_start());
}

TEST(ConsoleKeys, DelayWaitsAndLeavesKeysForReadkey) {
  Outcome r = on_terminal([] {
    support::type("k");
    long began = support::now_ms();
    console::DELAY(100);
    note(std::to_string(support::now_ms() - began));
    bool waiting = console::KEYPRESSED();
    note(std::to_string(waiting) + code(console::READKEY()));
  });
  ASSERT_TRUE(r.exited_with(0)) << r.describe();
  ASSERT_EQ(r.notes.size(), 2u);
  EXPECT_GE(std::stol(r.notes[0]), 99);
  EXPECT_LT(std::stol(r.notes[0]), 400);
  EXPECT_EQ(r.notes[1], "1107");
}

TEST(ConsoleKeys, WaitingForAKeyUsesNoProcessorTime) {
  Outcome r = on_terminal([] {
    long cpu = cpu_ms(), began = support::now_ms();
    support::type_later("q", 300);
    console::wait_for_input();
    note(code(console::READKEY()));
    support::type_later("w", 300);
    note(code(console::READKEY()));
    note(std::to_string(support::now_ms() - began));
    note(std::to_string(cpu_ms() - cpu));
  });
  ASSERT_TRUE(r.exited_with(0)) << r.describe();
  ASSERT_EQ(r.notes.size(), 4u);
  EXPECT_EQ(r.notes[0], "113");
  EXPECT_EQ(r.notes[1], "119");
  EXPECT_GE(std::stol(r.notes[2]), 590);
  EXPECT_LT(std::stol(r.notes[3]), 60) << "processor time while waiting 600 ms";
}

TEST(ConsoleKeys, EndedInputAnswersAtOnce) {
  TerminalOptions ended;
  ended.input_from_pipe = true;
  Outcome r = on_terminal(
      [] {
        long began = support::now_ms();
        std::string key = code(console::READKEY());
        bool waiting = console::KEYPRESSED();
        note(key + " " + std::to_string(waiting) + " " + std::to_string(console::input_ended()));
        bool end = false;
        std::string line = console::read_line(10, &end);
        note("[" + line + "] " + std::to_string(end));
        console::wait_for_input();
        note(std::to_string(support::now_ms() - began < 200));
      },
      ended);
  ASSERT_TRUE(r.exited_with(0)) << r.describe();
  EXPECT_EQ(r.notes, (std::vector<std::string> {"0 1 1", "[] 1", "1"}));
}

// --- line input -------------------------------------------------------------

TEST(ConsoleLineInput, EditingEchoAndCapacity) {
  struct Line {
    std::string keys;
    std::size_t capacity;
    std::string line;
    std::optional<std::string> echo;  // from column 3, row 5
    const char* cursor_answer = "\033[5;3R";
  };
  const std::vector<Line> lines = {
      {"abc\x7f" "d\r", 50, "abd", "abc\b \bd\033[6;1H"},
      {std::string(60, 'x') + "\r", 50, std::string(50, 'x'), std::string(60, 'x') + "\033[6;1H"},
      {"\x7f\x7fz\r", 50, "z", "z\033[6;1H"},                      // Backspace on an empty line
      {"a\033[Db\033OAc\033[15~\r", 50, "abc", "abc\033[6;1H"},    // extended keys do nothing
      {"\x03\t\r", 50, "\x03\t", "\x03\t\033[6;1H"},               // control keys are typed
      {"ab\n", 50, "ab", "ab\033[6;1H"},                           // a line feed ends the line too
      {"ok\r", 50, "ok", "ok\n\r", "\033[25;1R"},                  // Enter on the bottom row scrolls
      // Backspace stays inside the current piece of 256 characters.
      {std::string(257, 'y') + "\x7f\x7f\r", 300, std::string(256, 'y'), std::nullopt},
  };
  for (const Line& l : lines) {
    TerminalOptions o;
    o.cursor_answer = l.cursor_answer;
    Outcome r = on_terminal(
        [&] {
          support::type(l.keys);
          note(console::read_line(l.capacity));
          note(cursor());
        },
        o);
    ASSERT_TRUE(r.exited_with(0)) << r.describe();
    ASSERT_EQ(r.notes.size(), 2u) << escaped(l.keys);
    EXPECT_EQ(r.notes[0], l.line) << escaped(l.keys);
    if (l.echo) {
      EXPECT_EQ(r.after_start(), *l.echo) << escaped(l.keys) << " echoed " << escaped(r.after_start());
      EXPECT_EQ(r.notes[1], l.cursor_answer == std::string("\033[25;1R") ? "1,25" : "1,6");
    }
  }
}

TEST(ConsoleLineInput, IntegersSkipBlanksAndMustFitIn32Bits) {
  struct Number {
    const char* keys;
    std::optional<int32_t> value;  // none: run-time error 106
  };
  for (const Number& n : {Number {"  \r\r\t-123  \r", -123}, Number {"+7\r", 7},
                          Number {"2147483647\r", 2147483647}, Number {"-2147483648\r", INT32_MIN},
                          Number {"2147483648\r", std::nullopt}, Number {"12a\r", std::nullopt},
                          Number {"-\r", std::nullopt}, Number {"0x10\r", std::nullopt}}) {
    Outcome r = on_terminal([&] {
      support::type(n.keys);
      note(std::to_string(console::read_int_or_fail()));
    });
    if (n.value) {
      ASSERT_TRUE(r.exited_with(0)) << n.keys << ": " << r.describe();
      EXPECT_EQ(r.notes, std::vector<std::string> {std::to_string(*n.value)}) << escaped(n.keys);
    } else {
      EXPECT_TRUE(r.exited_with(106)) << n.keys << ": " << r.describe();
      EXPECT_NE(r.errors.find("Runtime error 106"), std::string::npos) << r.describe();
      EXPECT_TRUE(r.notes.empty());
      EXPECT_TRUE(support::same_modes(r.modes_before, r.modes_after));
    }
  }
}

TEST(ConsoleLineInput, InputFromAPipeIsTakenAsItComes) {
  TerminalOptions piped;
  piped.input_from_pipe = true;
  piped.input_bytes = "ab\rcd\r\n\033[Ax\x7fy\nlast";
  Outcome r = on_terminal(
      [] {
        for (int i = 0; i < 4; ++i) {
          bool end = false;
          std::string line = console::read_line(50, &end);
          note(escaped(line) + (end ? " end" : ""));
        }
      },
      piped);
  ASSERT_TRUE(r.exited_with(0)) << r.describe();
  EXPECT_EQ(r.notes, (std::vector<std::string> {"\"ab\"", "\"cd\"", "\"\\e[Ax\\x7fy\"", "\"last\""}));
  EXPECT_EQ(r.after_start(), "");  // no echo
}

// --- the end of a run -------------------------------------------------------

TEST(ConsoleShutdown, TerminalModesComeBackAtEveryEnd) {
  struct End {
    const char* name;
    std::function<void()> end;
    int status;  // exit status, or minus the signal
  };
  const std::vector<End> ends = {
      {"shutdown", [] { console::shutdown(); _exit(0); }, 0},
      {"exit", [] { std::exit(0); }, 0},
      {"halt with a status", [] { std::exit(3); }, 3},
      {"runtime error", [] { console::runtime_error(2, "Die Datei fehlt."); }, 2},
      {"SIGTERM from outside",
       [] {
         note("waiting");
         console::READKEY();
       },
       -SIGTERM},
  };
  for (const End& e : ends) {
    TerminalOptions o;
    o.sigterm_on_first_note = e.status < 0;
    Outcome r = on_terminal(
        [&] {
          console::TEXTCOLOR(4);
          e.end();
        },
        o);
    if (e.status < 0) EXPECT_TRUE(r.killed_by(-e.status)) << e.name << ": " << r.describe();
    else EXPECT_TRUE(r.exited_with(e.status)) << e.name << ": " << r.describe();
    EXPECT_TRUE(support::same_modes(r.modes_before, r.modes_after)) << e.name;
    EXPECT_EQ(r.after_start(), "\033[31m\033[m") << e.name << ": only the colours are reset";
  }
}

}  // namespace
