// The world file: what the writer puts on disk byte for byte, what the
// reader makes of regular and irregular files, and how both fail. Every case
// runs in a forked child inside a fresh directory, since a failure ends the
// process with a run-time error.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <algorithm>
#include <array>
#include <filesystem>
#include <iterator>
#include <functional>
#include <string>
#include <vector>

#include "deliverable.h"
#include "files.h"
#include "forked_child.h"
#include "temp_dir.h"
#include "world_text.h"
#include "runtime_error.h"
#include "world.h"

// Naming an unnamed file fails while this is set, as it does where /proc is
// missing and the direct way lacks the right; other links are made.
static bool g_unnamed_links_fail;

extern "C" int linkat(int from_dir, const char* from, int to_dir, const char* to, int flags) noexcept {
  bool unnamed = (flags & AT_EMPTY_PATH) || std::strncmp(from, "/proc/self/fd/", 14) == 0;
  if (g_unnamed_links_fail && unnamed) {
    errno = (flags & AT_EMPTY_PATH) ? EPERM : ENOENT;
    return -1;
  }
  return static_cast<int>(syscall(SYS_linkat, from_dir, from, to_dir, to, flags));
}

namespace {

namespace fs = std::filesystem;
using support::escaped;
using support::note;
using support::Outcome;
using support::TempDir;

using support::World;
using Rows = World::Rows;  // [y][x], as the file lists them

// A world with obstacles, empty fields and items of one and two digits.
World sample() {
  World w;
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 17; ++x) w.rows[y][x] = (x + y) % 5 == 0 ? -1 : (x * y) % 13;
  w.supply = 12;
  w.x = 4;
  w.y = 6;
  return w;
}

std::string grid_text(const Rows& rows) {
  std::string s;
  for (const auto& row : rows) {
    for (int v : row) s += std::to_string(v) + " ";
    s += "\n";
  }
  return s;
}

// What the child reports after loading: position, supply, heading and the
// name kept for the screen; then the grid.
std::vector<std::string> state_of(const World& w, const std::string& shown = "before") {
  return {std::to_string(w.x) + " " + std::to_string(w.y) + " " + std::to_string(w.supply) + " down [" + shown + "]",
          grid_text(w.rows)};
}

void note_state() {
  using namespace zeko;
  note(std::to_string(ZEKO.x) + " " + std::to_string(ZEKO.y) + " " + std::to_string(ZEKO.vorrat) +
       (ZEKO.richtung == down ? " down [" : " not down [") + std::string(DATEINAME.view()) + "]");
  Rows rows;
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 17; ++x) rows[y][x] = FELD[x][y];
  note(grid_text(rows));
}

// Loads `name` in a child that works in `dir` as the given deliverable.
Outcome load(const TempDir& dir, const std::string& name, const zeko::Deliverable& d = zeko::ZEKOPROG,
             bool as_nobody = false) {
  return support::run_forked([&] {
    if (chdir(dir.path().c_str()) != 0) _exit(98);
    if (as_nobody) support::become_nobody();
    zeko::use_deliverable(d);
    zeko::DATEINAME.assign("before");
    zeko::ZEKO.richtung = zeko::left;
    zeko::LIES_MTWELT(name);
    note_state();
  });
}

// Loads `content` from a file; the reader of texts in memory must end the
// same way, to the byte of its messages.
Outcome load_text(const std::string& content, const zeko::Deliverable& d = zeko::ZEKOPROG) {
  TempDir dir(0777);
  support::write_file(dir / "w.zko", content);
  Outcome from_file = load(dir, "w.zko", d);
  Outcome from_memory = support::run_forked([&] {
    zeko::use_deliverable(d);
    zeko::DATEINAME.assign("before");
    zeko::ZEKO.richtung = zeko::left;
    zeko::read_world_text("w.zko", content);
    note_state();
  });
  EXPECT_EQ(from_memory.status, from_file.status) << escaped(content);
  EXPECT_EQ(from_memory.errors, from_file.errors) << escaped(content);
  EXPECT_EQ(from_memory.notes, from_file.notes) << escaped(content);
  return from_file;
}

