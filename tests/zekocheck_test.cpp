// End-to-end checks of zekocheck: every task of the collection against its
// model and wrong solution, tasks made from a model solution, the reason for
// every way a learner program can end (cheats on the verdict included), the
// JSON, JUnit and HTML outputs (the page read back by a real browser), the
// sandbox against a table of attacks, and the world-file check.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <linux/keyctl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "files.h"
#include "learner_env.h"
#include "markup_check.h"
#include "temp_dir.h"
#include "world_text.h"

namespace fs = std::filesystem;

namespace {

using Result = support::ShellResult;

// Options that every run gets: in a sanitizer build the learner programs
// need the sanitizer runtime preloaded, which neither bwrap nor an address
// space limit tolerates.
std::string common_options() {
#ifdef ZEKO_SANITIZE
  return " --ohne-sandbox --speicher 0";
#else
  return "";
#endif
}

// The CSV's note column: what the test expects, plus the mark of the
// sanitizer build's checks, which run without the sandbox.
std::string csv_note(std::string note) {
  if (!common_options().empty()) note += (note.empty() ? "" : ", ") + std::string("ohne Sandbox gelaufen");
  return note;
}

std::string environment() {
  std::string env;
  for (const auto& e : learner_environment()) env += "'" + e + "' ";
  return env;
}

class Zekocheck : public ::testing::Test {
 protected:
  void put(const std::string& name, const std::string& text) { dir_.put(name, text); }

  // Runs a command in the test folder; standard output only, or with errors.
  Result shell(const std::string& command, bool with_errors = false) {
    std::string full = "cd '" + dir_.path() + "' && env " + environment() + "TMPDIR='" + dir_.path() + "' " +
                       command + (with_errors ? " 2>&1" : " 2>/dev/null");
    return support::run_shell(full);
  }

  Result zekocheck(const std::string& args, bool with_errors = false) {
    return shell(std::string(ZEKOCHECK_PATH) + common_options() + " " + args, with_errors);
  }

