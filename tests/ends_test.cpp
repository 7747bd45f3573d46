// Every way a program can end, in one table: each row starts a program,
// brings it into a state, ends it one way and checks what is left behind --
// the exit status, the terminal modes, the files. Learner programs are one
// Pascal program whose argument chooses what it does.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

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
#include "pty_terminal.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// The robot at (2,3) facing down with 5 items; two items below it, an
// obstacle three fields below.
std::string world() {
  std::string s;
  for (int y = 0; y < 10; ++y) {
    for (int x = 0; x < 17; ++x) {
      int v = (x == 2 && y == 4) ? 2 : (x == 2 && y == 6) ? -1 : 0;
      char cell[8];
      std::snprintf(cell, sizeof cell, "%5d", v);
      s += cell;
    }
    s += '\n';
  }
  return s + "5\n   2   3\n";
}

// What the learner program does, by its argument.
const char* kLearner = R"(program enden;
uses ZekoInc;
var art: string; n: integer;
begin
  art := ParamStr(1);
  if art = 'fehlt' then initialisiere_die_Roboterwelt('fehlt.zko')
  else initialisiere_die_Roboterwelt('welt.zko');
  if art = 'schleife' then while true do links;
  if art = 'vor' then while true do vor;
  if art = 'nimm' then nimm;
  if art = 'gib' then while true do gib;
  if art = 'lesen' then begin write('Zahl? '); readln(n); writeln(100 div n); end;
  warte;
end.
)";

std::string run_shell(const std::string& command) {
  std::string out;
  FILE* p = popen((command + " 2>&1").c_str(), "r");
  if (!p) throw std::runtime_error("popen failed");
  char buf[4096];
  for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
  if (pclose(p) != 0) throw std::runtime_error(command + " failed:\n" + out);
  return out;
}

long ms_since(Clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

// How a row ends the program once it is in its state.
enum class End {
  none,           // it ends by itself (normal end, failed command, run-time error)
  signal,         // a signal from outside
  input_end,      // standard input is a pipe that has ended from the start
  terminal_loss,  // the pty (not the controlling terminal) is closed
};

struct Row {
  const char* name;
  std::string argument;                       // of the learner program
  std::function<void(zt::Terminal&)> reach;   // brings the program into the state
  End end;
  int signal_number;
  int status;  // exit status, or 128 + signal
};

bool wait_world(zt::Terminal& t) { return t.wait_for_text("Lager:"); }

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
  ASSERT_TRUE(t.wait_for_text("Zahl?")) << t.screen_text();
}
void at_warte(zt::Terminal& t) {
  at_first_pause(t);
  t.send(" ");
  ASSERT_TRUE(t.wait_for_text("FERTIG!")) << t.screen_text();
}
void typed(zt::Terminal& t, const std::string& keys) { t.send(keys); }
void nothing(zt::Terminal&) {}

std::string row_name(const ::testing::TestParamInfo<Row>& info) { return info.param.name; }
void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

class Learner : public ::testing::TestWithParam<Row> {
 protected:
  static void SetUpTestSuite() {
    char path[] = "/tmp/ends_test.XXXXXX";
    if (!mkdtemp(path)) throw std::runtime_error("mkdtemp failed");
    dir_ = path;
    std::ofstream(dir_ / "enden.pas") << kLearner;
    std::ofstream(dir_ / "welt.zko") << world();
    run_shell("cd '" + dir_.string() + "' && " ZEKOC_PATH " enden.pas");
  }
  static void TearDownTestSuite() { fs::remove_all(dir_); }

  static fs::path dir_;
};

fs::path Learner::dir_;

TEST_P(Learner, EndsAsTheRowSays) {
  const Row& row = GetParam();
  zt::Options o;
  o.cwd = dir_.string();
  for (auto& e : learner_environment()) o.env_extra.push_back(e);
  o.stdin_from_pipe = row.end == End::input_end;
  o.controlling_terminal = row.end != End::terminal_loss;
  zt::Terminal t({(dir_ / "enden").string(), row.argument}, o);
  row.reach(t);
  if (HasFatalFailure()) return;

  auto ended = Clock::now();
  if (row.end == End::signal) t.kill(row.signal_number);
  if (row.end == End::terminal_loss) t.close_terminal();
  EXPECT_EQ(t.wait_exit(), row.status) << t.screen_text();
  if (row.end == End::terminal_loss) {
    EXPECT_LT(ms_since(ended), 1000) << "the program ran on after its terminal went away";
    return;  // nothing left to look at
  }
  EXPECT_TRUE(zt::same_modes(t.modes_before(), t.modes_after())) << "terminal modes";
}

INSTANTIATE_TEST_SUITE_P(
    Ends, Learner,
    ::testing::Values(
        Row{"NormalEnd", "warte", [](zt::Terminal& t) { at_warte(t), t.send(" "); }, End::none, 0, 0},
        Row{"FailedCommand3", "vor", [](zt::Terminal& t) { at_first_pause(t), typed(t, "x"); }, End::none, 0, 3},
        Row{"FailedCommand2", "nimm", [](zt::Terminal& t) { at_first_pause(t), typed(t, "x"); }, End::none, 0, 2},
        Row{"FailedCommand1", "gib", [](zt::Terminal& t) { at_first_pause(t), typed(t, "x"); }, End::none, 0, 1},
        Row{"RuntimeError", "fehlt", nothing, End::none, 0, 2},
        Row{"LearnersRuntimeError", "lesen", [](zt::Terminal& t) { at_readln(t), t.send("0\r"); }, End::none, 0,
            200},
        Row{"SigtermInPause", "schleife", at_first_pause, End::signal, SIGTERM, 128 + SIGTERM},
        Row{"SighupInPause", "schleife", at_first_pause, End::signal, SIGHUP, 128 + SIGHUP},
        Row{"SigintInGo", "schleife", in_go_mode, End::signal, SIGINT, 128 + SIGINT},
        Row{"SigquitInReadln", "lesen", at_readln, End::signal, SIGQUIT, 128 + SIGQUIT},
        Row{"EndOfInputRunsInGo", "vor", nothing, End::input_end, 0, 3},
        Row{"EndOfInputAtWarte", "warte", nothing, End::input_end, 0, 0},
        // The terminal goes away without a hang-up signal: the program ends
        // as a hang-up ends it, within a second, in every state.
        Row{"TerminalLossInPause", "schleife", at_first_pause, End::terminal_loss, 0, 128 + SIGHUP},
        Row{"TerminalLossInGoLoop", "schleife", in_go_mode, End::terminal_loss, 0, 128 + SIGHUP},
        Row{"TerminalLossAtReadln", "lesen", at_readln, End::terminal_loss, 0, 128 + SIGHUP},
        Row{"TerminalLossAtWarte", "warte", at_warte, End::terminal_loss, 0, 128 + SIGHUP}),
    row_name);

}  // namespace