// Saves `w` as `name` in a child that works in `dir`; `question` stands for
// the editor's supply question.
Outcome save(const TempDir& dir, const std::string& name, const World& w, zeko::SupplyQuestion question = nullptr,
             bool as_nobody = false) {
  return support::run_forked([&] {
    if (chdir(dir.path().c_str()) != 0) _exit(98);
    if (as_nobody) support::become_nobody();
    zeko::use_deliverable(zeko::ZEKOEDIT);
    for (int y = 0; y < 10; ++y)
      for (int x = 0; x < 17; ++x) zeko::FELD[x][y] = static_cast<int16_t>(w.rows[y][x]);
    zeko::ZEKO.x = static_cast<uint8_t>(w.x);
    zeko::ZEKO.y = static_cast<uint8_t>(w.y);
    zeko::ZEKO.vorrat = 999;  // the supply written is the question's answer, not this
    if (question) zeko::SCHREIBE_WELT(name, question);
    else zeko::SCHREIBE_WELT(name, static_cast<int16_t>(w.supply));
  });
}

std::string replace_all(std::string s, const std::string& from, const std::string& to) {
  for (std::size_t at = 0; (at = s.find(from, at)) != std::string::npos; at += to.size()) s.replace(at, from.size(), to);
  return s;
}

// --- the writer -------------------------------------------------------------

TEST(WorldWriter, WritesTheFileByteForByte) {
  const std::string empty_line = [] {
    std::string s;
    for (int x = 0; x < 17; ++x) s += "    0";
    return s + "\n";
  }();
  struct Case {
    const char* what;
    std::function<void(World&)> set;
    std::string first_line, tail;
  };
  const std::vector<Case> cases = {
      {"empty world", [](World& w) { w.supply = 5, w.x = 2, w.y = 3; }, empty_line, "5\n   2   3\n"},
      {"obstacle at x = 1", [](World& w) { w.rows[0][1] = -1, w.supply = 7, w.x = 3, w.y = 5; },
       "    0   -1" + empty_line.substr(10), "7\n   3   5\n"},
      // Five characters and more: a blank keeps the values apart.
      {"wide values",
       [](World& w) { w.rows[0][0] = -1000, w.rows[0][1] = 10000, w.rows[0][2] = -999, w.rows[0][3] = 9999,
                      w.rows[0][4] = -32768, w.supply = -3, w.x = 16, w.y = 9; },
       " -1000 10000 -999 9999 -32768" + empty_line.substr(25), "-3\n  16   9\n"},
  };
  for (const Case& c : cases) {
    TempDir dir(0777);
    World w;
    c.set(w);
    Outcome r = save(dir, "w.zko", w);
    ASSERT_TRUE(r.exited_with(0)) << c.what << ": " << r.describe();
    std::string expected = c.first_line;
    for (int y = 1; y < 10; ++y) expected += empty_line;
    expected += c.tail;
    EXPECT_EQ(support::read_file(dir / "w.zko"), expected) << c.what;
  }
}

TEST(WorldWriter, WhatItWritesReadsBackWithTheAnsweredSupply) {
  World w = sample();
  w.rows[9][16] = 10000;
  w.rows[0][16] = -1000;
  w.rows[5][5] = 32767;
  w.rows[5][6] = -32768;
  w.x = 16;
  w.y = 9;
  TempDir dir(0777);
  Outcome saved = save(dir, "w.zko", w, [] { return int16_t {42}; });
  ASSERT_TRUE(saved.exited_with(0)) << saved.describe();
  Outcome r = load(dir, "w.zko");
  ASSERT_TRUE(r.exited_with(0)) << r.describe();
  w.supply = 42;
  EXPECT_EQ(r.notes, state_of(w, "w.zko"));
}