  support::TempDir dir_;
};

// A world file as the editor writes it; fields are {x, y, value}.
std::string world(int supply, int x, int y, std::vector<std::vector<int>> fields = {}) {
  support::World w;
  w.robot(x, y, supply);
  for (const auto& f : fields) w.at(f[0], f[1], f[2]);
  return w.text();
}

std::string program(const std::string& name, const std::string& body, const std::string& decls = "") {
  return "program " + name + ";\nuses ZekoInc;\n" + decls + "begin\n" + body + "\nend.\n";
}

// The line of the people's output that starts with `name: `.
std::string line_of(const std::string& out, const std::string& name) {
  std::istringstream in(out);
  std::string line;
  while (std::getline(in, line))
    if (line.rfind(name + ": ", 0) == 0) return line.substr(name.size() + 2);
  return "(keine Zeile fuer " + name + ")";
}

using support::JsonCheck;

// Headless Chromium with a fresh profile on a page of ours; what it prints.
Result browser(const std::string& what, const fs::path& page, const fs::path& profile) {
  fs::remove_all(profile);
  return support::run_shell("timeout 120 chromium --headless --no-sandbox --disable-gpu --disable-quic "
                            "--no-first-run --disable-background-networking --disable-component-update "
                            "--disable-sync --user-data-dir='" + profile.string() + "' " + what + " 'file://" +
                            page.string() + "' 2>/dev/null");
}

// Each grid of a page: the fields marked as differing and ZEKO's, as "x,y".
struct Grid {
  std::set<std::string> marked;
  std::string zeko;
};
std::vector<Grid> grids_of(const std::string& dom, const std::string& grid) {
  static const std::regex cell(R"re(<td class="([^"]*)" data-x="(\d+)" data-y="(\d+)")re");
  std::vector<Grid> grids;
  for (std::size_t at = dom.find(grid); at != std::string::npos; at = dom.find(grid, at + 1)) {
    std::string table = dom.substr(at, dom.find("</table>", at) - at);
    Grid g;
    for (std::sregex_iterator m(table.begin(), table.end(), cell), end; m != end; ++m) {
      std::string classes = " " + (*m)[1].str() + " ", place = (*m)[2].str() + "," + (*m)[3].str();
      if (classes.find(" diff ") != std::string::npos) g.marked.insert(place);
      if (classes.find(" zeko ") != std::string::npos) g.zeko = place;
    }
    grids.push_back(g);
  }
  return grids;
}

// ---------------------------------------------------------------------------

TEST_F(Zekocheck, EveryTaskPassesItsModelSolutionAndFailsItsWrongOne) {
  std::vector<std::string> tasks;
  for (const auto& entry : fs::directory_iterator(SOLUTIONS_DIR)) tasks.push_back(entry.path().filename());
  std::sort(tasks.begin(), tasks.end());
  ASSERT_GE(tasks.size(), 12u);
  for (const std::string& task : tasks) {
    SCOPED_TRACE(task);
    std::string folder = std::string(SOLUTIONS_DIR) + "/" + task;
    int pairs = 0;
    for (const auto& entry : fs::directory_iterator(std::string(TASKS_DIR) + "/" + task))
      if (entry.path().filename().string().rfind("ziel", 0) == 0) ++pairs;
    EXPECT_GE(pairs, 2);
    // Pascal, and C where the task has C solutions too
    for (std::string ending : {".pas", ".c"}) {
      std::string model = folder + "/loesung" + ending, wrong = folder + "/falsch" + ending;
      if (ending != ".pas" && !fs::exists(model)) continue;
      Result r = zekocheck("--aufgabe " + task + " " + model + " " + wrong);
      EXPECT_EQ(r.status, 1) << r.output;
      EXPECT_EQ(line_of(r.output, model), "bestanden") << r.output;
      std::string reason = line_of(r.output, wrong);
      EXPECT_EQ(reason.rfind("nicht bestanden - Welt ", 0), 0u) << r.output;
      if (task == "01-geradeaus") {  // it walks exactly as far as the first world needs; how to watch it there
        EXPECT_EQ(reason, "nicht bestanden - Welt 2: falsch" + ending +
                              ", Zeile 5: vor - vor Zeko liegt ein Hindernis - ansehen: ZEKO_WELT=geradeaus-2 " +
                              folder + "/falsch");
      }
    }
  }
}

TEST_F(Zekocheck, TasksAreListedShownAndFoundByShortName) {
  Result list = zekocheck("--aufgaben");
  EXPECT_EQ(list.status, 0);
  EXPECT_NE(list.output.find("01-geradeaus"), std::string::npos) << list.output;
  EXPECT_NE(list.output.find("12-rundgang"), std::string::npos) << list.output;
  Result shown = zekocheck("--aufgabe treppe --zeigen");
  EXPECT_EQ(shown.status, 0);
  EXPECT_EQ(shown.output.rfind("Die Treppe\n", 0), 0u) << shown.output;
  // The allowed commands, the start worlds' names and each start world
  // drawn, ZEKO on its field; never a goal.
  for (const char* part : {"\nBefehle: ", "\nStart-Welten: treppe-1, treppe-2\n", "\ntreppe-2:\n",
                                   "\n   9 v . . . . # # # . . . . . . . . .\n"})
    EXPECT_NE(shown.output.find(part), std::string::npos) << part << " in\n" << shown.output;
  EXPECT_EQ(shown.output.find("ziel"), std::string::npos) << shown.output;
  Result missing = zekocheck("--aufgabe gibtsnicht x.pas", true);
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.output.find("die Aufgabe \"gibtsnicht\" gibt es nicht"), std::string::npos) << missing.output;

  // A task of the teacher's own, made from a model solution and two start
  // worlds: the goals are the solution's end worlds, in the editor's format.
  const std::string solutions = std::string(SOLUTIONS_DIR) + "/01-geradeaus/";
  const std::string worlds = std::string(TASKS_DIR) + "/01-geradeaus/";
  const std::string model = solutions + "loesung.pas", wrong = solutions + "falsch.pas";
  const std::string two_starts = " " + worlds + "start1.zko " + worlds + "start2.zko";
  Result made = zekocheck("--aufgabe-anlegen eigene/weit " + model + two_starts, true);
  EXPECT_EQ(made.status, 0) << made.output;
  EXPECT_EQ(dir_.read("eigene/weit/ziel2.zko"), support::read_file(worlds + "ziel2.zko"));
  EXPECT_EQ(dir_.read("eigene/weit/start1.zko"), support::read_file(worlds + "start1.zko"));
  std::string text = dir_.read("eigene/weit/aufgabe.txt");
  EXPECT_EQ(text.rfind("weit - Titel hier eintragen", 0), 0u) << text;
  EXPECT_NE(text.find("\nBefehle: vor, vorne_frei\n"), std::string::npos) << text;
  // The teacher's collection first, the installed one (the empty entry) after it.
  const std::string collections = "ZEKO_AUFGABEN='eigene:' " + std::string(ZEKOCHECK_PATH) + common_options();
  Result both = shell(collections + " --aufgaben");
  EXPECT_EQ(both.status, 0);
  EXPECT_EQ(both.output.rfind("Sammlung eigene:\nweit                  weit - Titel", 0), 0u) << both.output;
  EXPECT_NE(both.output.find("\n\nSammlung "), std::string::npos) << both.output;
  EXPECT_NE(both.output.find("\n01-geradeaus          Geradeaus bis zur Wand\n"), std::string::npos) << both.output;
  Result own = shell(collections + " --aufgabe weit " + model + " " + wrong);
  EXPECT_EQ(own.status, 1);
  EXPECT_EQ(line_of(own.output, model), "bestanden") << own.output;
  EXPECT_EQ(line_of(own.output, wrong), "nicht bestanden - Welt 2: falsch.pas, Zeile 5: vor - vor Zeko liegt ein "
                                        "Hindernis - ansehen: ZEKO_WELT=weit-2 " + solutions + "falsch");
  EXPECT_EQ(line_of(shell(collections + " --aufgabe geradeaus " + model).output, model), "bestanden");
  // The school's collection named once in the system-wide file: found
  // without ZEKO_AUFGABEN; the installed one still after it.
  put("zeko.conf", "# Schule\naufgaben = " + (dir_ / "eigene").string() + "\n");
  const std::string school = "ZEKO_KONFIGURATION=zeko.conf " + std::string(ZEKOCHECK_PATH) + common_options();
  EXPECT_EQ(line_of(shell(school + " --aufgabe weit " + model).output, model), "bestanden");
  EXPECT_EQ(line_of(shell(school + " --aufgabe geradeaus " + model).output, model), "bestanden");
  // The new task is used by its path too, as the last line of its making says.
  EXPECT_NE(made.output.find("\nPruefen mit: zekocheck --aufgabe '" + (dir_ / "eigene/weit").string() +
                             "' -- PROGRAMM...\n"), std::string::npos) << made.output;
  // Its worlds are in no collection then: the hint opens the start world by its full path.
  for (std::string path : {std::string("eigene/weit"), std::string("./eigene/weit/"), (dir_ / "eigene/weit").string()})
    EXPECT_EQ(line_of(zekocheck("--aufgabe " + path + " " + wrong).output, wrong),
              "nicht bestanden - Welt 2: falsch.pas, Zeile 5: vor - vor Zeko liegt ein Hindernis - ansehen: ZEKO_WELT=" +
                  (dir_ / "eigene/weit/start2.zko").string() + " " + solutions + "falsch") << path;
  // An exact name in a later collection wins over a short one in an earlier.
  fs::create_directories(dir_ / "zweite");
  fs::copy(dir_ / "eigene/weit", dir_ / "zweite/geradeaus");
  Result exact = shell("ZEKO_AUFGABEN=':zweite' " + std::string(ZEKOCHECK_PATH) + " --aufgabe geradeaus --zeigen");
  EXPECT_EQ(exact.output.rfind("weit - Titel", 0), 0u) << exact.output;

  // The Befehle: line names what the solution calls and what its source
  // names, never a word in a comment or a string.
  struct Commands {
    std::string file, source, line;
  } commands[] = {
      {"kommentare.pas",
       "program k;\nuses ZekoInc;\n{ gib }\n(* nimm\nlinks *)\n// tasche_leer\nbegin\n"
       "  initialisiere_die_Roboterwelt('gib ''nimm''');\n  writeln('am_anfang');\n  WHILE Vorne_Frei DO vor;\nend.\n",
       "Befehle: vor, vorne_frei"},
      {"kommentare.c",
       "#include \"zekoinc.h\"\n/* gib\n nimm */\nint main(void) { // links\n  char q = '\\'';\n"
       "  initialisiere_die_roboterwelt(\"gib \\\" nimm\");\n  while (VORNE_FREI()) vor();\n  (void)q;\n  return 0;\n}\n",
       "Befehle: vor, vorne_frei"},
      {"gross.c",  // C tells case apart: only a name in capitals is the macro
       "#include \"zekoinc.h\"\nint main(void) {\n  int Gib = 0, Links = Gib;\n  initialisiere_die_roboterwelt(\"w\");\n"
       "  while (vorne_frei()) vor();\n  return Links;\n}\n",
       "Befehle: vor, vorne_frei"},
      {"zweig.pas",  // a branch none of the worlds takes: named in the source, so allowed
       "program z;\nuses ZekoInc;\nbegin\n  initialisiere_die_Roboterwelt('w');\n"
       "  while vorne_frei do vor;\n  if not tasche_leer then gib\nend.\n",
       "Befehle: vor, gib, vorne_frei, tasche_leer"},
  };
  for (const Commands& c : commands) {
    put(c.file, c.source);
    std::string folder = "befehle-" + c.file;
    Result r = zekocheck("--aufgabe-anlegen " + folder + " " + c.file + two_starts, true);
    EXPECT_EQ(r.status, 0) << c.file << "\n" << r.output;
    std::string task_text = dir_.read(folder + "/aufgabe.txt");
    EXPECT_NE(task_text.find("\n" + c.line + "\n"), std::string::npos) << c.file << "\n" << task_text;
  }

  // A task is made only from a solution that solves every world, and only
  // in a new or empty folder.
  struct Refused {
    std::string args;
    int status;
    std::string message;
  } refused[] = {
      {"eigene/neu " + wrong + two_starts, 1,
       "die Loesung scheitert an Welt 2 (" + worlds + "start2.zko): falsch.pas, Zeile 5: vor - vor Zeko liegt ein "
       "Hindernis\nzekocheck: keine Aufgabe angelegt\n"},
      {"eigene/weit " + model + two_starts, 2, "der Ordner eigene/weit ist nicht leer"},
      {"eigene/neu " + model + " fehlt.zko", 2, "die Start-Welt fehlt.zko ist nicht lesbar: die Datei gibt es nicht"},
      {"eigene/neu " + model, 2, "--aufgabe-anlegen braucht ORDNER, LOESUNG und mindestens eine START-Welt"},
  };
  for (const Refused& r : refused) {
    Result result = zekocheck("--aufgabe-anlegen " + r.args, true);
    EXPECT_EQ(result.status, r.status) << r.args;
    EXPECT_NE(result.output.find(r.message), std::string::npos) << r.args << "\n" << result.output;
    EXPECT_FALSE(fs::exists(dir_ / "eigene/neu")) << r.args;
  }
  EXPECT_EQ(dir_.read("eigene/weit/ziel2.zko"), support::read_file(worlds + "ziel2.zko"));
}

// Every way a learner program ends, in one class run of programs compiled
// once: the reasons for people, JSON and JUnit, the limits, and that no
// process stays behind.
TEST_F(Zekocheck, EveryEndHasItsReasonInEveryOutput) {
  put("start.zko", world(0, 2, 1, {{2, 1, 1}}));
  const std::string goal = world(1, 2, 3);
  put("ziel.zko", goal);
  const std::string solve = "initialisiere_die_Roboterwelt('egal.zko'); nimm; vor; vor; warte;";
  // A forged result: the goal world and a good end, written where the
  // library once wrote its result, then an exit past the library.
  std::string forged = "s := GetEnvironmentVariable('ZEKO_PRUEFEN');\nif s = '' then s := 'ergebnis';\n"
                       "assign(f, s);\nrewrite(f);\n";
  std::istringstream goal_lines(goal + "richtung 1\nbefehle 3\nwelten 1\nende normal\n");
  for (std::string l; std::getline(goal_lines, l);) forged += "writeln(f, '" + l + "');\n";
  struct Case {
    std::string name, source, reason;
  };
  const std::vector<Case> cases = {
      {"gut", program("gut", solve), "bestanden"},
      // readln gets the end of input at once instead of waiting
      {"liest", program("liest", "readln(s); if s = '' then begin " + solve + " end;", "var s: string;\n"),
       "bestanden"},
      {"ewig", program("ewig", "initialisiere_die_Roboterwelt('w'); while true do links;"),
       "nicht bestanden - Abbruch nach 1000 Befehlen - zuletzt links"},
      // two processes that compute for ever: both end with the time limit
      {"rechnet",
       "program rechnet;\nuses ZekoInc, BaseUnix;\nvar i: longint;\nbegin\ninitialisiere_die_Roboterwelt('w');\n"
       "fpFork;\ni := 0;\nwhile true do i := i + 1;\nend.\n",
       "nicht bestanden - Zeitlimit (1 s)"},
      {"leer", program("leer", "initialisiere_die_Roboterwelt('w'); vor; nimm;"),
       "nicht bestanden - leer.pas, Zeile 4: nimm - auf dem Feld liegt nichts"},
      {"teilt", program("teilt", "initialisiere_die_Roboterwelt('w');\nj := 0;\ni := 5 div j;\nwriteln(i);",
                        "var i, j: integer;\n"),
       "nicht bestanden - Laufzeitfehler 200 in Zeile 7"},
      {"ohnewelt", program("ohnewelt", "for i := 1 to 20 do writeln('Zeile ', i);", "var i: integer;\n"),
       "nicht bestanden - keine Welt geladen"},
      {"falsch", program("falsch", "initialisiere_die_Roboterwelt('w'); vor; warte;"),
       "nicht bestanden - Endwelt falsch (1 Feld, Position, Vorrat anders als im Ziel)"},
      // a loop of queries ends at its own limit, long before the time limit
      {"abfragen", program("abfragen", "initialisiere_die_Roboterwelt('w'); while not feld_leer do ;"),
       "nicht bestanden - Abbruch nach 10000 Abfragen (vorne_frei, feld_leer, ...)"},
      // exactly the limit of commands passes (the heading never counts), one more is stopped
      {"genau", program("genau", "initialisiere_die_Roboterwelt('w'); nimm; vor; vor; for i := 1 to 997 do links;",
                        "var i: integer;\n"),
       "bestanden"},
      {"einmehr", program("einmehr", "initialisiere_die_Roboterwelt('w'); nimm; vor; vor; for i := 1 to 998 do links;",
                          "var i: integer;\n"),
       "nicht bestanden - Abbruch nach 1000 Befehlen - zuletzt links"},
      // the goal copied over the world file the program names: the start
      // world comes from zekocheck, not from a file
      {"kopiert",
       program("kopiert", "assign(a, '" + (dir_ / "ziel.zko").string() + "');\n{$I-} reset(a); {$I+}\n"
               "if IOResult = 0 then begin\nassign(b, 'start.zko'); rewrite(b);\n"
               "while not eof(a) do begin readln(a, s); writeln(b, s) end;\nclose(a); close(b)\nend;\n"
               "initialisiere_die_Roboterwelt('start.zko'); warte;",
               "var a, b: text; s: string;\n"),
       "nicht bestanden - Endwelt falsch (1 Feld, Position, Vorrat anders als im Ziel)"},
      {"faelscht",
       "program faelscht;\nuses ZekoInc, BaseUnix, SysUtils;\nvar f: text; s: string;\nbegin\n"
       "initialisiere_die_Roboterwelt('w');\n" + forged + "close(f);\nfpExit(0);\nend.\n",
       "nicht bestanden - Endwelt falsch (1 Feld, Position, Vorrat anders als im Ziel)"},
      // a command that returned was sent: leaving past the library's ends changes nothing
      {"verlaesst",
       "program verlaesst;\nuses ZekoInc, BaseUnix;\nbegin\ninitialisiere_die_Roboterwelt('w'); nimm; vor; vor; vor;\n"
       "fpExit(0);\nend.\n",
       "nicht bestanden - Endwelt falsch (Position anders als im Ziel)"},
      // bytes forged on the check channel count as calls made, or break it
      {"schmuggelt",
       "program schmuggelt;\nuses ZekoInc, BaseUnix;\nbegin\ninitialisiere_die_Roboterwelt('w'); nimm; vor; vor;\n"
       "fpWrite(3, 'v', 1);\nend.\n",
       "nicht bestanden - Endwelt falsch (Position anders als im Ziel)"},
      {"stoert",
       "program stoert;\nuses ZekoInc, BaseUnix;\nbegin\ninitialisiere_die_Roboterwelt('w'); nimm; vor; vor;\n"
       "fpWrite(3, 'X', 1);\nend.\n",
       "nicht bestanden - Pruefkanal gestoert: unbekannte Nachricht (Byte 88)"},
      {"meldet",
       "program meldet;\nuses ZekoInc, BaseUnix;\nbegin\ninitialisiere_die_Roboterwelt('w'); nimm; vor; vor;\n"
       "fpWrite(3, 'M'#0'M'#0'M'#0'M'#0'M'#0, 10);\nend.\n",
       "nicht bestanden - Pruefkanal gestoert: zu viele Meldungen"},
      // start worlds asked for without end and never read: the program waits, our memory stays bounded
      {"fragt",
       "program fragt;\nuses ZekoInc, BaseUnix;\nvar b: array[0..4095] of char;\nbegin\nFillChar(b, SizeOf(b), 'W');\n"
       "while true do fpWrite(3, b, SizeOf(b));\nend.\n",
       "nicht bestanden - Pruefkanal gestoert: die Start-Welt wird nicht abgeholt"},
      // a program's escape sequences are shown, not sent to the teacher's terminal
      {"farbe", program("farbe", "write(#27'[2J'#27'[32mbestanden'#13#10#155'2J'#$E2#$80#$AE'cba');"),
       "nicht bestanden - keine Welt geladen"},
      // output that would end a JSON string or an XML attribute, and bytes that are no UTF-8
      {"zeichen", program("zeichen", "writeln('\\\", \"passed\": true, \"x\": \"\\ <b a=\"1\">&amp;</b>');\n"
                                      "writeln(#$ED#$A0#$80' '#$C0#$AF' '#$F5#$FF' '#$EF#$BF#$BF);"),
       "nicht bestanden - keine Welt geladen"},
  };
  std::string compile = "true", names;
  for (const Case& c : cases) {
    put(c.name + ".pas", c.source);
    compile += " && " + std::string(ZEKOC_PATH) + " " + c.name + ".pas >/dev/null";
    names += " " + c.name;
  }
  // C++ reading standard input itself gets its end, whatever zekocheck's own holds
  put("liestcin.cpp",
      "#include <iostream>\n#include <string>\n#include \"zekoinc.h\"\nint main() {\n  std::string word;\n"
      "  initialisiere_die_roboterwelt(\"w\");\n  if (std::cin >> word) return 0;\n  nimm();\n  vor();\n  vor();\n"
      "  return 0;\n}\n");
  compile += " && " + std::string(LEARNER_CXX) + " -I'" ZEKOINC_INCLUDE_DIR "' liestcin.cpp -o liestcin -L'" ZEKOINC_LIB_DIR
             "' -lzekoinc -Wl,-rpath,'" ZEKOINC_LIB_DIR "'";
  put("eingabe.txt", "daten\nmehr daten\n");
  ASSERT_EQ(shell(compile, true).status, 0);
  put("kaputt.pas", program("kaputt", "vorr;"));
  put("kaputt2.pas", program("kaputt", "vorr;"));  // compiled once with kaputt.pas, its messages its own
  // a compiler message with the program's control characters in it
  put("steuer.pas", "program steuer;\n{$ERROR \xC2\x9B" "2J\xE2\x80\xAE" "cba}\nbegin\nend.\n");
  put("notiz.txt", "kein Programm\n");  // neither source nor executable: left out with a note
  put("esc\033[7m", "kein Programm\n");
  ASSERT_EQ(::chmod((dir_ / "esc\033[7m").c_str(), 0755), 0);

  Result people = zekocheck("--zeit 1 --max-befehle 1000 --junit junit.xml start.zko ziel.zko" + names +
                            " liestcin kaputt.pas kaputt2.pas steuer.pas fehlt.pas notiz.txt esc* < eingabe.txt", true);
  EXPECT_NE(people.output.find("zekocheck: Hinweis: uebersprungen (weder Quelltext noch Programm): notiz.txt\n"),
            std::string::npos) << people.output;
  EXPECT_EQ(people.status, 1);
  for (const Case& c : cases) EXPECT_EQ(line_of(people.output, c.name), c.reason) << people.output;
  rusage children {};
  getrusage(RUSAGE_CHILDREN, &children);
  EXPECT_LT(children.ru_maxrss, 512L * 1024) << "KB at most, of zekocheck and the compilers";
  EXPECT_EQ(line_of(people.output, "liestcin"), "bestanden") << people.output;
  EXPECT_EQ(line_of(people.output, "esc^[[7m"), "nicht bestanden - Programm laesst sich nicht starten");
  EXPECT_NE(people.output.find("  | ^[[2J^[[32mbestanden\n  | \\x9b2J<U+202E>cba\n"), std::string::npos)
      << people.output;
  EXPECT_EQ(people.output.find('\033'), std::string::npos);
  std::size_t steuer = people.output.find("\n  steuer.pas(2,");
  EXPECT_NE(people.output.find("\\x9b2J<U+202E>cba", steuer), std::string::npos) << people.output;
  EXPECT_TRUE(support::terminal_safe(people.output)) << people.output;
  EXPECT_EQ(line_of(people.output, "kaputt.pas"), "nicht bestanden - nicht uebersetzbar");
  // the compiler's first message (in the compiler's language) without its summary
  std::size_t message = people.output.find("\n  kaputt.pas(4,1) ");
  EXPECT_NE(message, std::string::npos) << people.output;
  EXPECT_NE(people.output.find("\"vorr\"", message), std::string::npos) << people.output;
  EXPECT_EQ(people.output.find("kaputt.pas(5)"), std::string::npos) << people.output;
  EXPECT_EQ(line_of(people.output, "kaputt2.pas"), "nicht bestanden - nicht uebersetzbar");
  EXPECT_NE(people.output.find("\n  kaputt2.pas(4,1) "), std::string::npos) << people.output;
  EXPECT_EQ(line_of(people.output, "fehlt.pas"), "nicht bestanden - Datei nicht gefunden");
  EXPECT_EQ(line_of(people.output, "notiz.txt"), "(keine Zeile fuer notiz.txt)");
  // the wrong world side by side, the differing field marked in both grids
  EXPECT_NE(people.output.find("    1 . .*1 . ."), std::string::npos) << people.output;
  EXPECT_NE(people.output.find("    1 . .*. . ."), std::string::npos) << people.output;
  // ZEKO in both: in the goal without a heading, at the end facing down
  EXPECT_NE(people.output.find("    3 . . Z . ."), std::string::npos) << people.output;
  EXPECT_NE(people.output.find("    2 . . v . ."), std::string::npos) << people.output;
  EXPECT_NE(people.output.find("  Position: erwartet x=2 y=3, tatsaechlich x=2 y=2\n"), std::string::npos);
  EXPECT_NE(people.output.find("  Vorrat: erwartet 1, tatsaechlich 0\n"), std::string::npos);
  // the program's own text, cut to a few lines
  EXPECT_NE(people.output.find("  | Zeile 5\n  | ... (20 Zeilen)\n"), std::string::npos) << people.output;
  EXPECT_EQ(people.output.find("Zeile 6"), std::string::npos);

  std::string junit;
  junit = dir_.read("junit.xml");
  EXPECT_EQ(junit.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites", 0), 0u) << junit;
  EXPECT_NE(junit.find("tests=\"26\" failures=\"22\""), std::string::npos) << junit;
  EXPECT_NE(junit.find("name=\"kaputt.pas\""), std::string::npos);
  std::size_t failure = junit.find("message=\"nicht uebersetzbar: kaputt.pas(4,1) ");
  EXPECT_NE(failure, std::string::npos) << junit;
  EXPECT_NE(junit.find("&quot;vorr&quot;", failure), std::string::npos) << junit;
  EXPECT_TRUE(support::xml_well_formed(junit)) << junit;
  EXPECT_NE(junit.find("<system-out>\\&quot;, &quot;passed&quot;: true, &quot;x&quot;: &quot;\\ &lt;b a=&quot;1&quot;&gt;"
                       "&amp;amp;&lt;/b&gt;\n\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD \xEF\xBF\xBD\xEF\xBF\xBD \xEF\xBF\xBD\xEF\xBF\xBD "
                       "\xEF\xBF\xBD\n</system-out>"),
            std::string::npos) << junit;

  Result json =
      zekocheck("--json --zeit 1 --max-befehle 1000 start.zko ziel.zko gut rechnet falsch teilt kaputt.pas zeichen");
  EXPECT_EQ(json.status, 1);
  EXPECT_TRUE(JsonCheck(json.output).valid()) << json.output;
  EXPECT_NE(json.output.find("{\"name\": \"zeichen\", \"passed\": false,"), std::string::npos) << json.output;
  EXPECT_NE(json.output.find("\"output\": \"\\\\\\\", \\\"passed\\\": true, \\\"x\\\": \\\"\\\\ <b a=\\\"1\\\">&amp;</b>\\n"
                             "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD \xEF\xBF\xBD\xEF\xBF\xBD \xEF\xBF\xBD\xEF\xBF\xBD \xEF\xBF\xBD\\n\""),
            std::string::npos) << json.output;
  for (const char* failed : {"rechnet", "teilt", "kaputt.pas"})  // a time-out, a crash, no compile
    EXPECT_NE(json.output.find(std::string("{\"name\": \"") + failed + "\", \"passed\": false,"), std::string::npos)
        << failed << "\n" << json.output;
  EXPECT_NE(json.output.find("{\"name\": \"gut\", \"passed\": true, \"reason\": \"\", \"world\": 0, \"commands\": 3,"),
            std::string::npos)
      << json.output;
  EXPECT_NE(json.output.find("\"fields\": [{\"x\": 2, \"y\": 1, \"expected\": 0, \"actual\": 1}], \"position\": "
                          "{\"expected\": {\"x\": 2, \"y\": 3}, \"actual\": {\"x\": 2, \"y\": 2}}, \"supply\": "
                          "{\"expected\": 1, \"actual\": 0}"),
            std::string::npos)
      << json.output;
  // the time limit ends the loop within a second of it
  std::size_t at = json.output.find("\"reason\": \"Zeitlimit (1 s)\"");
  ASSERT_NE(at, std::string::npos) << json.output;
  long ms = std::stol(json.output.substr(json.output.find("\"milliseconds\": ", at) + 16));
  EXPECT_GE(ms, 1000);
  EXPECT_LT(ms, 2000);

  // Identical sources are compiled once (a compiler that counts its
  // compiles, which only writes its count outside the sandbox, and as
  // whichever user compiles), and each copy still runs on its own.
  put("gut2.pas", dir_.read("gut.pas"));
  std::string same_size = dir_.read("gut.pas");  // as long as gut.pas, one command other
  same_size.replace(same_size.rfind("vor;"), 4, "gib;");
  put("gleichlang.pas", same_size);
  put("zaehler", "");
  put("zaehlt", "#!/bin/sh\ncase \"$*\" in *.pas*) echo x >>'" + (dir_ / "zaehler").string() +
                    "';; esac\nexec fpc \"$@\"\n");
  ASSERT_EQ(::chmod((dir_ / "zaehlt").c_str(), 0755), 0);
  ASSERT_EQ(::chmod((dir_ / "zaehler").c_str(), 0666), 0);
  ASSERT_EQ(::chmod(dir_.path().c_str(), 0711), 0);
  Result same = shell("ZEKOC_FPC=" + (dir_ / "zaehlt").string() + " " + ZEKOCHECK_PATH + common_options() +
                      " --ohne-sandbox --max-befehle 1000 start.zko ziel.zko gut.pas falsch.pas gut2.pas gleichlang.pas");
  ASSERT_EQ(::chmod(dir_.path().c_str(), 0700), 0);
  EXPECT_EQ(line_of(same.output, "gut.pas"), "bestanden") << same.output;
  EXPECT_EQ(line_of(same.output, "gut2.pas"), "bestanden") << same.output;
  EXPECT_EQ(line_of(same.output, "falsch.pas").rfind("nicht bestanden - Endwelt falsch", 0), 0u) << same.output;
  EXPECT_EQ(line_of(same.output, "gleichlang.pas").rfind("nicht bestanden - Endwelt falsch", 0), 0u) << same.output;
  EXPECT_EQ(dir_.read("zaehler"), "x\nx\nx\n");

  // A program that ends but leaves a busy child: the child is gone before
  // the next program starts (one at a time, in the sandbox and without).
  const std::string mark = "zt-rest-" + fs::path(dir_.path()).filename().string();
  put("rest", "#!/bin/sh\necho gesucht\nfor d in /proc/[0-9]*; do\n"
              "  if grep -qs " + mark + " \"$d/cmdline\"; then echo \"uebrig: ${d#/proc/}\"; fi\ndone\n"
              "sh -c 'while :; do :; done' " + mark + " &\n");
  ASSERT_EQ(::chmod((dir_ / "rest").c_str(), 0755), 0);
  for (const char* options : {"-j1", "-j1 --ohne-sandbox"}) {
    Result rest = zekocheck(std::string(options) + " start.zko ziel.zko rest rest");
    EXPECT_NE(rest.output.find("  | gesucht\n"), std::string::npos) << options << "\n" << rest.output;
    EXPECT_EQ(rest.output.find("uebrig"), std::string::npos) << options << "\n" << rest.output;
  }

  // no learner process outlives the check (their programs lay in our folder)
  for (const auto& entry : fs::directory_iterator("/proc")) {
    std::error_code ec;
    fs::path exe = fs::read_symlink(entry.path() / "exe", ec);
    if (!ec) {
      EXPECT_EQ(exe.string().find(dir_.path()), std::string::npos) << exe;
    }
    std::string cmdline = support::read_file((entry.path() / "cmdline").string());
    EXPECT_EQ(cmdline.find(mark), std::string::npos) << entry.path();
  }
}

TEST_F(Zekocheck, OptionsLeaveOutPositionAndSupplyAndRefuseBadCalls) {
  put("start.zko", world(0, 2, 1, {{2, 1, 1}}));
  put("ziel.zko", world(0, 2, 3, {{2, 1, 1}}));
  put("geht.pas", program("geht", "initialisiere_die_Roboterwelt('w'); vor; vor; vor; warte;"));
  ASSERT_EQ(shell(std::string(ZEKOC_PATH) + " geht.pas >/dev/null").status, 0);
  EXPECT_EQ(zekocheck("start.zko ziel.zko geht").status, 1);
  EXPECT_EQ(zekocheck("--ohne-position start.zko ziel.zko geht").status, 0);
  put("ziel2.zko", world(3, 2, 4, {{2, 1, 1}}));
  EXPECT_EQ(zekocheck("--ohne-vorrat start.zko ziel2.zko geht").status, 0);
  put("ziel16.zko", world(0, 2, 4, {{2, 1, 1}, {16, 5, 2}}));  // the last column counts too
  EXPECT_EQ(zekocheck("start.zko ziel16.zko geht").status, 1);
  // a task's startN.zko without its zielN.zko is no world of the task
  fs::create_directories(dir_ / "sammlung" / "01-probe");
  put("sammlung/01-probe/aufgabe.txt", "Probe\n");
  put("sammlung/01-probe/start1.zko", world(0, 2, 1, {{2, 1, 1}}));
  put("sammlung/01-probe/ziel1.zko", world(0, 2, 4, {{2, 1, 1}}));
  put("sammlung/01-probe/start2.zko", world(0, 0, 0));
  // a pair numbered past any int is no pair either, and ends nothing
  put("sammlung/01-probe/start99999999999.zko", world(0, 0, 0));
  put("sammlung/01-probe/ziel99999999999.zko", world(0, 0, 0));
  Result task = shell("ZEKO_AUFGABEN=sammlung " + std::string(ZEKOCHECK_PATH) + common_options() + " --aufgabe probe geht");
  EXPECT_EQ(task.status, 0);
  // (the sanitizer build runs without the sandbox, and says so)
  EXPECT_EQ(task.output, std::string("geht: bestanden\n  1 von 1 Welt bestanden\n") +
                             (common_options().empty() ? "" : "  (ohne Sandbox gelaufen)\n"));
#ifndef ZEKO_SANITIZE
  // Where bwrap works, a program may write only into its own folder (and
  // the compiler only into the program's); without it there is a note line.
  put("schreibt.pas", program("schreibt", "assign(f, '" + (dir_ / "draussen.txt").string() +
                                              "');\nrewrite(f);\nwriteln(f, 'da');\nclose(f);", "var f: text;\n"));
  Result sandboxed = zekocheck("start.zko ziel.zko schreibt.pas", true);
  if (sandboxed.output.find("Hinweis: bwrap") == std::string::npos) {
    EXPECT_EQ(line_of(sandboxed.output, "schreibt.pas"), "nicht bestanden - Laufzeitfehler 5 in Zeile 6")
        << sandboxed.output;
    EXPECT_FALSE(fs::exists(dir_ / "draussen.txt"));
  }
  // Without bwrap one note line, and the check goes on (an executable
  // needs no compiler from the search path).
  Result no_bwrap = shell("PATH=/nicht/da " + std::string(ZEKOCHECK_PATH) + " --ohne-position start.zko ziel.zko geht", true);
  EXPECT_EQ(no_bwrap.status, 0);
  EXPECT_EQ(no_bwrap.output, "Hinweis: bwrap (bubblewrap) ist nicht installiert; die Programme laufen ohne Sandbox, "
                          "nur mit ihren Grenzen.\ngeht: bestanden\n  1 von 1 Welt bestanden\n  (ohne Sandbox gelaufen)\n");
  // A class without the sandbox only when the teacher chose it; then every
  // verdict says so.
  Result two = shell("PATH=/nicht/da " + std::string(ZEKOCHECK_PATH) + " start.zko ziel.zko geht geht", true);
  EXPECT_EQ(two.status, 2);
  EXPECT_NE(two.output.find("Paket bubblewrap installieren"), std::string::npos) << two.output;
  EXPECT_NE(two.output.find("nur mit --ohne-sandbox"), std::string::npos) << two.output;
  EXPECT_EQ(two.output.find("geht:"), std::string::npos) << two.output;
  Result chosen = zekocheck("--ohne-sandbox --ohne-position start.zko ziel.zko geht geht");
  EXPECT_EQ(chosen.output, "geht: bestanden\n  1 von 1 Welt bestanden\n  (ohne Sandbox gelaufen)\ngeht: bestanden\n"
                           "  1 von 1 Welt bestanden\n  (ohne Sandbox gelaufen)\n");
  // so for a class folder of two pupils
  for (const char* pupil : {"ohne/anna", "ohne/ben"}) {
    fs::create_directories(dir_ / pupil);
    put(std::string(pupil) + "/01-geradeaus.pas", dir_.read("geht.pas"));
  }
  Result klasse = shell("PATH=/nicht/da " + std::string(ZEKOCHECK_PATH) + " --klasse ohne", true);
  EXPECT_EQ(klasse.status, 2);
  EXPECT_NE(klasse.output.find("nur mit --ohne-sandbox"), std::string::npos) << klasse.output;
  EXPECT_FALSE(fs::exists(dir_ / "uebersicht.html"));
  // ... and so say JSON and JUnit for every program.
  Result json = shell("PATH=/nicht/da " + std::string(ZEKOCHECK_PATH) + " --json --junit j.xml start.zko ziel.zko geht");
  EXPECT_NE(json.output.find("\"sandbox\": false}"), std::string::npos) << json.output;
  EXPECT_NE(dir_.read("j.xml").find("<property name=\"sandbox\" value=\"ohne Sandbox gelaufen\"/>"), std::string::npos);
#endif

  // A folder is read by zekocheck itself: only its sources and executables
  // are programs, an executable beside its source is that pupil's, a link
  // is refused, a name starting with '-' is a name, a hidden file is left out.
  fs::create_directory(dir_ / "klasse");
  for (const char* name : {"klasse/geht.pas", "klasse/-x.pas", "klasse/.alt.pas", "-x.pas"})
    put(name, dir_.read("geht.pas"));
  fs::copy_file(dir_ / "geht", dir_ / "klasse/geht");
  put("klasse/welt1.zko", dir_.read("start.zko"));
  put("klasse/notizen.txt", "kein Programm\n");
  put("klasse/gross.pas", program("gross", "", "{" + std::string(1 << 20, 'x') + "}\n"));
  fs::create_symlink("geht.pas", dir_ / "klasse/verweis.pas");
  fs::create_symlink(dir_ / "geht", dir_ / "klasse/fremd");
  ASSERT_EQ(::mkfifo((dir_ / "klasse/rohr.pas").c_str(), 0644), 0);  // refused without waiting for a writer
  Result folder = zekocheck("--ohne-position start.zko ziel.zko klasse", true);
  EXPECT_EQ(folder.status, 1) << folder.output;
  EXPECT_NE(folder.output.find("zekocheck: Hinweis: uebersprungen (weder Quelltext noch Programm): klasse/notizen.txt, "
                               "klasse/welt1.zko; klasse/geht gehoert zu klasse/geht.pas\n"),
            std::string::npos) << folder.output;
  const std::string link = "nicht bestanden - ein Verweis (symbolischer Link) wird nicht gelesen";
  for (const auto& [name, line] : std::map<std::string, std::string>{
           {"klasse/-x.pas", "bestanden"}, {"klasse/geht.pas", "bestanden"}, {"klasse/verweis.pas", link},
           {"klasse/fremd", link}, {"klasse/gross.pas", "nicht bestanden - zu gross (mehr als 1 MB)"},
           {"klasse/rohr.pas", "nicht bestanden - keine gewoehnliche Datei"},
           {"klasse/geht", "(keine Zeile fuer klasse/geht)"}, {"klasse/.alt.pas", "(keine Zeile fuer klasse/.alt.pas)"}})
    EXPECT_EQ(line_of(folder.output, name), line) << name << "\n" << folder.output;
  Result dashed = zekocheck("--ohne-position -- start.zko ziel.zko -x.pas");
  EXPECT_EQ(dashed.status, 0) << dashed.output;
  EXPECT_EQ(line_of(dashed.output, "-x.pas"), "bestanden") << dashed.output;
  // Reports are not written through a link, nor over it.
  put("opfer.txt", "bleibt\n");
  fs::create_symlink("opfer.txt", dir_ / "verweis.xml");
  fs::create_symlink("start.zko", dir_ / "verweis.zko");

  ASSERT_EQ(::mkfifo((dir_ / "fifo.zko").c_str(), 0644), 0);  // refused without waiting for a writer
  std::string x17 = world(0, 2, 3);
  x17 = x17.substr(0, x17.rfind('\n', x17.size() - 2) + 1) + "  17   3\n";
  put("x17.zko", x17);
  struct Bad {
    std::string args, message;
  } bad[] = {
      {"fifo.zko ziel.zko geht", "die Start-Welt fifo.zko ist nicht lesbar: ist keine gewoehnliche Datei"},
      {"start.zko fifo.zko geht", "die Ziel-Welt fifo.zko ist nicht lesbar: ist keine gewoehnliche Datei"},
      {"start.zko x17.zko geht",
       "die Ziel-Welt x17.zko ist nicht lesbar: Zeile 12: die Spalte x = 17 liegt ausserhalb von 0 bis 16"},
      {"start.zko ziel.zko", "kein Programm angegeben"},
      {"--zeit 0 start.zko ziel.zko geht", "--zeit braucht Sekunden"},
      {"--zeit-uebersetzen 0 start.zko ziel.zko geht", "--zeit-uebersetzen braucht eine ganze Zahl von 1 bis 3600"},
      {"-j x start.zko ziel.zko geht", "-j braucht eine ganze Zahl"},
      {"--schnell start.zko ziel.zko geht", "unbekannte Option --schnell"},
      {"fehlt.zko ziel.zko geht", "die Start-Welt fehlt.zko ist nicht lesbar: die Datei gibt es nicht"},
      {"start.zko geht geht", "die Ziel-Welt geht ist nicht lesbar: Zeile 1: \"?ELF\" ist keine ganze Zahl"},
      {"--html fehlt/seite.html --ohne-position start.zko ziel.zko geht",
       "die HTML-Datei fehlt/seite.html laesst sich nicht schreiben: den Ordner gibt es nicht"},
      // a name that looks like an option is no option, nor a part of one
      {"--ohne-position=x.pas start.zko ziel.zko geht", "--ohne-position nimmt keinen Wert: --ohne-position=x.pas"},
      {"--ohne-sandbox=x.pas start.zko ziel.zko geht", "--ohne-sandbox nimmt keinen Wert: --ohne-sandbox=x.pas"},
      {"--help=x.pas", "--help nimmt keinen Wert: --help=x.pas"},
      {"start.zko ziel.zko -x.pas", "unbekannte Option -x.pas"},
      {"--junit verweis.xml --ohne-position start.zko ziel.zko geht",
       "die JUnit-Datei verweis.xml laesst sich nicht schreiben: dort liegt ein Verweis (symbolischer Link)"},
      {"--html verweis.xml --ohne-position start.zko ziel.zko geht",
       "die HTML-Datei verweis.xml laesst sich nicht schreiben: dort liegt ein Verweis (symbolischer Link)"},
      {"verweis.zko ziel.zko geht",
       "die Start-Welt verweis.zko ist nicht lesbar: ein Verweis (symbolischer Link) wird nicht gelesen"},
      {"start.zko ziel.zko klasse/notizen.txt", "kein Programm gefunden"},
      // a report over a program (a name before a forgotten "--")
      {"--junit=klasse/geht.pas --ohne-position start.zko ziel.zko klasse/geht.pas",
       "die JUnit-Datei klasse/geht.pas ist eines der Programme"},
      {"--html klasse/-x.pas --ohne-position start.zko ziel.zko klasse",
       "die HTML-Datei klasse/-x.pas ist eines der Programme"},
      {"--csv klasse/geht.pas --ohne-position start.zko ziel.zko -- klasse/geht.pas",
       "die CSV-Datei klasse/geht.pas ist eines der Programme"},
      {"--csv fehlt/noten.csv --ohne-position start.zko ziel.zko geht",
       "die CSV-Datei fehlt/noten.csv laesst sich nicht schreiben: den Ordner gibt es nicht"},
      {"--blatt blatt.html start.zko ziel.zko geht", "--blatt gehoert zu --aufgabe NAME"},
      {"--klasse fehlt", "den Klassen-Ordner fehlt gibt es nicht"},
      {"--klasse . --json", "--klasse schreibt eine Seite und eine Tabelle, kein JSON und kein JUnit"},
      {"--klasse . geht", "--klasse nimmt die Programme aus dem Ordner, keine weiteren"},
      {"--klasse .", "in . liegt kein Programm, das nach einer Aufgabe heisst"},
  };
  for (const Bad& b : bad) {
    Result r = zekocheck(b.args, true);
    EXPECT_EQ(r.status, 2) << b.args;
    EXPECT_NE(r.output.find(b.message), std::string::npos) << b.args << "\n" << r.output;
  }
  EXPECT_EQ(dir_.read("opfer.txt"), "bleibt\n");
  EXPECT_EQ(dir_.read("klasse/geht.pas"), dir_.read("geht.pas"));
  EXPECT_TRUE(fs::is_symlink(dir_ / "verweis.xml"));
}

// A task's rules checked from the calls made, and the grade beside each
// verdict in every output: worlds solved, copies, the CSV a gradebook takes.
TEST_F(Zekocheck, TaskRulesAndGradesAppearInEveryOutput) {
  fs::create_directories(dir_ / "regeln");
  put("regeln/aufgabe.txt", "Nach unten\nZEKO geht bis zur Wand.\nBefehle: vor, links, vorne_frei\n"
                            "Hoechstens: 12 Befehle je Welt\n");
  put("regeln/start1.zko", world(1, 0, 0));
  put("regeln/ziel1.zko", world(1, 0, 9));
  put("regeln/start2.zko", world(1, 3, 5));
  put("regeln/ziel2.zko", world(1, 3, 9));
  const std::string walk = "initialisiere_die_Roboterwelt('w');\nwhile vorne_frei do vor;";
  struct Case {
    std::string file, source, reason, grade, worlds_passed, same_as;
  };
  const std::vector<Case> cases = {
      {"gut.pas", program("gut", walk), "bestanden", "2 von 2 Welten bestanden", "2", "null"},
      {"kopie.pas", program("gut", walk), "bestanden", "2 von 2 Welten bestanden, gleich wie gut.pas", "2",
       "\"gut.pas\""},
      // names in comments and strings are no calls
      {"kommentar.pas", program("kommentar", "{ gib }\nwriteln('nimm');\n" + walk), "bestanden",
       "2 von 2 Welten bestanden", "2", "null"},
      {"gibt.pas", program("gibt", "initialisiere_die_Roboterwelt('w');\ngib; nimm;\nwhile vorne_frei do vor;"),
       "nicht bestanden - Welt 1: gib ist in dieser Aufgabe nicht erlaubt (gibt.pas, Zeile 5)",
       "0 von 2 Welten bestanden", "0", "null"},
      {"gibt.c",
       "#include \"zekoinc.h\"\nint main(void) {\n  initialisiere_die_roboterwelt(\"w\");\n  while (vorne_frei()) vor();\n"
       "  gib();\n  nimm();\n  gib();\n  nimm();\n  return 0;\n}\n",
       "nicht bestanden - Welt 1: gib ist in dieser Aufgabe nicht erlaubt (gibt.c, Zeilen 5, 7)",
       "0 von 2 Welten bestanden", "0", "null"},
      // 4 turns and 9 steps in the first world, 4 and 4 in the second
      {"dreht.pas", program("dreht", "initialisiere_die_Roboterwelt('w');\nlinks; links; links; links;\n"
                                     "while vorne_frei do vor;"),
       "nicht bestanden - Welt 1: 13 Befehle, die Aufgabe erlaubt hoechstens 12 je Welt", "1 von 2 Welten bestanden",
       "1", "null"},
      {"neun.pas", program("neun", "initialisiere_die_Roboterwelt('w');\nfor i := 1 to 9 do vor;", "var i: integer;\n"),
       "nicht bestanden - Welt 2: neun.pas, Zeile 6: vor - vor Zeko liegt ein Hindernis", "1 von 2 Welten bestanden",
       "1", "null"},
      // the count says the limit, and the place of the last command
      {"ewig.pas", program("ewig", "initialisiere_die_Roboterwelt('w');\nwhile true do\n  links;"),
       "nicht bestanden - Welt 1: Abbruch nach 50 Befehlen - zuletzt links (ewig.pas, Zeile 6)",
       "0 von 2 Welten bestanden", "0", "null"},
      {"=SUMME(1).pas", program("gut", walk), "bestanden", "2 von 2 Welten bestanden, gleich wie gut.pas", "2",
       "\"gut.pas\""},
      {"@SUMME(1).pas", program("gut", walk), "bestanden", "2 von 2 Welten bestanden, gleich wie gut.pas", "2",
       "\"gut.pas\""},
      // more than three lines: the first three and a mark for the rest
      {"vielgib.c",
       "#include \"zekoinc.h\"\nint main(void) {\n  initialisiere_die_roboterwelt(\"w\");\n  while (vorne_frei()) vor();\n"
       "  gib();\n  nimm();\n  gib();\n  nimm();\n  gib();\n  nimm();\n  gib();\n  nimm();\n  return 0;\n}\n",
       "nicht bestanden - Welt 1: gib ist in dieser Aufgabe nicht erlaubt (vielgib.c, Zeilen 5, 7, 9, ...)",
       "0 von 2 Welten bestanden", "0", "null"},
  };
  std::string names;
  for (const Case& c : cases) {
    put(c.file, c.source);
    names += " '" + c.file + "'";
  }
  const std::string check =
      "--max-befehle 50 --aufgabe ./regeln --csv noten.csv --junit noten.xml --html noten.html -- " + names;
  Result people = zekocheck(check);
  EXPECT_EQ(people.status, 1);
  Result json = zekocheck("--json " + check);
  EXPECT_TRUE(JsonCheck(json.output).valid()) << json.output;
  const std::string junit = dir_.read("noten.xml"), csv = dir_.read("noten.csv");
  EXPECT_EQ(csv.rfind("\xEF\xBB\xBF\"Name\";\"Aufgabe\";\"Welten bestanden\";\"Welten\";\"Ergebnis\";\"Grund\";"
                      "\"Hinweis\"\r\n", 0), 0u) << csv;
  // a task used by its path: the failed world opens by the start world's path
  auto hint = [&](const std::string& world, const std::string& program) {
    return " - ansehen: ZEKO_WELT=" + (dir_ / "regeln").string() + "/start" + world + ".zko ./" + program;
  };
  for (Case c : cases) {
    SCOPED_TRACE(c.file);
    if (c.reason != "bestanden")
      c.reason += hint(c.reason.substr(c.reason.find("Welt ") + 5, 1), fs::path(c.file).stem().string());
    EXPECT_EQ(line_of(people.output, c.file), c.reason) << people.output;
    EXPECT_NE(people.output.find(c.file + ": " + c.reason + "\n  " + c.grade + "\n"), std::string::npos);
    std::size_t object = json.output.find("{\"name\": \"" + c.file + "\"");
    ASSERT_NE(object, std::string::npos);
    std::string json_line = json.output.substr(object, json.output.find('\n', object) - object);
    EXPECT_NE(json_line.find("\"worlds_passed\": " + c.worlds_passed + ", \"worlds\": 2, \"same_as\": " + c.same_as),
              std::string::npos) << json_line;
    std::size_t testcase = junit.find("name=\"" + c.file + "\"");
    ASSERT_NE(testcase, std::string::npos) << junit;
    EXPECT_EQ(junit.find("<property name=\"welten\" value=\"" + c.worlds_passed + " von 2 Welten\"/>", testcase),
              junit.find("<properties>", testcase) + 12) << junit;
    bool passed = c.reason == "bestanden";
    std::string reason = passed ? "" : c.reason.substr(std::string("nicht bestanden - ").size());
    std::string copy = c.same_as == "null" ? "" : "gleich wie gut.pas";
    std::string name = c.file[0] == '=' || c.file[0] == '@' ? "'" + c.file : c.file;  // no formula for the spreadsheet
    EXPECT_NE(csv.find("\r\n\"" + name + "\";\"regeln\";\"" + c.worlds_passed + "\";\"2\";\"" +
                       (passed ? "bestanden" : "nicht bestanden") + "\";\"" + reason + "\";\"" + csv_note(copy) + "\"\r\n"),
              std::string::npos) << csv;
  }
  EXPECT_NE(json.output.find("\"reason\": \"Welt 1: Abbruch nach 50 Befehlen - zuletzt links (ewig.pas, Zeile 6)" +
                             hint("1", "ewig") + "\", \"world\": 1, \"commands\": 50,"), std::string::npos)
      << json.output;
  // the page shows the source line of a forbidden call and of the last command
  const std::string page = dir_.read("noten.html");
  EXPECT_NE(page.find("<p class=\"zeile\">Zeile 5: <code>gib; nimm;</code>"), std::string::npos) << page;
  EXPECT_NE(page.find("<p class=\"zeile\">Zeile 6: <code>  links;</code>"), std::string::npos) << page;
  EXPECT_NE(page.find(">kopie.pas<br><span class=\"gleich\">gleich wie gut.pas</span></td>"), std::string::npos);
  // a failed program's count is its failing world's (4 steps and the blocked one), not the sum
  EXPECT_NE(json.output.find("Hindernis" + hint("2", "neun") + "\", \"world\": 2, \"commands\": 5,"), std::string::npos)
      << json.output;
}

TEST_F(Zekocheck, WorldCheckReportsEveryDeviationWithItsLine) {
  std::string good = world(5, 16, 9, {{0, 0, -1}, {3, 4, 12}});
  std::vector<std::string> lines;
  std::istringstream in(good);
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  auto join = [](const std::vector<std::string>& ls) {
    std::string s;
    for (const auto& l : ls) s += l + "\n";
    return s;
  };
  struct Case {
    std::string name, text;
    std::vector<std::string> expected;  // output lines after "name"
  };
  std::vector<std::string> short_line = lines, eleven(lines.begin(), lines.begin() + 11),
                           ten(lines.begin(), lines.begin() + 10),
                           truncated(lines.begin(), lines.begin() + 5), extra = lines, bad = lines;
  short_line[2] = short_line[2].substr(5);
  extra.push_back("hallo");
  bad[11] = "  17   2 3";
  bad[3].replace(10, 5, "   x1");
  std::string crlf;
  for (const auto& l : lines) crlf += l + "\r\n";
  const std::vector<Case> cases = {
      {"gut.zko", good, {": in Ordnung"}},
      {"crlf.zko", crlf, {": in Ordnung"}},
      {"kurz.zko", join(short_line),
       {", Zeile 3: 16 statt 17 Werte (die Zeile wird mit Werten der naechsten Zeile aufgefuellt, das Gitter "
        "verschiebt sich)"}},
      {"elf.zko", join(eleven), {", Zeile 12: fehlt: keine Position (ZEKO steht dann auf x=0, y=0)"}},
      {"zehn.zko", join(ten),
       {", Zeile 11: fehlt: kein Vorrat (er wird als 0 gelesen)",
        ", Zeile 12: fehlt: keine Position (ZEKO steht dann auf x=0, y=0)"}},
      {"halb.zko", join(truncated),
       {", Zeile 6: fehlt: die Datei endet nach Zeile 5 (der Rest des Gitters wird leer gelesen)"}},
      {"mehr.zko", join(extra), {", Zeile 13: Text nach dem Ende der Welt (Zeile 12); er wird nicht gelesen"}},
      {"falsch.zko", join(bad),
       {", Zeile 4: Wert 3: \"x1\" ist keine ganze Zahl", ", Zeile 12: Text nach der Position (er wird nicht gelesen)",
        ", Zeile 12: die Spalte x = 17 liegt ausserhalb von 0 bis 16"}},
      {"leer.zko", "", {": die Datei ist leer (die Welt wird leer gelesen, ZEKO auf x=0, y=0, Vorrat 0)"}},
  };
  std::string names, expected;
  for (const Case& c : cases) {
    put(c.name, c.text);
    names += " " + c.name;
    for (const auto& e : c.expected) expected += c.name + e + "\n";
  }
  ASSERT_EQ(::mkfifo((dir_ / "fifo.zko").c_str(), 0644), 0);  // refused without waiting for a writer
  Result r = zekocheck("--welt" + names + " fehlt.zko fifo.zko");
  EXPECT_EQ(r.output, expected + "fehlt.zko: nicht lesbar - die Datei gibt es nicht\n"
                                 "fifo.zko: nicht lesbar - ist keine gewoehnliche Datei\n");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(zekocheck("--welt fehlt.zko kurz.zko").status, 2);  // a deviation after it does not lower the status
  EXPECT_EQ(zekocheck("--welt gut.zko kurz.zko").status, 1);
  EXPECT_EQ(zekocheck("--welt gut.zko crlf.zko").status, 0);
}

// The page of a class for two tasks, read back by a real browser: one row
// per program, the marked fields of each failure exactly the JSON's, and
// nothing a pupil names or prints becomes markup.
TEST_F(Zekocheck, HtmlPageShowsEveryProgramAndItsWorldsInABrowser) {
  if (::access("/usr/bin/chromium", X_OK) != 0) {
    if (std::getenv("CI")) FAIL() << "chromium fehlt: tools/install-deps test installiert ihn";
    GTEST_SKIP() << "chromium fehlt (tools/install-deps test installiert ihn): die HTML-Seite wird nicht geprueft";
  }
  fs::path kept = HTML_OUTPUT_DIR;
  fs::create_directories(kept);
  put("a&b<i>.pas", program("boese", "writeln('</pre><table><tr class=\"programm\"><td>x</td></tr></table>"
                                     "<script>document.title=1</script>');\ninitialisiere_die_Roboterwelt('w'); vor;"));
  const std::string tests = std::string(SOLUTIONS_DIR) + "/";
  put("<b>gut&x<i>.pas", support::read_file(tests + "01-geradeaus/loesung.pas"));  // passes with markup in its name
  put("teilt.pas", program("teilt", "initialisiere_die_Roboterwelt('w');\nj := 0;\n"
                                    "i := 5 div j; writeln('<b>&amp;</b>'); { <script>x</script> & \"q\" }",
                           "var i, j: integer;\n"));
  const std::map<std::string, std::string> pages = {
      {"01-geradeaus", tests + "01-geradeaus/loesung.pas " + tests + "01-geradeaus/falsch.pas 'a&b<i>.pas' "
                       "'<b>gut&x<i>.pas'"},
      {"04-sammeln", tests + "04-sammeln/loesung.pas " + tests + "04-sammeln/falsch.pas " + tests +
                         "01-geradeaus/loesung.pas teilt.pas"},
  };
  static const std::regex field(R"re(\{"x": (\d+), "y": (\d+), "expected")re");
  static const std::regex position(R"re("position": \{"expected": \{"x": (\d+), "y": (\d+)\}, "actual": \{"x": (\d+), "y": (\d+)\}\})re");
  std::size_t fields_seen = 0;
  for (const auto& [task, programs] : pages) {
    SCOPED_TRACE(task);
    Result json = zekocheck("--json --html " + task + ".html --aufgabe " + task + " " + programs);
    ASSERT_EQ(json.status, 1) << json.output;
    Result dom = browser("--dump-dom", dir_ / (task + ".html"), dir_ / "profil");
    ASSERT_EQ(dom.status, 0);
    fs::copy_file(dir_ / (task + ".html"), kept / (task + ".html"), fs::copy_options::overwrite_existing);
    EXPECT_EQ(browser("--window-size=1000,2400 --screenshot='" + (kept / (task + ".png")).string() + "'",
                      dir_ / (task + ".html"), dir_ / "profil").status, 0);

    std::vector<std::string> objects, failing;
    std::istringstream lines(json.output);
    for (std::string line; std::getline(lines, line);)
      if (line.rfind("  {", 0) == 0) {
        objects.push_back(line);
        if (line.find("\"passed\": false") != std::string::npos) failing.push_back(line);
      }
    ASSERT_EQ(objects.size(), 4u) << json.output;
    std::size_t rows = 0, passed = 0;
    for (std::size_t at = dom.output.find("<tr class=\"programm "); at != std::string::npos;
         at = dom.output.find("<tr class=\"programm ", at + 1), ++rows)
      passed += dom.output.compare(at, 30, "<tr class=\"programm bestanden\"") == 0;
    EXPECT_EQ(rows, objects.size()) << dom.output;
    EXPECT_EQ(passed, objects.size() - failing.size());
    EXPECT_NE(dom.output.find("<strong>" + std::to_string(passed) + " von 4</strong> bestanden"), std::string::npos);
    // each row's worlds as the JSON counts them
    static const std::regex worlds(R"re("worlds_passed": (\d+), "worlds": (\d+))re");
    std::string cells;
    for (std::size_t at = dom.output.find("<td class=\"welten\">"); at != std::string::npos;
         at = dom.output.find("<td class=\"welten\">", at + 1))
      cells += dom.output.substr(at + 19, dom.output.find('<', at + 19) - at - 19) + ";";
    std::string counted;
    for (const std::string& o : objects) {
      std::smatch w;
      if (std::regex_search(o, w, worlds)) counted += w[1].str() + " von " + w[2].str() + ";";
    }
    EXPECT_EQ(cells, counted);

    // Every failure here ended with a world: both grids mark the JSON's fields.
    std::vector<Grid> goal = grids_of(dom.output, "<table class=\"welt ziel\""),
                      end = grids_of(dom.output, "<table class=\"welt ende\"");
    ASSERT_EQ(end.size(), failing.size()) << dom.output;
    ASSERT_EQ(goal.size(), failing.size());
    for (std::size_t k = 0; k < failing.size(); ++k) {
      std::set<std::string> expected;
      for (std::sregex_iterator m(failing[k].begin(), failing[k].end(), field), e; m != e; ++m)
        expected.insert((*m)[1].str() + "," + (*m)[2].str());
      fields_seen += expected.size();
      EXPECT_EQ(end[k].marked, expected) << failing[k];
      EXPECT_EQ(goal[k].marked, expected) << failing[k];
      std::smatch p;
      if (std::regex_search(failing[k], p, position)) {
        EXPECT_EQ(goal[k].zeko, p[1].str() + "," + p[2].str()) << failing[k];
        EXPECT_EQ(end[k].zeko, p[3].str() + "," + p[4].str()) << failing[k];
      }
    }
    EXPECT_EQ(dom.output.find("<script"), std::string::npos);
    if (task == "01-geradeaus") {
      EXPECT_NE(dom.output.find(">a&amp;b&lt;i&gt;.pas<"), std::string::npos);
      EXPECT_NE(dom.output.find("&lt;/pre&gt;&lt;table&gt;&lt;tr class=\"programm\"&gt;"), std::string::npos);
      EXPECT_NE(dom.output.find("Zeile 5: <code>  vor; vor; vor;"), std::string::npos);
      // a copy of the model solution, flagged under its escaped name
      EXPECT_NE(dom.output.find("<td class=\"name\">&lt;b&gt;gut&amp;x&lt;i&gt;.pas<br><span class=\"gleich\">gleich wie " +
                                tests + "01-geradeaus/loesung.pas</span></td>"), std::string::npos)
          << dom.output;
    } else {
      EXPECT_NE(dom.output.find("Zeile 7: <code>i := 5 div j; writeln('&lt;b&gt;&amp;amp;&lt;/b&gt;'); { "
                                "&lt;script&gt;x&lt;/script&gt; &amp; \"q\" }</code>"),
                std::string::npos) << dom.output;
    }
  }
  EXPECT_GT(fields_seen, 0u);
}

// The cells of a page's tables in order: each cell's classes and its text
// without markup, and the address of its link.
struct Cell {
  std::string classes, text, link;
};
std::vector<Cell> cells_of(const std::string& dom, const std::string& table) {
  static const std::regex cell(R"re(<td class="([^"]*)"[^>]*>(.*?)</td>)re"), link(R"re(<a href="([^"]*)")re"),
      markup("<[^>]*>");
  std::vector<Cell> cells;
  for (std::size_t at = dom.find(table); at != std::string::npos; at = dom.find(table, at + 1)) {
    std::string t = dom.substr(at, dom.find("</table>", at) - at);
    for (std::sregex_iterator m(t.begin(), t.end(), cell), end; m != end; ++m) {
      std::string inner = (*m)[2].str();
      std::smatch l;
      std::istringstream words(std::regex_replace(inner, markup, " "));
      std::string text, word;
      while (words >> word) text += (text.empty() ? "" : " ") + word;
      cells.push_back({(*m)[1].str(), text, std::regex_search(inner, l, link) ? l[1].str() : ""});
    }
  }
  return cells;
}

// A class of four pupils and two tasks, in Pascal, C and C++, with notes and
// worlds beside the programs; the overview read back by a browser, and a
// task's worksheet.
TEST_F(Zekocheck, ClassOverviewAndWorksheetInABrowser) {
  if (::access("/usr/bin/chromium", X_OK) != 0) {
    if (std::getenv("CI")) FAIL() << "chromium fehlt: tools/install-deps test installiert ihn";
    GTEST_SKIP() << "chromium fehlt (tools/install-deps test installiert ihn): die Seiten werden nicht geprueft";
  }
  const std::string tests = std::string(SOLUTIONS_DIR) + "/";
  const std::map<std::string, std::string> copies = {
      {"anna/01-geradeaus.pas", "01-geradeaus/loesung.pas"}, {"anna/04-sammeln.pas", "04-sammeln/loesung.pas"},
      {"bert/geradeaus.c", "01-geradeaus/loesung.c"},        {"bert/sammeln.pas", "04-sammeln/falsch.pas"},
      {"cara/04-sammeln.pas", "04-sammeln/loesung.pas"},     {"dora/01-geradeaus.pas", "01-geradeaus/falsch.pas"},
  };
  for (const auto& [to, from] : copies) {
    fs::create_directories((dir_ / "klasse7" / to).parent_path());
    put("klasse7/" + to, support::read_file(tests + from));
  }
  put("klasse7/cara/01-geradeaus.cpp", "#include \"zekoinc.h\"\nint main() {\n  initialisiere_die_roboterwelt(\"w\");\n"
                                       "  while (vorne_frei()) vor();\n}\n");
  put("klasse7/cara/notizen.txt", "vor vor links\n");
  put("klasse7/cara/welt1.zko", world(0, 1, 1));
  put("klasse7/dora/04-sammeln.txt", "nimm nimm vor\n");  // named by a task, but no program
  // a pupil's file name is never a path to a task folder of the teacher's
  fs::copy(std::string(TASKS_DIR) + "/01-geradeaus", dir_ / "spur");
  put("klasse7/dora/spur.pas", support::read_file(tests + "01-geradeaus/loesung.pas"));
  // a link to a classmate's solution is refused, not read
  fs::create_symlink("../anna/04-sammeln.pas", dir_ / "klasse7/dora/04-sammeln.pas");
  fs::create_directories(dir_ / "seiten");
  Result r = zekocheck("--klasse klasse7 --html seiten/klasse.html --csv seiten/klasse.csv", true);
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_NE(r.output.find("Hinweis: uebersprungen (weder Quelltext noch Programm): klasse7/cara/notizen.txt, "
                          "klasse7/cara/welt1.zko, klasse7/dora/04-sammeln.txt\n"),
            std::string::npos) << r.output;
  EXPECT_NE(r.output.find("Hinweis: 1 Dateien ohne Aufgabe uebersprungen: dora/spur.pas\n"), std::string::npos)
      << r.output;
  fs::path kept = HTML_OUTPUT_DIR;
  fs::create_directories(kept);
  fs::copy_file(dir_ / "seiten/klasse.html", kept / "klasse.html", fs::copy_options::overwrite_existing);
  EXPECT_EQ(browser("--window-size=900,500 --screenshot='" + (kept / "klasse.png").string() + "'",
                    dir_ / "seiten/klasse.html", dir_ / "profil").status, 0);
  Result dom = browser("--dump-dom", dir_ / "seiten/klasse.html", dir_ / "profil");
  ASSERT_EQ(dom.status, 0);
  // pupils down, tasks across
  const std::vector<std::string> expected = {
      "bestanden|klasse-01-geradeaus.html", "bestanden|klasse-04-sammeln.html",
      "bestanden|klasse-01-geradeaus.html", "0 von 2|klasse-04-sammeln.html#p2",
      "bestanden|klasse-01-geradeaus.html", "bestanden gleich wie anna/04-sammeln.pas|klasse-04-sammeln.html",
      "1 von 3|klasse-01-geradeaus.html#p4", "0 von 2|klasse-04-sammeln.html#p4"};
  std::vector<Cell> cells = cells_of(dom.output, "<table class=\"klasse\"");
  std::vector<std::string> seen;
  for (const Cell& c : cells) seen.push_back(c.text + "|" + c.link);
  EXPECT_EQ(seen, expected) << dom.output;
  std::size_t pupils = 0;
  for (const char* pupil : {">anna<", ">bert<", ">cara<", ">dora<"}) pupils += dom.output.find(pupil) != std::string::npos;
  EXPECT_EQ(pupils, 4u);
  // a failing cell's link leads to that program's details
  Result details = browser("--dump-dom", dir_ / "seiten/klasse-04-sammeln.html", dir_ / "profil");
  std::size_t section = details.output.find("id=\"p2\"");
  ASSERT_NE(section, std::string::npos) << details.output;
  EXPECT_EQ(details.output.find("<h2>bert/sammeln.pas: nicht bestanden</h2>", section), details.output.find("<h2>", section))
      << details.output;
  // the same in the table, one row per pupil and task
  std::string csv = dir_.read("seiten/klasse.csv");
  for (const std::string& row : {std::string("\"bert\";\"04-sammeln\";\"0\";\"2\";\"nicht bestanden\";"),
                                 "\"cara\";\"04-sammeln\";\"2\";\"2\";\"bestanden\";\"\";\"" +
                                     csv_note("gleich wie anna/04-sammeln.pas") + "\"",
                                 std::string("\"dora\";\"04-sammeln\";\"0\";\"2\";\"nicht bestanden\";"
                                             "\"ein Verweis (symbolischer Link) wird nicht gelesen\";")})
    EXPECT_NE(csv.find("\r\n" + row), std::string::npos) << row << "\n" << csv;
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 9);

  // The worksheet draws each start world as it is, and never a goal.
  const std::string task = std::string(TASKS_DIR) + "/04-sammeln/";
  ASSERT_EQ(zekocheck("--aufgabe 04-sammeln --blatt blatt.html").status, 0);
  fs::copy_file(dir_ / "blatt.html", kept / "blatt.html", fs::copy_options::overwrite_existing);
  EXPECT_EQ(browser("--window-size=800,1400 --screenshot='" + (kept / "blatt.png").string() + "'",
                    dir_ / "blatt.html", dir_ / "profil").status, 0);
  Result sheet = browser("--dump-dom", dir_ / "blatt.html", dir_ / "profil");
  EXPECT_NE(sheet.output.find("<h1 class=\"titel\">Einsammeln</h1>"), std::string::npos) << sheet.output;
  EXPECT_NE(sheet.output.find("Erlaubt: <code>vor, links, nimm, vorne_frei, feld_leer</code>"), std::string::npos);
  std::vector<Cell> drawn = cells_of(sheet.output, "<table class=\"welt start\"");
  std::size_t worlds = 0;
  for (int n = 1; fs::exists(task + "start" + std::to_string(n) + ".zko"); ++n, ++worlds) {
    std::istringstream file(support::read_file(task + "start" + std::to_string(n) + ".zko"));
    std::vector<int> values(170);
    for (int& v : values) file >> v;
    int supply, x, y;
    file >> supply >> x >> y;
    for (int k = 0; k < 170 && 170 * (n - 1) + k < static_cast<int>(drawn.size()); ++k) {
      const Cell& c = drawn[170 * (n - 1) + k];
      std::string want = values[k] < 0 ? "hindernis" : values[k] > 0 ? "gegenstand" : "leer";
      if (k == y * 17 + x) want += " zeko";
      EXPECT_EQ(c.classes, want) << "Welt " << n << ", Feld " << k % 17 << "," << k / 17;
      if (values[k] > 0) {
        EXPECT_NE(c.text.find(std::to_string(values[k])), std::string::npos);
      }
    }
  }
  EXPECT_EQ(drawn.size(), 170 * worlds);
  EXPECT_GE(worlds, 2u);
  EXPECT_EQ(sheet.output.find("ziel"), std::string::npos);
}

}  // namespace

// ---------------------------------------------------------------------------
// What a mischievous pupil tries, in one class run per setting: each attack
// program reports a success with status 7 and otherwise solves the task, so
// a blocked attack passes and its classmates beside it pass too. After
// every run no process, folder, mount or /dev/shm file of it is left.

namespace attack {

const std::string kHead =
    "{$mode objfpc}{$H+}\nuses ZekoInc, SysUtils, BaseUnix, Sockets, Syscall, ipc;\n"
    "procedure gelungen; begin writeln('ANGRIFF GELUNGEN'); halt(7) end;\n"
    "procedure loese; begin initialisiere_die_Roboterwelt('w'); nimm; vor; vor; warte end;\n";

std::string source(const std::string& name, const std::string& decls, const std::string& body) {
  return "program " + name + ";\n" + kHead + decls + "begin\n" + body + "\nend.\n";
}

// This test's own mark in the names of what its programs leave in shared
// places: only these are judged.
std::string mark() { return "zeko-" + std::to_string(getpid()); }

// Writes up to `files` files of 1 MB into `folder` (into memfd files of 16
// MB when the folder is "memfd") and reports success when more than `limit`
// MB went in.
std::string fill(const std::string& name, const std::string& folder, int limit, int files = 100) {
  const bool memfd = folder == "memfd";
  const std::string open = memfd ? "if i mod 16 = 1 then f := Do_SysCall(319, TSysParam(PChar('zeko')), 0);\n"
                                 : "  f := fpOpen('" + folder + "/" + mark() + "-voll-" + name +
                                       "' + IntToStr(i), O_WrOnly or O_Creat, &600);\n";
  return source(name, "var i, j, f: longint; buf: array[0..65535] of byte; total: int64;\n",
                "total := 0;\nfor i := 1 to " + std::to_string(files) + " do begin\n" + open +
                "  if f < 0 then break;\n"
                "  for j := 1 to 16 do\n"
                "    if fpWrite(f, buf, SizeOf(buf)) = SizeOf(buf) then total := total + SizeOf(buf);\n" +
                    (memfd ? "" : "  fpClose(f);\n") + "end;\n"
                "if total > " + std::to_string(limit) + " * 1048576 then gelungen;\nloese;");
}

// Keyring calls, and the id of a key that /proc/keys shows by its name.
const std::string kKeys =
    "function keyctl(op: longint; a, b, c, d: TSysParam): TSysResult;\n"
    "begin keyctl := Do_SysCall(250, op, a, b, c, d) end;\n"
    "function add_key(name, data: string; ring: longint): TSysResult;\n"
    "begin add_key := Do_SysCall(248, TSysParam(PChar('user')), TSysParam(PChar(name)), TSysParam(PChar(data)),\n"
    "  Length(data), ring) end;\n"
    // a key everyone sees, in the user's keyring, which outlives the run
    "function hinterlege(name, data: string): TSysResult;\nbegin\n  hinterlege := add_key(name, data, -3);\n"
    "  if (hinterlege <= 0) or (keyctl(5, hinterlege, $3f3f3f3f, 0, 0) <> 0) or (keyctl(8, hinterlege, -4, 0, 0) <> 0) then\n"
    "    hinterlege := 0;\nend;\n"
    "function sucht(name: string): TSysResult;\n"
    "begin sucht := keyctl(10, -3, TSysParam(PChar('user')), TSysParam(PChar(name)), 0) end;\n"
    "function sichtbar(name: string): longint;\nvar f: text; z: string;\nbegin\n  sichtbar := 0;\n"
    "  Assign(f, '/proc/keys');\n  {$I-} Reset(f); {$I+}\n  if IOResult <> 0 then exit;\n"
    "  while not eof(f) do begin\n    ReadLn(f, z);\n"
    "    if Pos(name, z) > 0 then sichtbar := StrToIntDef('$' + Copy(z, 1, Pos(' ', z) - 1), 0);\n  end;\n"
    "  Close(f);\nend;\n";

// Settings of a class run.
enum Setting { kRootSandbox, kUserSandbox, kRootPlain, kUserPlain, kSettings };

struct Row {
  std::string name;
  std::string source;
  bool compiled_by_zekocheck;            // the attack is on the compiler
  std::string expected[kSettings];       // reason per setting; empty: not tried there
  std::string link_to = "";              // the row's file is a link to this
  // Where the check has no cgroup of its own (its note says so): what the
  // expected end by the box's memory limit becomes.
  std::string without_cgroup = "";
};

}  // namespace attack

TEST_F(Zekocheck, AttacksFailAndLeaveNothingBehind) {
  using namespace attack;
  put("start.zko", world(0, 2, 1, {{2, 1, 1}}));
  put("ziel.zko", world(1, 2, 3));
  const std::string ok = "bestanden", leaked = "nicht bestanden - Programm endete mit Status 7";
  const std::string secret_goal = dir_.path() + "/ziel.zko";
  const std::string task_goal = std::string(TASKS_DIR) + "/01-geradeaus/ziel1.zko";
  const std::string abstract_name = "zekocheck-angriff-" + std::to_string(getpid());
  const std::string bomb_limit = "nicht bestanden - nicht uebersetzbar - Grenze Speicher (256 MB)";
  const std::string ipc_key = std::to_string(0x5a000000 + (getpid() & 0xffffff));
  const std::string position = "nicht bestanden - Endwelt falsch (Position anders als im Ziel)",
                    link = "nicht bestanden - ein Verweis (symbolischer Link) wird nicht gelesen",
                    runtime_error = "nicht bestanden - Laufzeitfehler 201",
                    nothing_here = "nicht bestanden - nimm - auf dem Feld liegt nichts",
                    not_compiled = "nicht bestanden - nicht uebersetzbar";
  const std::string no_world = "nicht bestanden - keine Welt geladen";
  const std::string out_of_memory = "nicht bestanden - Speichergrenze ueberschritten";
  const int box_memory_mb = 256 + 64 + 8;  // --speicher, the own folder, /dev/shm
  const std::vector<Row> rows = {
      {"klasse1", source("klasse1", "", "loese;"), false, {ok, ok, ok, ok}},
      // Two pupils pass the moves through a keyring, the receiver has no
      // robot code of its own; both run at the same time.
      {"schickt",
       source("schickt", kKeys,
              "if hinterlege('zeko-antwort', 'nvvw') > 0 then Sleep(1500);\nloese;"),
       false, {ok, ok, ok, ok}},
      {"empfaengt",
       source("empfaengt", kKeys + "var k, n, i: longint; bis: QWord; zug: array[1..16] of char;\n",
              "bis := GetTickCount64 + 2000;\n"
              "repeat k := sichtbar('zeko-antwort'); Sleep(50) until (k <> 0) or (GetTickCount64 > bis);\n"
              "n := keyctl(11, k, TSysParam(@zug), SizeOf(zug), 0);\n"
              "if (k <> 0) and (n > 0) then initialisiere_die_Roboterwelt('w');\n"
              "for i := 1 to n do case zug[i] of 'n': nimm; 'v': vor; 'w': warte end;"),
       false, {no_world, no_world, no_world, no_world}},
      // the teacher's key, which only its keyring's possessor sees
      {"schluessel",
       source("schluessel", kKeys, "if (sichtbar('zeko-geheim') <> 0) or (sucht('zeko-geheim') > 0) then gelungen;\nloese;"),
       false, {ok, ok, ok, ok}},
      {"leert",
       source("leert", kKeys + "var k: TSysResult;\n",
              "k := sucht('zeko-geheim');\n"
              "if k > 0 then begin keyctl(7, -3, 0, 0, 0); keyctl(21, k, 0, 0, 0); gelungen end;\nloese;"),
       false, {ok, ok, ok, ok}},
      // a key in the user's keyring outlives the run
      {"hinterlaesst",
       source("hinterlaesst", kKeys, "if hinterlege('zeko-uebrig', 'x') > 0 then gelungen;\nloese;"),
       false, {ok, ok, ok, ok}},
      // tracing another process (seized: it is not stopped), zekocheck included
      {"verfolgt",
       source("verfolgt", "var sr: TSearchRec; p: longint;\n",
              "if FindFirst('/proc/*', faDirectory, sr) = 0 then repeat\n  p := StrToIntDef(sr.Name, 0);\n"
              "  if (p > 0) and (p <> fpGetPid) and (Do_SysCall(101, $4206, p, 0, 0) = 0) then gelungen;\n"
              "until FindNext(sr) <> 0;\nFindClose(sr);\nloese;"),
       false, {ok, ok, ok, ok}},
      // an honest program with a thread (the C library makes it with clone3
      // or, where that is missing, with clone)
      {"faeden",
       "program faeden;\n{$mode objfpc}{$H+}\nuses cthreads, ZekoInc;\n"
       "function arbeit(p: pointer): ptrint; begin arbeit := 0 end;\nvar t: TThreadID;\nbegin\n"
       "  t := BeginThread(@arbeit, nil);\n  if t = 0 then halt(7);\n  WaitForThreadTerminate(t, 0);\n"
       "  initialisiere_die_Roboterwelt('w'); nimm; vor; vor; warte;\nend.\n",
       false, {ok, ok, ok, ok}},
      // a user name space of its own, where it would have every right
      {"trennt", source("trennt", "", "if Do_SysCall(272, $10000000) = 0 then gelungen;\nloese;"), false,
       {ok, ok, ok, ok}},
      // memory past --speicher in pages no address space holds
      // (memfd_create is closed where no cgroup bounds the box; nothing
      // bounds the machine's /dev/shm then)
      {"memfd", fill("memfd", "memfd", box_memory_mb, 640), false, {out_of_memory, ok, out_of_memory, ok}, "", ok},
      {"shmgross", fill("shmgross", "/dev/shm", box_memory_mb, 640), false, {ok, ok, out_of_memory, ""}, "", leaked},
      {"dev", fill("dev", "/dev", 16), false, {ok, ok, ok, ok}},
      {"umount",
       source("umount", "var k: integer; own, base: string;\n",
              "own := GetCurrentDir; base := ExtractFileDir(ExtractFileDir(own));\n"
              "try ExecuteProcess('/bin/mount', '-o remount,bind,rw /'); except end;\n"
              "if FileCreate('/usr/zeko-angriff') >= 0 then gelungen;\n"
              "try ExecuteProcess('/bin/umount', '-l ' + own); except end;\n"
              "for k := 1 to 30 do if 'p' + IntToStr(k) <> ExtractFileName(ExtractFileDir(own)) then\n"
              "  if FileOpen(base + '/p' + IntToStr(k) + '/w1/start.zko', fmOpenRead) >= 0 then gelungen;\nloese;"),
       false, {ok, ok, ok, ""}},
      {"liest",
       source("liest", "",
              "if FileOpen('" + secret_goal + "', fmOpenRead) >= 0 then gelungen;\n"
              "if FileOpen('" + task_goal + "', fmOpenRead) >= 0 then gelungen;\n"
              "if DirectoryExists('/home') or DirectoryExists('/root') or DirectoryExists('/run') then\n"
              "  gelungen;\nloese;"),
       false, {ok, ok, leaked, leaked}},
      {"umgebung.pas",
       source("umgebung", "const h = {$I %SSH_AUTH_SOCK%}; g = {$I %ZEKO_GEHEIM%};\n",
              "if (h <> '') or (g <> '') or (GetEnvironmentVariable('SSH_AUTH_SOCK') <> '') or\n"
              "   (GetEnvironmentVariable('ZEKO_GEHEIM') <> '') then gelungen;\nloese;"),
       true, {ok, ok, ok, ok}},
      {"bombe.pas",
       "program bombe;\nuses ZekoInc;\n{$MACRO ON}\n{$DEFINE A1 := 0,0,0,0,0,0,0,0,0,0}\n"
       "{$DEFINE A2 := A1,A1,A1,A1,A1,A1,A1,A1,A1,A1}\n{$DEFINE A3 := A2,A2,A2,A2,A2,A2,A2,A2,A2,A2}\n"
       "{$DEFINE A4 := A3,A3,A3,A3,A3,A3,A3,A3,A3,A3}\n{$DEFINE A5 := A4,A4,A4,A4,A4,A4,A4,A4,A4,A4}\n"
       "{$DEFINE A6 := A5,A5,A5,A5,A5,A5,A5,A5,A5,A5}\n{$DEFINE A7 := A6,A6,A6,A6,A6,A6,A6,A6,A6,A6}\n"
       "{$DEFINE A8 := A7,A7,A7,A7,A7,A7,A7,A7,A7,A7}\nconst gross: array[1..100000000] of byte = (A8);\n"
       "begin\n  writeln(gross[5]);\nend.\n",
       true, {bomb_limit, bomb_limit, bomb_limit, ""}},
      {"gabeln",
       source("gabeln", "var i: integer; haupt: longint;\n",
              "haupt := fpGetPid;\nfor i := 1 to 200 do if fpFork < 0 then break;\n"
              "if fpGetPid <> haupt then while true do Sleep(1000);\nSleep(1500);\nloese;"),
       false, {ok, ok, ok, ""}},
      // the limit of 64 processes holds for the program's own children
      {"zaehlt",
       source("zaehlt", "var i, n: integer;\n",
              "n := 0;\nfor i := 1 to 100 do\n  case fpFork of\n    -1: break;\n"
              "    0: begin Sleep(3000); fpExit(0) end;\n  else n := n + 1 end;\n"
              "if n >= 64 then gelungen;\nloese;"),
       false, {ok, ok, ok, ""}},
      {"toetet",
       source("toetet", "var sr: TSearchRec; p: longint; bis: QWord;\n",
              "fpKill(fpGetPPid, SIGKILL);\nbis := GetTickCount64 + 1000;\nrepeat\n"
              "  if FindFirst('/proc/*', faDirectory, sr) = 0 then repeat\n"
              "    p := StrToIntDef(sr.Name, 0);\n    if (p > 0) and (p <> fpGetPid) then fpKill(p, SIGKILL);\n"
              "  until FindNext(sr) <> 0;\n  FindClose(sr);\n  Sleep(20);\nuntil GetTickCount64 > bis;\nloese;"),
       false, {ok, ok, ok, ""}},
      {"shm", fill("shm", "/dev/shm", 16), false, {ok, ok, leaked, ""}},
      {"voll", fill("voll", ".", 70), false, {ok, ok, ok, ""}},
      {"tief",
       source("tief", "var i: integer; bis: QWord;\n",
              "initialisiere_die_Roboterwelt('w');\nbis := GetTickCount64 + 2500;\nfor i := 1 to 10000 do begin\n"
              "  if not CreateDir('d') or not SetCurrentDir('d') or (GetTickCount64 > bis) then break;\nend;\n"
              "nimm; vor; vor; warte;"),
       false, {ok, ok, ok, ok}},
      {"socket",
       source("socket", "function verbinde(const pfad: string; abstrakt: boolean): boolean;\n"
                        "var s: longint; a: TUnixSockAddr;\nbegin\n  s := fpSocket(AF_UNIX, SOCK_STREAM, 0);\n"
                        "  FillChar(a, SizeOf(a), 0);\n  a.family := AF_UNIX;\n"
                        "  if abstrakt then Move(pfad[1], a.path[1], Length(pfad))\n"
                        "  else Move(pfad[1], a.path[0], Length(pfad));\n"
                        "  verbinde := fpConnect(s, @a, SizeOf(sa_family_t) + Length(pfad) + 1) = 0;\n"
                        "  CloseSocket(s);\nend;\n",
              "if verbinde('" + dir_.path() + "/sock', false) or verbinde('" + abstract_name +
                  "', true) then gelungen;\nloese;"),
       false, {ok, ok, "", ""}},
      // its box's supervisor killed: only its own run ends with it
      {"aufseher", source("aufseher", "", "fpKill(fpGetPPid, SIGKILL);\nSleep(500);\nloese;"), false,
       {ok, ok, ok, "nicht bestanden - abgebrochen (Signal 9, zu viel Speicher?)"}},
      // identical sources compiled once: the program waits for the second
      // one where no classmate (fremd) can reach it
      {"gleich1.pas", source("gleich", "", "loese;"), true, {ok, ok, ok, ok}},
      // a classmate's program, compiled or given, started instead of its own robot code
      {"fremd",
       source("fremd", "var k: integer; box, base, p: string;\n",
              "box := ExtractFileDir(GetCurrentDir); base := ExtractFileDir(box);\n"
              "for k := 1 to 40 do begin\n  p := base + '/p' + IntToStr(k);\n"
              "  if (p <> box) and ((FileOpen(p + '/programm', fmOpenRead) >= 0) or\n"
              "     (FileOpen(p + '/w1/programm', fmOpenRead) >= 0) or\n"
              "     (FileOpen(base + '/programme/' + IntToStr(k), fmOpenRead) >= 0)) then gelungen;\nend;\nloese;"),
       false, {ok, ok, ok, ok}},
      {"gleich2.pas", source("gleich", "", "loese;"), true, {ok, ok, ok, ok}},
      // SysV IPC and a lock file that would outlive the check
      {"reste",
       source("reste", "",
              "if (shmget(" + ipc_key + ", 65536, IPC_CREAT or &666) < 0) or (semget(" + ipc_key +
                  ", 1, IPC_CREAT or &666) < 0) or\n   (msgget(" + ipc_key + ", IPC_CREAT or &666) < 0) then halt(3);\n"
                  "FileCreate('/run/lock/" + mark() + "-sperre');\nloese;"),
       false, {ok, ok, ok, ""}},
      {"tmp", fill("tmp", "/tmp", 70), false, {ok, ok, leaked, ""}},
      // the environment and the memory (what ptrace would reach) of the processes
      // above it: its supervisor, zekocheck and the teacher's
      {"spioniert",
       source("spioniert", "var p, f, n: longint; buf: array[0..65535] of char; s: string;\n"
                           "function lies(const pfad: string): string;\nbegin\n  lies := '';\n"
                           "  f := fpOpen(pfad, O_RdOnly);\n  if f < 0 then exit;\n  n := fpRead(f, buf, SizeOf(buf));\n"
                           "  fpClose(f);\n  if n > 0 then SetString(lies, buf, n);\nend;\n",
              "p := fpGetPPid;\nwhile p > 1 do begin\n"
              "  if Pos('ZEKO_GEHEIM=', lies('/proc/' + IntToStr(p) + '/environ')) > 0 then gelungen;\n"
              "  if fpOpen('/proc/' + IntToStr(p) + '/mem', O_RdOnly) >= 0 then gelungen;\n"
              "  s := lies('/proc/' + IntToStr(p) + '/stat');\n  s := Copy(s, LastDelimiter(')', s) + 4, 20);\n"
              "  p := StrToIntDef(Copy(s, 1, Pos(' ', s) - 1), 0);\nend;\nloese;"),
       false, {ok, ok, ok, ok}},
      // no user name space of its own in the sandbox, and no group of the teacher's
      {"namensraum",
       source("namensraum", "var t: text; z: string;\n",
              "if Do_SysCall(syscall_nr_unshare, $10000000) = 0 then gelungen;\n"
              "assign(t, '/proc/self/status'); reset(t);\nwhile not eof(t) do begin\n  readln(t, z);\n"
              "  if (Pos('Groups:', z) = 1) and (Trim(Copy(z, 8, 200)) <> '') then gelungen;\nend;\nclose(t);\nloese;"),
       false, {ok, ok, "", ""}},
      // names that would be options, links, and text that is no place of the program's own
      {"--ohne-position=x.pas", source("ohneposition", "", "initialisiere_die_Roboterwelt('w'); nimm; vor; warte;"),
       true, {position, position, position, position}},
      {"-x.pas", source("x", "", "loese;"), true, {ok, ok, ok, ok}},
      {"verweis.pas", "", true, {link, link, link, link}, "klasse1.pas"},
      {"schatten.pas", "", true, {link, link, link, link}, "/etc/shadow"},
      {"zeilen",
       source("zeilen", "var i: integer;\n",
              "writeln('Runtime error 201 - Bereich (klasse1.pas, Zeile 4) (zeilen.pas, Zeile 99999999999)');\n"
              "writeln('Runtime error 201 at $00401234');\nwriteln('  $00401234  line 99999999999 of zeilen.pas');\n"
              "writeln('  $00401234  line 4 of klasse1.pas');\nwrite('  $00401234  line ');\n"
              "for i := 1 to 40000 do write('7');\nwriteln(' of zeilen.pas');\n"
              "writeln(#$ED#$A0#$80' '#$C0#$AF' '#$F5#$FF' '#$EF#$BF#$BF' '#$C2#$9B'2J'#$E2#$80#$AE'cba <&\">');\n"
              "halt(201);"),
       false, {runtime_error, runtime_error, runtime_error, runtime_error}},
      {"ort",
       source("ort", "var s: string;\n",
              "initialisiere_die_Roboterwelt('w'); nimm; vor;\nfpWrite(3, 'n', 1);\n"
              "s := 'klasse1.pas, Zeile 3: nimm - auf dem Feld liegt nichts';\ns := 'M' + chr(length(s)) + s;\n"
              "fpWrite(3, s[1], length(s));\nhalt(0);"),
       false, {nothing_here, nothing_here, nothing_here, nothing_here}},
      {"fehler.c", "#include \"zekoinc.h\"\n#error (99999999999,1) <b>&\nint main(void) { return 0; }\n", true,
       {not_compiled, not_compiled, not_compiled, not_compiled}},
      // a descriptor the teacher's shell left open (the goal world, as 7)
      {"erbt",
       source("erbt", "var i: integer; st: Stat;\n",
              "for i := 3 to 1023 do\n  if (fpFStat(i, st) = 0) and fpS_ISREG(st.st_mode) then gelungen;\nloese;"),
       false, {ok, ok, ok, ok}},
      {"klasse2", source("klasse2", "", "loese;"), false, {ok, ok, ok, ok}},
  };
  std::string compile = "true";
  for (const Row& r : rows) {
    if (!r.link_to.empty()) {
      fs::create_symlink(r.link_to, dir_ / r.name);
      continue;
    }
    put(r.compiled_by_zekocheck ? r.name : r.name + ".pas", r.source);
    if (!r.compiled_by_zekocheck) compile += " && " + std::string(ZEKOC_PATH) + " -v0 " + r.name + ".pas";
  }
  Result compiled = shell(compile, true);
  ASSERT_EQ(compiled.status, 0) << compiled.output;
  // A busy child left by a program that ended is gone when the next starts.
  put("uebrig.pas", source("uebrig", "",
                           "if fpFork = 0 then begin ExecuteProcess('/bin/sh', ['-c', 'while :; do :; done', "
                           "'zekocheck-uebrig']); fpExit(0) end;\nloese;"));
  put("sucht.pas", source("sucht", "var sr: TSearchRec; f, n: longint; buf: array[0..4095] of char; s: string;\n",
                          "if FindFirst('/proc/*', faDirectory, sr) = 0 then repeat\n"
                          "  f := fpOpen('/proc/' + sr.Name + '/cmdline', O_RdOnly);\n"
                          "  if f >= 0 then begin\n    n := fpRead(f, buf, SizeOf(buf)); fpClose(f);\n"
                          "    if n > 0 then SetString(s, buf, n) else s := '';\n"
                          "    if Pos('zekocheck-uebrig', s) > 0 then gelungen;\n"
                          "  end;\nuntil FindNext(sr) <> 0;\nFindClose(sr);\nloese;"));
  ASSERT_EQ(shell(std::string(ZEKOC_PATH) + " uebrig.pas >/dev/null && " + ZEKOC_PATH + " sucht.pas >/dev/null").status,
            0);

  // The host's sockets a program must not reach: one in the teacher's
  // folder (open to everyone) and an abstract one.
  int path_socket = socket(AF_UNIX, SOCK_STREAM, 0), abstract_socket = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un path_addr {}, abstract_addr {};
  path_addr.sun_family = abstract_addr.sun_family = AF_UNIX;
  std::snprintf(path_addr.sun_path, sizeof path_addr.sun_path, "%s/sock", dir_.path().c_str());
  std::memcpy(abstract_addr.sun_path + 1, abstract_name.data(), abstract_name.size());
  ASSERT_EQ(bind(path_socket, reinterpret_cast<sockaddr*>(&path_addr), sizeof path_addr), 0);
  ASSERT_EQ(bind(abstract_socket, reinterpret_cast<sockaddr*>(&abstract_addr),
                 static_cast<socklen_t>(sizeof(sa_family_t) + 1 + abstract_name.size())), 0);
  chmod(path_addr.sun_path, 0777);
  listen(path_socket, 8);
  listen(abstract_socket, 8);

  // The teacher's session keyring (this process's own, new) with a key
  // only its possessor sees; none where keyrings are closed to us. The key
  // belongs to the user the user settings run as, as a teacher's would
  // (a user name space shows only keys of the users it maps).
  const bool keys = syscall(SYS_keyctl, KEYCTL_JOIN_SESSION_KEYRING, "zekocheck-test") >= 0;
  const long secret = keys ? syscall(SYS_add_key, "user", "zeko-geheim", "geheim", 6, KEY_SPEC_SESSION_KEYRING) : 0;
  if (keys) {
    ASSERT_EQ(syscall(SYS_keyctl, KEYCTL_SETPERM, secret, 0x3f000000), 0);  // the possessor's rights only
    if (geteuid() == 0) {
      ASSERT_EQ(syscall(SYS_keyctl, KEYCTL_CHOWN, secret, 65534, -1), 0);
    }
  }

  // As root, the settings as a user where that user reaches zekocheck (not
  // from a build tree in a folder closed to others).
  const bool root = geteuid() == 0 && access("/usr/bin/setpriv", X_OK) == 0;
  const bool user_reaches = root && support::run_shell("setpriv --reuid=nobody --regid=nogroup --clear-groups test -x '" +
                                                       std::string(ZEKOCHECK_PATH) + "'").status == 0;
  fs::create_directory(dir_ / "nobody");
  fs::permissions(dir_ / "nobody", fs::perms::all);
  // What a setting's run leaves: processes of its programs, its folders,
  // mounts, files in /dev/shm, the check's cgroup, keys (the attackers let
  // everyone see theirs, and they are ended here once seen); and whether the
  // teacher's key is still there.
  auto left_behind = [&](const std::string& tmp) {
    std::string found;
    std::ifstream key_list("/proc/keys");
    for (std::string line; std::getline(key_list, line);)
      if (line.find("zeko-uebrig") != std::string::npos || line.find("zeko-antwort") != std::string::npos) {
        found += "key " + line + " ";
        syscall(SYS_keyctl, KEYCTL_INVALIDATE, std::stol(line, nullptr, 16));
      }
    if (keys && syscall(SYS_keyctl, KEYCTL_SEARCH, KEY_SPEC_SESSION_KEYRING, "user", "zeko-geheim", 0) != secret)
      found += "the teacher's key is gone ";
    std::ifstream pid_file(dir_ / "pid-zekocheck");
    std::string check_cgroup;
    if (pid_file >> check_cgroup) check_cgroup = "zekocheck." + check_cgroup;
    std::error_code ec;
    for (fs::recursive_directory_iterator d("/sys/fs/cgroup", fs::directory_options::skip_permission_denied, ec), end;
         !check_cgroup.empty() && d != end; d.increment(ec))
      if (d->path().filename() == check_cgroup) found += "cgroup " + d->path().string() + " ";
    for (const auto& entry : fs::directory_iterator("/proc")) {
      std::ifstream in(entry.path() / "cmdline");  // getline: a process that went is no exception
      std::string cmdline;
      std::getline(in, cmdline);
      if (cmdline.find(tmp + "/zekocheck.") != std::string::npos ||
          cmdline.find("zekocheck-uebrig") != std::string::npos)
        found += "process " + entry.path().filename().string() + " ";
    }
    for (const auto& entry : fs::directory_iterator(tmp))
      if (entry.path().filename().string().starts_with("zekocheck.")) found += "folder " + entry.path().string() + " ";
    std::ifstream mounts("/proc/self/mountinfo");
    for (std::string line; std::getline(mounts, line);)
      if (line.find(tmp + "/zekocheck.") != std::string::npos) found += "mount " + line + " ";
    // Only what this test's programs made, by their names and key.
    for (const char* shared : {"/dev/shm", "/tmp", "/run/lock"})
      for (const auto& entry : fs::directory_iterator(shared))
        if (entry.path().filename().string().starts_with(mark())) found += "file " + entry.path().string() + " ";
    for (const char* table : {"shm", "sem", "msg"}) {
      std::ifstream ipc(std::string("/proc/sysvipc/") + table);
      std::string key;
      for (std::string line; std::getline(ipc, line);)
        if (std::istringstream(line) >> key && key == ipc_key) found += std::string("ipc ") + table + " ";
    }
    return found;
  };

  bool any_sandbox = false;
  for (int setting = 0; setting < kSettings; ++setting) {
    const bool sandbox = setting == kRootSandbox || setting == kUserSandbox;
    const bool as_user = setting == kUserSandbox || setting == kUserPlain;
    SCOPED_TRACE("setting " + std::to_string(setting));
    if (as_user && !user_reaches) continue;
    std::string tmp = as_user ? (dir_ / "nobody").string() : dir_.path();
    // As root with a supplementary group, which the slots' users must not keep.
    std::string prefix = "7<'" + secret_goal + "' SSH_AUTH_SOCK=/geheim/agent ZEKO_GEHEIM=geheim TMPDIR='" + tmp + "' " +
                         "sh -c 'echo $$ >pid-zekocheck && exec \"$@\"' zekocheck " +
                         (as_user ? "setpriv --reuid=nobody --regid=nogroup --clear-groups "
                                  : root ? "setpriv --groups=100 " : "") + ZEKOCHECK_PATH +
                         (sandbox ? "" : " --ohne-sandbox") + " --zeit 5 ";
#ifdef ZEKO_SANITIZE
    // The sanitizer runtime needs an unlimited address space and does not
    // go into the sandbox: only a left busy child is tried.
    if (sandbox) continue;
    prefix += common_options() + " ";
    const bool table = false;
#else
    prefix += "--speicher 256 ";
    const bool table = true;
#endif
    if (table) {
      std::string names;
      for (const Row& r : rows)
        if (!r.expected[setting].empty()) names += " " + r.name;
      const std::string reports = tmp + "/klasse";
      Result run = shell(prefix + "-j 2 --junit " + reports + ".xml --html " + reports + ".html -- start.zko ziel.zko" +
                         names, true);
      if (sandbox && run.output.find("Hinweis: bwrap") != std::string::npos) continue;  // not here
      any_sandbox = any_sandbox || sandbox;
      const bool cgroup = run.output.find("ohne eigene cgroup") == std::string::npos;
      for (const Row& r : rows)
        if (!r.expected[setting].empty()) {
          const bool bounded = cgroup || r.expected[setting] != out_of_memory;
          EXPECT_EQ(line_of(run.output, r.name), bounded ? r.expected[setting] : r.without_cgroup)
              << r.name << "\n" << run.output;
        }
      // whatever the programs printed, every report stays what it is
      EXPECT_TRUE(support::terminal_safe(run.output)) << run.output;
      EXPECT_TRUE(support::xml_well_formed(support::read_file(reports + ".xml")));
      EXPECT_TRUE(support::html_tags_only(support::read_file(reports + ".html"), support::kPageTags,
                                          support::kPageEntities));
      EXPECT_EQ(left_behind(tmp), "");
    }
    if (sandbox) continue;
    Result one = shell(prefix + "-j 1 start.zko ziel.zko uebrig sucht klasse1", true);
    EXPECT_EQ(line_of(one.output, "uebrig"), ok) << one.output;
    EXPECT_EQ(line_of(one.output, "sucht"), ok) << one.output;
    EXPECT_EQ(left_behind(tmp), "");
  }
#ifndef ZEKO_SANITIZE
  // A run its box's memory limit ends fails alone: the pupil's next run in
  // the same box starts, and passes.
  fs::create_directories(dir_ / "speicher" / "01-zweimal");
  for (const std::string world : {"start1", "ziel1", "start2", "ziel2"})
    put("speicher/01-zweimal/" + world + ".zko", support::read_file(dir_ / (world[0] == 's' ? "start.zko" : "ziel.zko")));
  put("speicher/01-zweimal/aufgabe.txt", "Zweimal\n");
  put("einmal.pas", source("einmal", "var i, j, f: longint; buf: array[0..65535] of byte;\n",
                           "if ExtractFileName(GetCurrentDir) = 'w1' then\n  for i := 1 to 640 do begin\n"
                           "    if i mod 16 = 1 then f := Do_SysCall(319, TSysParam(PChar('zeko')), 0);\n"
                           "    for j := 1 to 16 do fpWrite(f, buf, SizeOf(buf));\n  end;\nloese;"));
  ASSERT_EQ(shell(std::string(ZEKOC_PATH) + " -v0 einmal.pas").status, 0);
  for (const char* options : {"", " --ohne-sandbox"}) {
    Result twice = shell("ZEKO_AUFGABEN=speicher " + std::string(ZEKOCHECK_PATH) + options +
                         " --speicher 256 --aufgabe zweimal einmal", true);
    if (twice.output.find("ohne eigene cgroup") != std::string::npos) continue;  // memfd closed: nothing to end
    EXPECT_NE(twice.output.find("einmal: nicht bestanden - Welt 1: Speichergrenze ueberschritten - ansehen: "
                                "ZEKO_WELT=zweimal-1 ./einmal\n  1 von 2 Welten bestanden\n"),
              std::string::npos) << options << "\n" << twice.output;
    EXPECT_EQ(left_behind(dir_.path()), "") << options;
  }
#endif
  // An interrupted check leaves nothing either, in the sandbox and without.
  put("wartet.pas", source("wartet", "", "initialisiere_die_Roboterwelt('w');\nwhile true do Sleep(100);"));
  ASSERT_EQ(shell(std::string(ZEKOC_PATH) + " wartet.pas >/dev/null").status, 0);
  for (const char* options : {"", " --ohne-sandbox"}) {
    Result stopped = shell("timeout -s INT 2 sh -c 'echo $$ >pid-zekocheck && exec \"$@\"' zekocheck " +
                           std::string(ZEKOCHECK_PATH) + common_options() + options +
                           " --zeit 30 start.zko ziel.zko wartet");
    EXPECT_EQ(stopped.status, 124) << options;
    EXPECT_EQ(left_behind(dir_.path()), "") << options;
  }
  close(path_socket);
  close(abstract_socket);

  // A check ended by a signal while a run is under way leaves nothing either.
  put("schlaeft.pas", source("schlaeft", "", "Sleep(20000);\nloese;"));
  ASSERT_EQ(shell(std::string(ZEKOC_PATH) + " -v0 schlaeft.pas").status, 0);
  fs::remove(dir_ / "pid-zekocheck");
  shell("sh -c 'echo $$ >pid-zekocheck.neu && mv pid-zekocheck.neu pid-zekocheck && exec \"$@\"' zekocheck " +
        std::string(ZEKOCHECK_PATH) + common_options() + " start.zko ziel.zko schlaeft >/dev/null 2>&1 &");
  pid_t check = 0;
  bool running = false;
  for (int tries = 0; tries < 1000 && !running; ++tries) {  // until the program's run is started in its box
    usleep(10000);
    std::ifstream pid_file(dir_ / "pid-zekocheck");
    if (check == 0) pid_file >> check;
    for (const auto& entry : fs::directory_iterator("/proc")) {
      std::ifstream cmdline(entry.path() / "cmdline");
      std::string text(std::istreambuf_iterator<char>(cmdline), {});
      running = running || (check > 0 && text.starts_with(dir_.path() + "/zekocheck.") &&
                            text.find("/p1/programm") != std::string::npos);
    }
  }
  ASSERT_TRUE(running);
  kill(check, SIGTERM);
  for (int tries = 0; tries < 1000 && kill(check, 0) == 0; ++tries) usleep(10000);
  EXPECT_EQ(left_behind(dir_.path()), "");
#ifndef ZEKO_SANITIZE
  // The compiler's own time limit, before its memory limit.
  Result slow = zekocheck("--zeit-uebersetzen 1 --speicher 2048 start.zko ziel.zko bombe.pas");
  EXPECT_EQ(line_of(slow.output, "bombe.pas"), "nicht bestanden - nicht uebersetzbar - Grenze Zeit (1 s)")
      << slow.output;
  EXPECT_EQ(left_behind(dir_.path()), "");
#endif
  if (!any_sandbox)
    GTEST_SKIP() << "bwrap cannot make its name spaces here: only the runs without the sandbox were tried";
}
