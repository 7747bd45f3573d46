// End-to-end checks of zekocheck: every task of the collection against its
// model and wrong solution, the reason for every way a learner program can
// end, the JSON and JUnit outputs, and the world-file check.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "files.h"
#include "learner_env.h"
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

// A strict JSON reader that only says whether the text is one JSON value.
class JsonCheck {
 public:
  explicit JsonCheck(const std::string& s) : s_(s) {}
  bool valid() {
    bool ok = value();
    space();
    return ok && i_ == s_.size();
  }

 private:
  void space() {
    while (i_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[i_]))) ++i_;
  }
  bool literal(const char* word) {
    std::string w = word;
    if (s_.compare(i_, w.size(), w) != 0) return false;
    i_ += w.size();
    return true;
  }
  bool string() {
    if (s_[i_] != '"') return false;
    for (++i_; i_ < s_.size(); ++i_) {
      unsigned char c = static_cast<unsigned char>(s_[i_]);
      if (c == '"') return ++i_, true;
      if (c < 32) return false;
      if (c == '\\') {
        char e = s_[++i_];
        if (e == 'u') {
          for (int k = 0; k < 4; ++k)
            if (!std::isxdigit(static_cast<unsigned char>(s_[++i_]))) return false;
        } else if (std::string("\"\\/bfnrt").find(e) == std::string::npos) {
          return false;
        }
      }
    }
    return false;
  }
  bool value() {
    space();
    if (i_ >= s_.size()) return false;
    char c = s_[i_];
    if (c == '"') return string();
    if (c == '{' || c == '[') {
      char close = c == '{' ? '}' : ']';
      ++i_;
      space();
      if (s_[i_] == close) return ++i_, true;
      for (;;) {
        if (c == '{') {
          space();
          if (!string()) return false;
          space();
          if (s_[i_++] != ':') return false;
        }
        if (!value()) return false;
        space();
        if (s_[i_] == ',') ++i_;
        else if (s_[i_] == close) return ++i_, true;
        else return false;
      }
    }
    if (literal("true") || literal("false") || literal("null")) return true;
    std::size_t start = i_;
    if (s_[i_] == '-') ++i_;
    while (i_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[i_]))) ++i_;
    return i_ > start && std::isdigit(static_cast<unsigned char>(s_[i_ - 1]));
  }
  const std::string& s_;
  std::size_t i_ = 0;
};

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
      if (task == "01-geradeaus") {  // it walks exactly as far as the first world needs
        EXPECT_EQ(reason, "nicht bestanden - Welt 2: falsch" + ending + ", Zeile 5: vor - vor Zeko liegt ein Hindernis");
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
  Result missing = zekocheck("--aufgabe gibtsnicht x.pas", true);
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.output.find("die Aufgabe \"gibtsnicht\" gibt es nicht"), std::string::npos) << missing.output;
}