// Both ways of saving: an unnamed file, and a named temporary file where the
// file system has no unnamed ones or the unnamed file cannot be named. While
// the supply question is open the folder shows nothing new, or only the
// temporary file.
TEST(WorldWriter, ReplacesTheFileInPlaceOfTheOld) {
  struct Way {
    const char* what;
    bool unnamed;
    bool links_fail;
    const char* files_during_question;
  };
  for (const Way& way : {Way{"unnamed file", true, false, "1"}, Way{"named temporary file", false, false, "2"},
                         Way{"unnamed file that cannot be named", true, true, "1"}}) {
    SCOPED_TRACE(way.what);
    zeko::g_unnamed_save_file = way.unnamed;
    g_unnamed_links_fail = way.links_fail;
    TempDir dir(0777);
    support::write_file(dir / "w.zko", std::string(5000, '#'));
    chmod((dir / "w.zko").c_str(), 0640);
    Outcome r = save(dir, "w.zko", sample(), [] {
      note(std::to_string(std::distance(fs::directory_iterator("."), fs::directory_iterator())));
      return int16_t {12};
    });
    zeko::g_unnamed_save_file = true;
    g_unnamed_links_fail = false;
    ASSERT_TRUE(r.exited_with(0)) << r.describe();
    EXPECT_EQ(r.notes, std::vector<std::string> {way.files_during_question}) << "files in the folder during the question";
    EXPECT_EQ(support::read_file(dir / "w.zko"), sample().text());
    struct stat st {};
    stat((dir / "w.zko").c_str(), &st);
    EXPECT_EQ(st.st_mode & 07777, 0640u) << "the old file's mode stays";
    EXPECT_EQ(dir.names(), std::vector<std::string> {"w.zko"}) << "no temporary file stays behind";
  }
}

// A world left under its temporary name by an editor that was killed at the
// last moment is removed by the next save in that folder; temporary files of
// editors still running, and other hidden files, stay.
TEST(WorldWriter, NextSaveRemovesLeftoversOfEndedEditors) {
  pid_t ended = fork();
  if (ended == 0) _exit(0);
  waitpid(ended, nullptr, 0);
  const std::string dead = ".zeko-" + std::to_string(ended) + "-aB3xYz";
  const std::string running = ".zeko-" + std::to_string(getpid()) + "-aB3xYz";
  for (bool unnamed : {true, false}) {
    SCOPED_TRACE(unnamed ? "unnamed file" : "named temporary file");
    TempDir dir(0777);
    for (const std::string& f : {dead, running, std::string(".zeko-notizen"), std::string(".zeko-1-kurz")})
      support::write_file(dir / f, "x");
    zeko::g_unnamed_save_file = unnamed;
    Outcome r = save(dir, "w.zko", sample());
    zeko::g_unnamed_save_file = true;
    ASSERT_TRUE(r.exited_with(0)) << r.describe();
    std::vector<std::string> stay {".zeko-1-kurz", running, ".zeko-notizen", "w.zko"};
    std::sort(stay.begin(), stay.end());
    EXPECT_EQ(dir.names(), stay);
  }
}

// The world is only ever replaced whole, through a new file beside it: a
// folder that takes no new files refuses the save even for a writable file.
TEST(WorldWriter, ClosedFolderRefusesTheSaveAndKeepsTheOldFile) {
  TempDir dir(0777);
  support::write_file(dir / "w.zko", std::string(5000, '#'));
  chmod((dir / "w.zko").c_str(), 0666);
  chmod(dir.path().c_str(), 0755);  // nobody may not create files here
  Outcome r = save(dir, "w.zko", sample(), nullptr, true);
  EXPECT_TRUE(r.exited_with(5)) << r.describe();
  EXPECT_EQ(support::read_file(dir / "w.zko"), std::string(5000, '#'));
  EXPECT_EQ(dir.names(), std::vector<std::string> {"w.zko"});

  Outcome fresh = save(dir, "neu.zko", sample(), nullptr, true);  // but no new file there
  EXPECT_TRUE(fresh.exited_with(5)) << fresh.describe();
  EXPECT_EQ(dir.names(), std::vector<std::string> {"w.zko"});
}

