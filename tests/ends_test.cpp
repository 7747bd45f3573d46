// Every way a program can end, in one table: each row starts a program
// (a learner program, the recorder, the editor) in a folder of its own,
// brings it into a state, ends it one way and checks what is left behind --
// the exit status, the terminal modes, the files. The learner program is one
// Pascal program whose argument chooses what it does.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <stdexcept>
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
using Clock = std::chrono::steady_clock;

namespace {

// The robot at (2,3) facing down with 5 items; two items below it, an
// obstacle three fields below.
support::World world_state() { return support::World().robot(2, 3, 5).at(2, 4, 2).at(2, 6, -1); }
std::string world() { return world_state().text(); }

// What the learner program does, by its argument.
const char* kLearner = R"(program enden;
uses ZekoInc;
var art: string; n: integer;
begin
  art := ParamStr(1);
  if art = 'fehlt' then initialisiere_die_Roboterwelt('fehlt.zko')
  else initialisiere_die_Roboterwelt('welt.zko');
  if art = 'schleife' then while true do links;
  if art = 'rechnen' then while true do n := n + 1;
  if art = 'vor' then while true do vor;
  if art = 'nimm' then nimm;
  if art = 'gib' then while true do gib;
  if art = 'lesen' then begin write('Zahl? '); readln(n); writeln(100 div n); end;
  warte;
end.
)";

std::string run_shell(const std::string& command) {
  support::ShellResult r = support::run_shell(command + " 2>&1");
  if (r.status != 0) throw std::runtime_error(command + " failed:\n" + r.output);
  return r.output;
}

