// Benchmark of the learner library: what a learner's program costs on the
// terminal and the machine. Runs real Free Pascal programs (built with zekoc)
// on an 80 x 25 pty and prints per-command output and timing, the CPU used
// while WARTE waits, the start-up time and the compile time; what the calls
// of a program cost in zekocheck's check mode, where each goes over the
// check channel; and zekoc against plain fpc compiling a sample program with
// the precompiled unit, taken in turns in the same run.
//
//   zekoinc_bench
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "learner_env.h"
#include "pty_terminal.h"
#include "temp_dir.h"
#include "world_text.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kCommands = 200;
constexpr int kStepMs = 75;
constexpr int kRuns = 5;

double ms_between(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double, std::milli>(b - a).count();
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// An empty world with the robot in the middle, facing down.
std::string empty_world() { return support::World().robot(8, 5, 5).text(); }

// 200 commands that walk back and forth: vor, links, links, vor, ...
std::string program(int commands) {
  std::string body;
  for (int i = 0; i < commands / 4; ++i) body += "  vor; links; links; vor;\n";
  return "program bench;\nuses ZekoInc;\nbegin\n  initialisiere_die_Roboterwelt('welt.zko');\n" + body +
         "  warte;\nend.\n";
}

// Fields of /proc/<pid>/io.
long long write_calls(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/io");
  std::string key;
  long long value;
  while (in >> key >> value)
    if (key == "syscw:") return value;
  throw std::runtime_error("no syscw in /proc/<pid>/io");
}

// CPU time of the process in milliseconds, from the scheduler's nanosecond
// count where there is one, otherwise from the clock ticks of /proc/<pid>/stat.
double cpu_ms(pid_t pid) {
  std::ifstream sched("/proc/" + std::to_string(pid) + "/schedstat");
  long long ns;
  if (sched >> ns) return ns / 1e6;
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  std::getline(stat, line);
  std::istringstream rest(line.substr(line.rfind(')') + 2));
  std::string field;
  long long utime = 0, stime = 0;
  for (int i = 3; rest >> field; ++i) {
    if (i == 14) utime = std::stoll(field);
    if (i == 15) {
      stime = std::stoll(field);
      break;
    }
  }
  return (utime + stime) * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

class Bench {
 public:
  Bench() { dir_.put("welt.zko", empty_world()); }

  // Compiles NAME.pas (written from `source` unless empty); returns the
  // milliseconds zekoc took.
  double compile(const std::string& name, const std::string& source) {
    if (!source.empty()) dir_.put(name + ".pas", source);
    return timed("cd '" + dir_.path() + "' && " ZEKOC_PATH " " + name + ".pas >/dev/null 2>&1");
  }

  // The same with plain fpc against the precompiled unit, German messages
  // included; its object files go to a folder of their own.
  double compile_with_fpc(const std::string& name) {
    std::string lib = ZEKO_LIB_DIR, messages = ZEKO_GERMAN_MESSAGES;
    fs::create_directories(dir_ / "fpc");
    return timed("cd '" + dir_.path() + "' && fpc -Ct -gl" + (messages.empty() ? "" : " -Fr'" + messages + "'") +
                 " -Fu'" ZEKO_UNIT_DIR "' -Fl'" + lib + "' -k-rpath='" + lib + "' -FUfpc -ofpc/" + name + " " +
                 name + ".pas >/dev/null 2>&1");
  }

  void put(const std::string& name, const std::string& text) { dir_.put(name, text); }

  static double timed(const std::string& command) {
    auto began = Clock::now();
    if (std::system(command.c_str()) != 0) throw std::runtime_error("failed: " + command);
    return ms_between(began, Clock::now());
  }

  // The milliseconds zekocheck reports for one run of NAME (no sandbox: its
  // start-up would blur the figure), the median of kRuns.
  double checked_ms(const std::string& name) {
    std::vector<double> ms;
    for (int i = 0; i < kRuns; ++i) {
      std::string command = "cd '" + dir_.path() + "' && " ZEKOCHECK_PATH
                            " --ohne-sandbox --json --max-befehle 1000000 welt.zko welt.zko " + name + " 2>/dev/null";
      std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
      std::string out;
      char buf[4096];
      while (std::size_t n = std::fread(buf, 1, sizeof buf, pipe.get())) out.append(buf, n);
      std::size_t at = out.find("\"milliseconds\": ");
      if (at == std::string::npos) throw std::runtime_error("no result from zekocheck for " + name + ":\n" + out);
      ms.push_back(std::stod(out.substr(at + 16)));
    }
    return median(ms);
  }

  std::unique_ptr<zt::Terminal> start(const std::string& name, const std::vector<std::string>& env) {
    zt::Options o;
    o.cwd = dir_.path();
    o.env_extra = learner_environment();
    o.env_extra.insert(o.env_extra.end(), env.begin(), env.end());
    return std::make_unique<zt::Terminal>(std::vector<std::string>{(dir_ / name).string()}, o);
  }

 private:
  support::TempDir dir_;
};

// What one run from the first pause to "FERTIG!" cost.
struct Run {
  double startup_ms;     // spawn until the whole first screen is there
  double bytes;          // written between the first key and "FERTIG!"
  double writes;         // write calls in the same span
  double go_ms;          // first key until "FERTIG!"
  double idle_cpu_ms;    // CPU used while WARTE waited 2 s (0 if not measured)
};

Run measure(Bench& bench, const std::string& name, bool idle, const std::vector<std::string>& env = {}) {
  Run r {};
  auto began = Clock::now();
  auto t = bench.start(name, env);
  auto full = [&] {
    return t->row_text(24).find("Single-Step mit [LEERTASTE]") != std::string::npos &&
           t->row_text(9).find("Lager:") != std::string::npos;
  };
  if (!t->wait_for(full)) throw std::runtime_error("no first screen from " + name);
  r.startup_ms = ms_between(began, Clock::now());
  t->settle();  // the program waits for a key now; take all it wrote
  double bytes0 = static_cast<double>(t->raw_output().size());
  double writes0 = static_cast<double>(write_calls(t->pid()));

  auto go = Clock::now();
  t->send("x");
  auto done = [&] { return t->raw_output().find("FERTIG!") != std::string::npos; };
  if (!t->wait_for(done)) throw std::runtime_error("no FERTIG! from " + name);
  r.go_ms = ms_between(go, Clock::now());
  t->settle();
  r.bytes = static_cast<double>(t->raw_output().size()) - bytes0;
  r.writes = static_cast<double>(write_calls(t->pid())) - writes0;

  if (idle) {
    double cpu0 = cpu_ms(t->pid());
    std::this_thread::sleep_for(std::chrono::seconds(2));
    r.idle_cpu_ms = cpu_ms(t->pid()) - cpu0;
  }
  t->send(" ");
  if (t->wait_exit() != 0) throw std::runtime_error(name + " did not end with status 0");
  return r;
}

}  // namespace

int main() {
  try {
    Bench bench;
    std::vector<double> compile_ms;
    for (int i = 0; i < 3; ++i) compile_ms.push_back(bench.compile("lauf", program(kCommands)));
    bench.compile("leer", program(0));

    std::vector<double> startup;
    Run base {}, run {};
    for (int i = 0; i < kRuns; ++i) {
      base = measure(bench, "leer", false);
      startup.push_back(base.startup_ms);
    }
    run = measure(bench, "lauf", true);
    startup.push_back(run.startup_ms);
    Run with_line = measure(bench, "lauf", false, {"ZEKO_ZEILE=1"});

    // The empty program's span holds WARTE's own output; taking it away
    // leaves what the 200 commands wrote.
    double bytes = (run.bytes - base.bytes) / kCommands;
    double writes = (run.writes - base.writes) / kCommands;
    double overhead = (run.go_ms - base.go_ms) / kCommands - kStepMs;

    // Check mode: the same number of calls as commands (links), as sensors
    // (tasche_leer) and half and half, against a program without any.
    auto calls = [](const std::string& name, int n, const char* call) {
      return "program " + name + ";\nuses ZekoInc;\nvar i: longint;\nbegin\n  initialisiere_die_Roboterwelt('w');\n"
             "  for i := 1 to " + std::to_string(n) + " do " + call + ";\nend.\n";
    };
    bench.compile("c0", calls("c0", 0, "links"));
    bench.compile("c300", calls("c300", 300, "links"));
    bench.compile("c100k", calls("c100k", 100000, "links"));
    bench.compile("s100k", calls("s100k", 100000, "if tasche_leer then"));
    bench.compile("m100k", calls("m100k", 50000, "begin links; if tasche_leer then end"));
    double none = bench.checked_ms("c0");
    double few = bench.checked_ms("c300") - none;
    double commands = bench.checked_ms("c100k") - none;
    double sensors = bench.checked_ms("s100k") - none;
    double mixed = bench.checked_ms("m100k") - none;

    std::printf("zekoinc benchmark: %d commands in Go mode on an 80x25 pty\n", kCommands);
    std::printf("  bytes written per command          %8.1f\n", bytes);
    std::printf("  write calls per command            %8.2f\n", writes);
    std::printf("  wall time per command minus 75 ms  %8.3f ms\n", overhead);
    std::printf("  the same with ZEKO_ZEILE=1         %8.3f ms, %.1f bytes, %.2f write calls per command\n",
                (with_line.go_ms - base.go_ms) / kCommands - kStepMs, (with_line.bytes - base.bytes) / kCommands,
                (with_line.writes - base.writes) / kCommands);
    std::printf("  CPU time while WARTE waits 2 s     %8.3f ms\n", run.idle_cpu_ms);
    std::printf("  start-up to the first full screen  %8.1f ms (median of %zu runs)\n", median(startup),
                startup.size());
    std::printf("  zekoc compiling the program        %8.1f ms (median of %zu runs)\n", median(compile_ms),
                compile_ms.size());
    std::printf("check mode (zekocheck --ohne-sandbox), beyond a run without calls (%.0f ms; median of %d):\n", none,
                kRuns);
    std::printf("  300 commands                       %8.1f ms\n", few);
    std::printf("  100,000 commands                   %8.1f ms\n", commands);
    std::printf("  100,000 sensor calls               %8.1f ms\n", sensors);
    std::printf("  100,000 calls, half of them sensors%8.1f ms\n", mixed);

    // zekoc and plain fpc on the sample program, in turns.
    std::ifstream sample(SAMPLE_PROGRAM);
    bench.put("sammeln.pas", std::string(std::istreambuf_iterator<char>(sample), {}));
    std::vector<double> zekoc_ms, fpc_ms;
    for (int i = 0; i < 10; ++i) {
      fpc_ms.push_back(bench.compile_with_fpc("sammeln"));
      zekoc_ms.push_back(bench.compile("sammeln", std::string()));
    }
    std::printf("zekoc against plain fpc with the precompiled unit, sammeln.pas (median of 10 each)\n");
    std::printf("  zekoc                              %8.1f ms\n", median(zekoc_ms));
    std::printf("  fpc                                %8.1f ms\n", median(fpc_ms));
    std::printf("  ratio zekoc / fpc                  %8.2f\n", median(zekoc_ms) / median(fpc_ms));
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "zekoinc_bench: %s\n", e.what());
    return 1;
  }
}