TEST(WorldWriter, NewFileGetsTheUsualMode) {
  TempDir dir(0777);
  mode_t old = umask(022);
  Outcome r = save(dir, "neu.zko", sample());
  umask(old);
  ASSERT_TRUE(r.exited_with(0)) << r.describe();
  struct stat st {};
  stat((dir / "neu.zko").c_str(), &st);
  EXPECT_EQ(st.st_mode & 07777, 0644u);
}

TEST(WorldWriter, FailuresLeaveTheOldFileAndNoTemporaryFile) {
  struct Case {
    const char* what;
    std::string name;
    std::function<void(const TempDir&)> prepare;
    bool as_nobody;
    zeko::SupplyQuestion question;
    int status;
    const char* message;
  };
  const std::string old = "the old world\n";
  const std::vector<Case> cases = {
      {"read-only file", "w.zko", [](const TempDir& d) { chmod((d / "w.zko").c_str(), 0444); }, true, nullptr, 5,
       "Berechtigung"},
      {"directory as target", "ordner", [](const TempDir& d) { mkdir((d / "ordner").c_str(), 0755); }, false,
       nullptr, 21, "Ordner"},
      {"missing folder", "fehlt/w.zko", [](const TempDir&) {}, false, nullptr, 2, "fehlt/w.zko"},
      {"supply question ends the program", "w.zko", [](const TempDir&) {}, false,
       [] () -> int16_t { console::runtime_error(106, "Die Eingabe ist keine gueltige ganze Zahl."); }, 106,
       "ganze Zahl"},
  };
  for (const Case& c : cases) for (bool unnamed : {true, false}) {
    SCOPED_TRACE(unnamed ? "unnamed file" : "named temporary file");
    TempDir dir(0777);
    support::write_file(dir / "w.zko", old);
    c.prepare(dir);
    std::vector<std::string> before = dir.names();
    zeko::g_unnamed_save_file = unnamed;
    Outcome r = save(dir, c.name, sample(), c.question, c.as_nobody);
    zeko::g_unnamed_save_file = true;
    EXPECT_TRUE(r.exited_with(c.status)) << c.what << ": " << r.describe();
    EXPECT_NE(r.errors.find("Runtime error " + std::to_string(c.status)), std::string::npos) << c.what;
    EXPECT_NE(r.errors.find(c.message), std::string::npos) << c.what << ": " << r.errors;
    EXPECT_EQ(support::read_file(dir / "w.zko"), old) << c.what;
    EXPECT_EQ(dir.names(), before) << c.what;
  }
}

// --- the reader -------------------------------------------------------------

TEST(WorldReader, LayoutVariantsReadLikeTheRegularFile) {
  const World w = sample();
  const std::string regular = w.text();
  std::string spread;  // tabs and runs of blanks between the values
  for (char ch : regular) spread += ch == ' ' ? std::string("\t  ") : std::string(1, ch);
  std::string long_lines;  // more than 17 values on each grid line
  std::size_t at = 0;
  for (int y = 0; y < 10; ++y) {
    std::size_t end = regular.find('\n', at);
    long_lines += regular.substr(at, end - at) + " 77 88\n";
    at = end + 1;
  }
  long_lines += regular.substr(at);
  struct Case {
    const char* what;
    std::string text;
  };
  const std::vector<Case> cases = {
      {"regular", regular},
      {"CR LF", replace_all(regular, "\n", "\r\n")},
      {"lone CR", replace_all(regular, "\n", "\r")},
      {"tabs and blanks", spread},
      {"values beyond the 17th", long_lines},
      {"text after the last numbers", replace_all(regular, "12\n   4   6\n", "12 Gegenstaende\n   4   6 unten\n")},
      {"extra lines", regular + "abc\n-5 x\n\x01\xff\n"},
      {"no line end at the end", regular.substr(0, regular.size() - 1)},
      {"leading zeros and signs", replace_all(regular, "12\n   4   6\n", "+00000000000012\n0004 +006\n")},
  };
  for (const Case& c : cases) {
    Outcome r = load_text(c.text);
    ASSERT_TRUE(r.exited_with(0)) << c.what << ": " << r.describe();
    EXPECT_EQ(r.notes, state_of(w, "w.zko")) << c.what << ": " << escaped(c.text);
  }
}