long ms_since(Clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

// How a row ends the program once it is in its state.
enum class End {
  none,           // it ends by itself (normal end, failed command, run-time error)
  signal,         // a signal from outside
  input_end,      // standard input is a pipe: the row's bytes, then its end
  terminal_loss,  // the pty (not the controlling terminal) is closed
};

enum class Program { learner, zekoprog, zekoedit };

// What the folder holds afterwards, besides the worlds it started with
// (welt.zko, the template welt0.zko, and alt.zko, which the editor opens).
enum class Files {
  untouched,         // nothing changed, nothing added
  program_complete,  // the recorder's mepp.pas with head, the steps "vvl" and tail
  world_new,         // alt.zko is the edited world, complete
};

struct Row {
  const char* name;
  Program program;
  std::string argument;                      // of the learner program
  std::function<void(zt::Terminal&)> reach;  // brings the program into the state
  End end;
  int signal_number;
  int status;  // exit status, or 128 + signal
  Files files;
  std::string piped = {};         // End::input_end: what the input holds
  std::string screen_holds = {};  // a message the screen shows at the end
};

const std::string kUnsaved = "Die Welt wurde nicht gespeichert.";
const std::string kCtrlCUnsaved = "zekoedit: Abgebrochen (Strg+C). Die Welt wurde nicht gespeichert.";

// What the recorder writes for the keys v, v, l on welt.zko.
std::string recorded_program() {
  return "PROGRAM mepp;\n{ MEIN ERSTES PASCAL-PROGRAMM }\nUSES ZekoInc;\nBEGIN\n"
         "initialisiere_die_Roboterwelt('welt.zko');\n\n{ BEGINN DES ZEKO-STEUERPROGRAMMS }\n\n"
         "vor;\nvor;\nlinks;\n\n{ ENDE  DES  ZEKO-STEUERPROGRAMMS }\n\nwarte;\nEND.\n";
}

// The editor's world after the space bar on the robot's field and the
// supply answer 7.
std::string edited_world() {
  support::World w = world_state();
  w.at(2, 3, -1).supply = 7;
  return w.text();
}

bool wait_world(zt::Terminal& t) { return support::shows(t, "Lager:"); }
// The robot's glyph on field (x, y).
bool robot_at(zt::Terminal& t, int x, int y, const char* glyph) {
  return support::settles_with(t, [&] { return t.cell(support::row_of(y), support::col_of(x)).ch == glyph; });
}

// States a row can bring a learner program into.
void at_first_pause(zt::Terminal& t) { ASSERT_TRUE(wait_world(t)) << t.screen_text(); }
void in_go_mode(zt::Terminal& t) {
  at_first_pause(t);
  t.send("x");
  t.pump(200);
}
void at_readln(zt::Terminal& t) {
  at_first_pause(t);
  t.send(" ");
  ASSERT_TRUE(support::shows(t, "Zahl?")) << t.screen_text();
}
void at_warte(zt::Terminal& t) {
  at_first_pause(t);
  t.send(" ");
  ASSERT_TRUE(support::shows(t, "FERTIG!")) << t.screen_text();
}
void go(zt::Terminal& t) { at_first_pause(t), t.send("x"); }
void nothing(zt::Terminal&) {}

// The recorder's key loop after v, v, l.
void recording(zt::Terminal& t) {
  ASSERT_TRUE(support::shows(t, "Name der Roboterwelt:")) << t.screen_text();
  t.send("welt.zko\r");
  ASSERT_TRUE(support::shows(t, "Name der Programmdatei:")) << t.screen_text();
  t.send("mepp.pas\r");
  ASSERT_TRUE(wait_world(t)) << t.screen_text();
  t.send("vvl");
  ASSERT_TRUE(robot_at(t, 2, 5, ">")) << t.screen_text();
}

// The editor's loop on alt.zko, and its supply question after the space bar
// and "e".
void editing(zt::Terminal& t) {
  ASSERT_TRUE(support::shows(t, "Name der Roboterwelt:")) << t.screen_text();
  t.send("alt.zko\r");
  ASSERT_TRUE(robot_at(t, 2, 3, "X")) << t.screen_text();
}
// The editor's name dialog with "neu.z" typed, and its "Neue Datei" notice.
void typing_a_name(zt::Terminal& t) {
  ASSERT_TRUE(support::shows(t, "Name der Roboterwelt:")) << t.screen_text();
  t.send("neu.z");
}
void at_new_file_notice(zt::Terminal& t) {
  ASSERT_TRUE(support::shows(t, "Name der Roboterwelt:")) << t.screen_text();
  t.send("neu.zko\r");
  ASSERT_TRUE(support::shows(t, "Neue Datei")) << t.screen_text();
}
void at_question(zt::Terminal& t) {
  editing(t);
  if (::testing::Test::HasFatalFailure()) return;
  t.send(" e");
  ASSERT_TRUE(support::shows(t, "Wie viele Gegenstaende")) << t.screen_text();
}


std::string row_name(const ::testing::TestParamInfo<Row>& info) { return info.param.name; }
void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

using support::read_file;

class Ends : public ::testing::TestWithParam<Row> {
 protected:
  // The learner program is compiled once.
  static void SetUpTestSuite() {
    build_ = std::make_unique<support::TempDir>();
    build_->put("enden.pas", kLearner);
    run_shell("cd '" + build_->path() + "' && " ZEKOC_PATH " enden.pas");
  }
  static void TearDownTestSuite() { build_.reset(); }

  void SetUp() override {
    for (const char* name : {"welt.zko", "alt.zko"}) dir_.put(name, world());
    fs::copy_file(TEMPLATE_WORLD, dir_ / "welt0.zko");
  }

  static std::unique_ptr<support::TempDir> build_;
  support::TempDir dir_;
};

std::unique_ptr<support::TempDir> Ends::build_;

TEST_P(Ends, LeaveWhatTheRowSays) {
  const Row& row = GetParam();
#ifdef ZEKO_SANITIZE
  if (row.signal_number == SIGSEGV) GTEST_SKIP() << "in this build the sanitizer takes SIGSEGV";
#endif
  zt::Options o;
  o.cwd = dir_.path();
  o.stdin_from_pipe = row.end == End::input_end;
  o.stdin_bytes = row.piped;
  o.controlling_terminal = row.end != End::terminal_loss;
  std::vector<std::string> argv;
  switch (row.program) {
    case Program::learner:
      argv = {(*build_ / "enden").string(), row.argument};
      for (auto& e : learner_environment()) o.env_extra.push_back(e);
      break;
    case Program::zekoprog: argv = {ZEKOPROG_PATH}; break;
    case Program::zekoedit: argv = {ZEKOEDIT_PATH}; break;
  }
  const std::vector<std::string> before = dir_.names();
  zt::Terminal t(argv, o);
  row.reach(t);
  if (HasFatalFailure()) return;

  auto ended = Clock::now();
  if (row.end == End::signal) t.kill(row.signal_number);
  if (row.end == End::terminal_loss) t.close_terminal();
  EXPECT_EQ(t.wait_exit(), row.status) << t.screen_text();
  if (row.end == End::terminal_loss) {
    EXPECT_LT(ms_since(ended), 1000) << "the program ran on after its terminal went away";
  } else {
    EXPECT_TRUE(support::restored(t)) << "terminal modes";
    EXPECT_EQ(support::last_colour_sequence(t.raw_output()), "\033[m") << "the terminal's own colours at the end";
    if (!row.screen_holds.empty()) {
      std::string screen = t.screen_text();
      std::size_t first = screen.find(row.screen_holds);
      EXPECT_NE(first, std::string::npos) << screen;
      EXPECT_EQ(screen.find(row.screen_holds, first + 1), std::string::npos) << "reported twice:\n" << screen;
    }
    // A run-time error's report says what and where in German, with no
    // addresses, on a row of its own.
    EXPECT_EQ(t.screen_text().find(" at $"), std::string::npos) << t.screen_text();
    for (int r = 1; r <= 25 && row.screen_holds.starts_with("Runtime error"); ++r) {
      if (t.row_text(r).find("Runtime error") != std::string::npos) {
        EXPECT_EQ(t.row_text(r).rfind(row.screen_holds, 0), 0u) << t.row_text(r);
      }
    }
  }

  std::vector<std::string> expected_names = before;
  if (row.files == Files::program_complete) {
    expected_names.push_back("mepp.pas");
    std::sort(expected_names.begin(), expected_names.end());
    EXPECT_EQ(read_file(dir_ / "mepp.pas"), recorded_program());
  }
  EXPECT_EQ(dir_.names(), expected_names) << "files added or removed";
  EXPECT_EQ(read_file(dir_ / "alt.zko"), row.files == Files::world_new ? edited_world() : world());
  EXPECT_EQ(read_file(dir_ / "welt.zko"), world());
}

constexpr Program kLearnerProgram = Program::learner;

INSTANTIATE_TEST_SUITE_P(
    Learner, Ends,
    ::testing::Values(
        Row{"NormalEnd", kLearnerProgram, "warte", [](zt::Terminal& t) { at_warte(t), t.send(" "); }, End::none, 0, 0,
            Files::untouched},
        Row{"FailedCommand3", kLearnerProgram, "vor", go, End::none, 0, 3, Files::untouched},
        Row{"FailedCommand2", kLearnerProgram, "nimm", go, End::none, 0, 2, Files::untouched},
        Row{"FailedCommand1", kLearnerProgram, "gib", go, End::none, 0, 1, Files::untouched},
        Row{"RuntimeError", kLearnerProgram, "fehlt", nothing, End::none, 0, 2, Files::untouched},
        Row{"LearnersRuntimeError", kLearnerProgram, "lesen", [](zt::Terminal& t) { at_readln(t), t.send("0\r"); },
            End::none, 0, 200, Files::untouched, "", "Runtime error 200 - Division durch 0 (enden.pas, Zeile 13)"},
        Row{"LearnersMalformedNumber", kLearnerProgram, "lesen", [](zt::Terminal& t) { at_readln(t), t.send("12a\r"); },
            End::none, 0, 106, Files::untouched, "",
            "Runtime error 106 - keine gueltige Zahl eingegeben (enden.pas, Zeile 13)"},
        Row{"SigtermInPause", kLearnerProgram, "schleife", at_first_pause, End::signal, SIGTERM, 128 + SIGTERM,
            Files::untouched},
        Row{"SighupInPause", kLearnerProgram, "schleife", at_first_pause, End::signal, SIGHUP, 128 + SIGHUP,
            Files::untouched},
        Row{"SigintInGo", kLearnerProgram, "schleife", in_go_mode, End::signal, SIGINT, 128 + SIGINT,
            Files::untouched},
        Row{"SigquitInReadln", kLearnerProgram, "lesen", at_readln, End::signal, SIGQUIT, 128 + SIGQUIT,
            Files::untouched},
        // A crash signal from outside: the run-time's report, once, on a
        // restored terminal.
        Row{"SigsegvFromOutsideInPause", kLearnerProgram, "schleife", at_first_pause, End::signal, SIGSEGV, 216,
            Files::untouched, "", "Runtime error 216 - Speicherzugriffsfehler (z. B. ein Zeiger auf nil)"},
        Row{"SigsegvFromOutsideInGo", kLearnerProgram, "schleife", in_go_mode, End::signal, SIGSEGV, 216,
            Files::untouched, "", "Runtime error 216 - Speicherzugriffsfehler"},
        Row{"SigfpeFromOutsideInReadln", kLearnerProgram, "lesen", at_readln, End::signal, SIGFPE, 200,
            Files::untouched, "", "Runtime error 200 - Division durch 0"},
        Row{"EndOfInputRunsInGo", kLearnerProgram, "vor", nothing, End::input_end, 0, 3, Files::untouched},
        Row{"EndOfInputAtWarte", kLearnerProgram, "warte", nothing, End::input_end, 0, 0, Files::untouched},
        // The terminal goes away without a hang-up signal: the program ends
        // as a hang-up ends it, within a second, in every state.
        Row{"TerminalLossInPause", kLearnerProgram, "schleife", at_first_pause, End::terminal_loss, 0, 128 + SIGHUP,
            Files::untouched},
        Row{"TerminalLossInGoLoop", kLearnerProgram, "schleife", in_go_mode, End::terminal_loss, 0, 128 + SIGHUP,
            Files::untouched},
        Row{"TerminalLossAtReadln", kLearnerProgram, "lesen", at_readln, End::terminal_loss, 0, 128 + SIGHUP,
            Files::untouched},
        Row{"TerminalLossAtWarte", kLearnerProgram, "warte", at_warte, End::terminal_loss, 0, 128 + SIGHUP,
            Files::untouched},
        Row{"TerminalLossInComputation", kLearnerProgram, "rechnen", in_go_mode, End::terminal_loss, 0, 128 + SIGHUP,
            Files::untouched}),
    row_name);

// The recorder completes its program file at every end it gets to see.
INSTANTIATE_TEST_SUITE_P(
    Recorder, Ends,
    ::testing::Values(
        Row{"NormalEnd", Program::zekoprog, "", [](zt::Terminal& t) { recording(t), t.send("e"); }, End::none, 0, 0,
            Files::program_complete},
        Row{"SigtermInLoop", Program::zekoprog, "", recording, End::signal, SIGTERM, 128 + SIGTERM,
            Files::program_complete},
        Row{"SighupInLoop", Program::zekoprog, "", recording, End::signal, SIGHUP, 128 + SIGHUP,
            Files::program_complete},
        Row{"SigquitInLoop", Program::zekoprog, "", recording, End::signal, SIGQUIT, 128 + SIGQUIT,
            Files::program_complete},
        Row{"CtrlCInLoop", Program::zekoprog, "", [](zt::Terminal& t) { recording(t), t.send("\003"); }, End::none,
            0, 0, Files::program_complete},
        Row{"EndOfInputInLoop", Program::zekoprog, "", nothing, End::input_end, 0, 0, Files::program_complete,
            "welt.zko\nmepp.pas\nvvl"},
        Row{"TerminalLossInLoop", Program::zekoprog, "", recording, End::terminal_loss, 0, 0,
            Files::program_complete}),
    row_name);

// The editor replaces the world only with the whole new one, and every end
// of input before that says that nothing was saved.
INSTANTIATE_TEST_SUITE_P(
    Editor, Ends,
    ::testing::Values(
        Row{"NormalEnd", Program::zekoedit, "", [](zt::Terminal& t) { at_question(t), t.send("7\r"); }, End::none,
            0, 0, Files::world_new},
        Row{"SigtermAtQuestion", Program::zekoedit, "", at_question, End::signal, SIGTERM, 128 + SIGTERM,
            Files::untouched},
        Row{"SighupInLoop", Program::zekoedit, "", editing, End::signal, SIGHUP, 128 + SIGHUP, Files::untouched},
        Row{"SigsegvFromOutsideAtQuestion", Program::zekoedit, "", at_question, End::signal, SIGSEGV, 128 + SIGSEGV,
            Files::untouched},
        Row{"SigintAtQuestion", Program::zekoedit, "", at_question, End::signal, SIGINT, 128 + SIGINT,
            Files::untouched},
        Row{"EndOfInputAtName", Program::zekoedit, "", nothing, End::input_end, 0, 1, Files::untouched, "",
            kUnsaved},
        Row{"EndOfInputAtNewFile", Program::zekoedit, "", nothing, End::input_end, 0, 1, Files::untouched,
            "neu.zko\n", kUnsaved},
        Row{"EndOfInputInLoop", Program::zekoedit, "", nothing, End::input_end, 0, 1, Files::untouched,
            "alt.zko\n \033[B", kUnsaved},
        Row{"EndOfInputInLoopOfANewWorld", Program::zekoedit, "", nothing, End::input_end, 0, 1, Files::untouched,
            "neu.zko\n\r \033[B", kUnsaved},
        Row{"EndOfInputRightAfterE", Program::zekoedit, "", nothing, End::input_end, 0, 1, Files::untouched,
            "alt.zko\n e", kUnsaved},
        Row{"EndOfInputAtQuestion", Program::zekoedit, "", nothing, End::input_end, 0, 1, Files::untouched,
            "alt.zko\ne\n \n", kUnsaved},
        // Ctrl-C is a key: in the name dialog it ends as the end of input
        // does, later without saving, status 130; each says why.
        Row{"CtrlCAtName", Program::zekoedit, "", [](zt::Terminal& t) { typing_a_name(t), t.send("\003"); },
            End::none, 0, 1, Files::untouched, "", kCtrlCUnsaved},
        Row{"CtrlCAtNewFileNotice", Program::zekoedit, "", [](zt::Terminal& t) { at_new_file_notice(t), t.send("\003"); },
            End::none, 0, 1, Files::untouched, "", kCtrlCUnsaved},
        Row{"CtrlCInLoop", Program::zekoedit, "", [](zt::Terminal& t) { editing(t), t.send(" \003"); }, End::none, 0,
            130, Files::untouched, "", kCtrlCUnsaved},
        Row{"CtrlCAtQuestion", Program::zekoedit, "", [](zt::Terminal& t) { at_question(t), t.send("5\003"); },
            End::none, 0, 130, Files::untouched, "", kCtrlCUnsaved},
        Row{"TerminalLossAtQuestion", Program::zekoedit, "", at_question, End::terminal_loss, 0, 1,
            Files::untouched}),
    row_name);

}  // namespace