// Every way a learner program ends, in one class run of programs compiled
// once: the reasons for people, JSON and JUnit, the limits, and that no
// process stays behind.
TEST_F(Zekocheck, EveryEndHasItsReasonInEveryOutput) {
  put("start.zko", world(0, 2, 1, {{2, 1, 1}}));
  put("ziel.zko", world(1, 2, 3));
  const std::string solve = "initialisiere_die_Roboterwelt('egal.zko'); nimm; vor; vor; warte;";
  struct Case {
    std::string name, source, reason;
  };
  const std::vector<Case> cases = {
      {"gut", program("gut", solve), "bestanden"},
      // readln gets the end of input at once instead of waiting
      {"liest", program("liest", "readln(s); if s = '' then begin " + solve + " end;", "var s: string;\n"),
       "bestanden"},
      {"ewig", program("ewig", "initialisiere_die_Roboterwelt('w'); while true do links;"),
       "nicht bestanden - Abbruch nach 1000 Befehlen"},
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
  };
  std::string compile = "true", names;
  for (const Case& c : cases) {
    put(c.name + ".pas", c.source);
    compile += " && " + std::string(ZEKOC_PATH) + " " + c.name + ".pas >/dev/null";
    names += " " + c.name;
  }
  ASSERT_EQ(shell(compile, true).status, 0);
  put("kaputt.pas", program("kaputt", "vorr;"));
  put("notiz.txt", "kein Programm\n");

  Result people = zekocheck("--zeit 1 --max-befehle 1000 --junit junit.xml start.zko ziel.zko" + names +
                            " kaputt.pas fehlt.pas notiz.txt");
  EXPECT_EQ(people.status, 1);
  for (const Case& c : cases) EXPECT_EQ(line_of(people.output, c.name), c.reason) << people.output;
  EXPECT_EQ(line_of(people.output, "kaputt.pas"), "nicht bestanden - nicht uebersetzbar");
  // the compiler's first message (in the compiler's language) without its summary
  std::size_t message = people.output.find("\n  kaputt.pas(4,1) ");
  EXPECT_NE(message, std::string::npos) << people.output;
  EXPECT_NE(people.output.find("\"vorr\"", message), std::string::npos) << people.output;
  EXPECT_EQ(people.output.find("kaputt.pas(5)"), std::string::npos) << people.output;
  EXPECT_EQ(line_of(people.output, "fehlt.pas"), "nicht bestanden - Datei nicht gefunden");
  EXPECT_EQ(line_of(people.output, "notiz.txt"), "nicht bestanden - Programm laesst sich nicht starten");
  // the wrong world side by side, the differing field marked in both grids
  EXPECT_NE(people.output.find("    1 . .*1 . ."), std::string::npos) << people.output;
  EXPECT_NE(people.output.find("    1 . .*. . ."), std::string::npos) << people.output;
  EXPECT_NE(people.output.find("  Position: erwartet x=2 y=3, tatsaechlich x=2 y=2\n"), std::string::npos);
  EXPECT_NE(people.output.find("  Vorrat: erwartet 1, tatsaechlich 0\n"), std::string::npos);
  // the program's own text, cut to a few lines
  EXPECT_NE(people.output.find("  | Zeile 5\n  | ... (20 Zeilen)\n"), std::string::npos) << people.output;
  EXPECT_EQ(people.output.find("Zeile 6"), std::string::npos);

  std::string junit;
  junit = dir_.read("junit.xml");
  EXPECT_EQ(junit.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites", 0), 0u) << junit;
  EXPECT_NE(junit.find("tests=\"11\" failures=\"9\""), std::string::npos) << junit;
  EXPECT_NE(junit.find("name=\"kaputt.pas\""), std::string::npos);
  std::size_t failure = junit.find("message=\"nicht uebersetzbar: kaputt.pas(4,1) ");
  EXPECT_NE(failure, std::string::npos) << junit;
  EXPECT_NE(junit.find("&quot;vorr&quot;", failure), std::string::npos) << junit;

  Result json = zekocheck("--json --zeit 1 --max-befehle 1000 start.zko ziel.zko gut rechnet falsch");
  EXPECT_EQ(json.status, 1);
  EXPECT_TRUE(JsonCheck(json.output).valid()) << json.output;
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

  // no learner process outlives the check (their programs lay in our folder)
  for (const auto& entry : fs::directory_iterator("/proc")) {
    std::error_code ec;
    fs::path exe = fs::read_symlink(entry.path() / "exe", ec);
    if (!ec) {
      EXPECT_EQ(exe.string().find(dir_.path()), std::string::npos) << exe;
    }
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
                          "nur mit ihren Grenzen.\ngeht: bestanden\n");
#endif

  struct Bad {
    std::string args, message;
  } bad[] = {
      {"start.zko ziel.zko", "kein Programm angegeben"},
      {"--zeit 0 start.zko ziel.zko geht", "--zeit braucht Sekunden"},
      {"-j x start.zko ziel.zko geht", "-j braucht eine ganze Zahl"},
      {"--schnell start.zko ziel.zko geht", "unbekannte Option --schnell"},
      {"fehlt.zko ziel.zko geht", "die Start-Welt fehlt.zko ist nicht lesbar: die Datei gibt es nicht"},
      {"start.zko geht geht", "die Ziel-Welt geht ist nicht lesbar: Zeile 1: \"?ELF\" ist keine ganze Zahl"},
  };
  for (const Bad& b : bad) {
    Result r = zekocheck(b.args, true);
    EXPECT_EQ(r.status, 2) << b.args;
    EXPECT_NE(r.output.find(b.message), std::string::npos) << b.args << "\n" << r.output;
  }
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
  Result r = zekocheck("--welt" + names + " fehlt.zko");
  EXPECT_EQ(r.output, expected + "fehlt.zko: nicht lesbar - die Datei gibt es nicht\n");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(zekocheck("--welt gut.zko kurz.zko").status, 1);
  EXPECT_EQ(zekocheck("--welt gut.zko crlf.zko").status, 0);
}

}  // namespace