TEST(WorldReader, EachGridRowStartsOnANewLine) {
  auto line = [](int from, int count) {
    std::string s;
    for (int v = from; v < from + count; ++v) s += " " + std::to_string(v);
    return s + "\n";
  };
  struct Case {
    const char* what;
    std::string text;
    World expected;
  };
  std::vector<Case> cases;
  {
    // Row 0 takes the first value of line 2 and skips the rest of it; the
    // supply line becomes row 9 and the position line its continuation.
    Case c {"16 values on line 1", line(100, 16), {}};
    c.text += line(200, 17);
    for (int y = 1; y < 9; ++y) c.text += line(300 + 20 * y, 17);
    c.text += "5\n   2   3\n";
    for (int x = 0; x < 16; ++x) c.expected.rows[0][x] = 100 + x;
    c.expected.rows[0][16] = 200;
    for (int y = 1; y < 9; ++y)
      for (int x = 0; x < 17; ++x) c.expected.rows[y][x] = 300 + 20 * y + x;
    c.expected.rows[9][0] = 5, c.expected.rows[9][1] = 2, c.expected.rows[9][2] = 3;
    cases.push_back(c);
  }
  {
    Case c {"all 170 values on one line", line(1, 170) + "5\n   2   3\n", {}};
    for (int x = 0; x < 17; ++x) c.expected.rows[0][x] = 1 + x;
    c.expected.rows[1][0] = 5, c.expected.rows[1][1] = 2, c.expected.rows[1][2] = 3;
    cases.push_back(c);
  }
  {
    World w = sample();
    std::string regular = w.text();
    std::size_t tenth = 0;
    for (int i = 0; i < 10; ++i) tenth = regular.find('\n', tenth) + 1;
    Case c {"stops after line 10", regular.substr(0, tenth), w};
    c.expected.supply = c.expected.x = c.expected.y = 0;
    cases.push_back(c);
    Case half {"stops in row 3", regular.substr(0, regular.find('\n', 0) * 3 + 3 + 5 * 8), {}};
    for (int y = 0; y < 3; ++y) half.expected.rows[y] = w.rows[y];
    for (int x = 0; x < 8; ++x) half.expected.rows[3][x] = w.rows[3][x];
    cases.push_back(half);
  }
  cases.push_back({"empty file", "", {}});
  cases.push_back({"only blanks and line ends", " \n\t\r\n\n", {}});
  for (const Case& c : cases) {
    Outcome r = load_text(c.text);
    ASSERT_TRUE(r.exited_with(0)) << c.what << ": " << r.describe();
    EXPECT_EQ(r.notes, state_of(c.expected, "w.zko")) << c.what;
  }
}

TEST(WorldReader, BadContentEndsTheProgramWithItsNumber) {
  const std::string regular = sample().text();
  auto with_value = [&](int line, const std::string& value) {  // replaces the first value of a grid line
    std::size_t at = 0;
    for (int i = 1; i < line; ++i) at = regular.find('\n', at) + 1;
    return regular.substr(0, at) + value + regular.substr(at + 5);
  };
  std::string sixteen_then_big;  // row 0's 17th value stands on line 2
  for (int x = 0; x < 16; ++x) sixteen_then_big += " 1";
  sixteen_then_big += "\n40000\n" + regular.substr(regular.find('\n') + 1);
  struct Case {
    const char* what;
    std::string text;
    int status;
    std::vector<std::string> message;  // parts of standard error
  };
  const std::vector<Case> cases = {
      {"letters", with_value(1, "  abc"), 106, {"Runtime error 106", "w.zko", "Zeile 1", "abc"}},
      {"digits and a letter", with_value(4, "  12a"), 106, {"Runtime error 106", "Zeile 4", "12a"}},
      {"sign alone", with_value(2, "    -"), 106, {"Runtime error 106"}},
      {"too long", with_value(3, "99999999999"), 106, {"Runtime error 106", "Zeile 3"}},
      {"beyond 32 bits", with_value(3, "2147483648"), 106, {"Runtime error 106"}},
      {"binary garbage", std::string("\x7f\x80\xff\x01\x02\xc3\xa4zz\0\x90", 11), 106, {"Runtime error 106"}},
      {"beyond 16 bits", with_value(3, "40000"), 201, {"Runtime error 201", "w.zko", "Zeile 3", "40000"}},
      {"beyond 16 bits, next line", sixteen_then_big, 201, {"Runtime error 201", "Zeile 2", "40000"}},
      {"largest 32-bit value", with_value(3, "2147483647"), 201, {"Runtime error 201"}},
      {"supply beyond 16 bits", replace_all(regular, "\n12\n", "\n40000\n"), 201, {"Runtime error 201", "Zeile 11"}},
      {"x = 17", replace_all(regular, "   4   6\n", "  17   6\n"), 201, {"Runtime error 201", "Zeile 12", "17"}},
      {"y = 10", replace_all(regular, "   4   6\n", "   4  10\n"), 201, {"Runtime error 201", "Zeile 12", "10"}},
      {"x = -1", replace_all(regular, "   4   6\n", "  -1   6\n"), 201, {"Runtime error 201", "-1"}},
      {"malformed position", replace_all(regular, "   4   6\n", "   4   6b\n"), 106, {"Runtime error 106"}},
  };
  for (const Case& c : cases) {
    Outcome r = load_text(c.text);
    EXPECT_TRUE(r.exited_with(c.status)) << c.what << ": " << r.describe();
    EXPECT_TRUE(r.notes.empty()) << c.what;
    for (const std::string& part : c.message)
      EXPECT_NE(r.errors.find(part), std::string::npos) << c.what << ": no \"" << part << "\" in " << r.errors;
  }
}

TEST(WorldReader, FilesThatCannotBeReadEndTheProgram) {
  struct Case {
    const char* what;
    std::function<void(const TempDir&)> prepare;
    bool as_nobody;
    int status;
    const char* message;
  };
  const std::vector<Case> cases = {
      {"missing", [](const TempDir&) {}, false, 2, "\"w.zko\""},
      {"a directory", [](const TempDir& d) { mkdir((d / "w.zko").c_str(), 0755); }, false, 21, "Ordner"},
      {"no read permission",
       [](const TempDir& d) {
         support::write_file(d / "w.zko", "1\n");
         chmod((d / "w.zko").c_str(), 0200);
       },
       true, 5, "Berechtigung"},
      // Refused at once instead of waiting for a writer or reading forever.
      {"a FIFO", [](const TempDir& d) { mkfifo((d / "w.zko").c_str(), 0644); }, false, 22, "keine gewoehnliche Datei"},
      {"a link to a device", [](const TempDir& d) { symlink("/dev/zero", (d / "w.zko").c_str()); }, false, 22,
       "keine gewoehnliche Datei"},
      {"a socket",
       [](const TempDir& d) {
         sockaddr_un address {};
         address.sun_family = AF_UNIX;
         std::snprintf(address.sun_path, sizeof address.sun_path, "%s", (d / "w.zko").c_str());
         int s = socket(AF_UNIX, SOCK_STREAM, 0);
         bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
         close(s);  // the socket file stays
       },
       false, 22, "keine gewoehnliche Datei"},
  };
  for (const Case& c : cases) {
    TempDir dir(0777);
    c.prepare(dir);
    Outcome r = load(dir, "w.zko", zeko::ZEKOPROG, c.as_nobody);
    EXPECT_TRUE(r.exited_with(c.status)) << c.what << ": " << r.describe();
    EXPECT_NE(r.errors.find("Runtime error " + std::to_string(c.status)), std::string::npos) << c.what;
    EXPECT_NE(r.errors.find(c.message), std::string::npos) << c.what << ": " << r.errors;
  }
}

// A name without '/' that is not in the working folder is looked for in the
// folders of ZEKO_WELTEN, in order, then in those of the system-wide file,
// then among the installed worlds; the name shown stays as typed.
TEST(WorldReader, NamesNotHereAreLookedForInTheWorldFolders) {
  World here = sample(), first = sample(), second = sample();
  here.supply = 1, first.supply = 2, second.supply = 3;
  TempDir dir(0777);
  for (const char* folder : {"eins", "zwei", "leer"}) mkdir((dir / folder).c_str(), 0755);
  support::write_file(dir / "eins/welt1.zko", first.text());  // one of the installed worlds too
  support::write_file(dir / "beide.zko", here.text());
  support::write_file(dir / "eins/beide.zko", first.text());
  support::write_file(dir / "eins/eins.zko", first.text());
  support::write_file(dir / "zwei/eins.zko", second.text());
  support::write_file(dir / "zwei/zwei.zko", second.text());
  support::write_file(dir / "zwei/gesperrt.zko", second.text());
  support::write_file(dir / "gesperrt.zko", "1\n");
  chmod((dir / "gesperrt.zko").c_str(), 0200);
  mkdir((dir / "eins/ordner.zko").c_str(), 0755);  // a folder of that name is taken as found
  mkdir((dir / "schule").c_str(), 0755);
  World school = sample();
  school.supply = 4;
  support::write_file(dir / "schule/eins.zko", school.text());
  support::write_file(dir / "schule/schule.zko", school.text());

  const std::string list = "leer::fehlt:" + (dir / "eins").string() + ":zwei";
  const std::string system_file = "# Welten der Schule\n  welten = /gibt/es/nicht:" + (dir / "schule").string() + "  # alle\n";
  struct Case {
    const char* what;
    std::string welten;
    std::string name;
    int status;
    std::vector<std::string> state;  // status 0: what was loaded (none: any world); else parts of the message
    std::string config = "";         // the system-wide file
  };
  const std::vector<Case> cases = {
      {"the working folder first", list, "beide.zko", 0, state_of(here, "beide.zko")},
      {"then the first folder that holds it", list, "eins.zko", 0, state_of(first, "eins.zko")},
      {"relative and absolute folders", list, "zwei.zko", 0, state_of(second, "zwei.zko")},
      {"not looked up without ZEKO_WELTEN", "", "zwei.zko", 2, {"\"zwei.zko\""}},
      {"a name with / is not looked up", list, "./zwei.zko", 2, {"\"./zwei.zko\""}},
      {"found nowhere", list, "nix.zko", 2, {"\"nix.zko\"", "ZEKO_WELTEN"}},
      {"unreadable here is not looked up", list, "gesperrt.zko", 5, {"Berechtigung", "\"gesperrt.zko\""}},
      {"found in a folder, errors name the path", list, "ordner.zko", 21, {dir / "eins/ordner.zko"}},
      {"the system-wide folders after ZEKO_WELTEN", list, "eins.zko", 0, state_of(first, "eins.zko"), system_file},
      {"the system-wide folders alone", "", "schule.zko", 0, state_of(school, "schule.zko"), system_file},
      {"a relative folder there counts not", "", "eins.zko", 2, {"\"eins.zko\""}, "welten = eins\n"},
      {"the installed worlds last", "", "welt1.zko", 0, {}, system_file},
      {"ZEKO_WELTEN before the installed worlds", list, "welt1.zko", 0, state_of(first, "welt1.zko"), system_file},
      {"folders of every welten line, blanks and empty entries skipped", "", "zwei.zko", 0, state_of(second, "zwei.zko"),
       "\nwelten = /gibt/es/nicht\r\nwelten=: :  " + (dir / "zwei").string() + "\r\n"},
      {"aufgaben and unknown keys give no world folders", "", "zwei.zko", 2, {"\"zwei.zko\""},
       "aufgaben = " + (dir / "zwei").string() + "\nwelt = " + (dir / "zwei").string() + "\n" + (dir / "zwei").string() +
           "\n"},
  };
  const std::string config_path = dir / "zeko.conf";
  setenv("ZEKO_KONFIGURATION", config_path.c_str(), 1);
  for (const Case& c : cases) {
    support::write_file(config_path, c.config);
    setenv("ZEKO_WELTEN", c.welten.c_str(), 1);
    Outcome r = load(dir, c.name, zeko::ZEKOPROG, c.status == 5);
    unsetenv("ZEKO_WELTEN");
    ASSERT_TRUE(r.exited_with(c.status)) << c.what << ": " << r.describe();
    if (c.status == 0) {
      if (!c.state.empty()) {
        EXPECT_EQ(r.notes, c.state) << c.what;
      }
      continue;
    }
    for (const std::string& part : c.state)
      EXPECT_NE(r.errors.find(part), std::string::npos) << c.what << ": no \"" << part << "\" in " << r.errors;
  }
  unsetenv("ZEKO_KONFIGURATION");
}

TEST(WorldReader, DeliverablesKeepTheNameAndSupplyTheirOwnWay) {
  const World w = sample();
  const std::string name24 = "abcdefghijklmnopqrst.zko";
  const std::string name60 = std::string(50, 'n') + "0123456789";
  TempDir dir(0777);
  support::write_file(dir / name24, w.text());
  support::write_file(dir / name60.substr(0, 50), w.text());  // long names are cut before use

  World in_editor = w;
  in_editor.supply = 1000;
  struct Case {
    const char* what;
    const zeko::Deliverable* d;
    std::string name;
    std::vector<std::string> state;
  };
  const std::vector<Case> cases = {
      {"library", &zeko::ZEKOINC, name24, state_of(w, "abcdefghijkl")},
      {"library, long name", &zeko::ZEKOINC, name60, state_of(w, std::string(12, 'n'))},
      {"recorder", &zeko::ZEKOPROG, name24, state_of(w, name24)},
      {"recorder, long name", &zeko::ZEKOPROG, name60, state_of(w, name60.substr(0, 50))},
      {"editor", &zeko::ZEKOEDIT, name24, state_of(in_editor, "before")},
  };
  for (const Case& c : cases) {
    Outcome r = load(dir, c.name, *c.d);
    ASSERT_TRUE(r.exited_with(0)) << c.what << ": " << r.describe();
    EXPECT_EQ(r.notes, c.state) << c.what;
  }

  // The editor reads the file's supply before it sets 1000: it must still be a number.
  World empty_handed = w;
  empty_handed.supply = 0;
  Outcome zero = load_text(empty_handed.text(), zeko::ZEKOEDIT);
  EXPECT_EQ(zero.notes, state_of(in_editor)) << zero.describe();
  Outcome bad = load_text(replace_all(w.text(), "\n12\n", "\nviele\n"), zeko::ZEKOEDIT);
  EXPECT_TRUE(bad.exited_with(106)) << bad.describe();
}

}  // namespace
