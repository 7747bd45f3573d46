// SIGKILL trials of zekoedit's save: each trial opens an existing world,
// changes it, ends editing and kills the editor at a random moment of the
// save -- while the supply question is open, or right after the answer, when
// the rest is written and the file put in place. Afterwards the world file
// must be the old one or the complete new one, and no other file may have
// appeared in the folder. A kill between the two system calls that name the
// finished file and rename it over the old one can leave the new world under
// its temporary name; a trial that finds one saves once more in that folder,
// which must remove it.
//
//   zekoedit_kill_trials [TRIALS]     (default 100; make kill-trials)
//
// Prints the counts (old, new, other, leftover files); the status is 1 when
// any world was broken or a leftover survived the next save.
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "pty_terminal.h"

namespace fs = std::filesystem;

namespace {

std::string world_text(int obstacle_at_robot, int supply) {
  std::string t;
  char cell[16];
  for (int y = 0; y < 10; ++y) {
    for (int x = 0; x < 17; ++x) {
      int v = (x == 4 && y == 4) ? 6 : (x == 2 && y == 3) ? obstacle_at_robot : 0;
      std::snprintf(cell, sizeof cell, "%5d", v);
      t += cell;
    }
    t += '\n';
  }
  return t + std::to_string(supply) + "\n   2   3\n";
}

std::vector<std::string> leftovers(const fs::path& dir) {
  std::vector<std::string> found;
  for (auto& e : fs::directory_iterator(dir)) {
    std::string f = e.path().filename().string();
    if (f != "alt.zko" && f != "welt0.zko") found.push_back(f);
  }
  return found;
}

// A whole save of the old world, with no kill.
bool save_once(const fs::path& dir) {
  zt::Options o;
  o.cwd = dir.string();
  zt::Terminal t({ZEKOEDIT_PATH}, o);
  if (!t.wait_for_text("Name der Roboterwelt:")) return false;
  t.send("alt.zko\r");
  if (!t.wait_for_text("Lager:")) return false;
  t.send("e");
  if (!t.wait_for_text("Wie viele")) return false;
  t.send("3\r");
  return t.wait_exit() == 0;
}

std::string read_file(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

struct Counts {
  int old_world = 0, new_world = 0, other = 0, leftover_files = 0, trials_with_leftovers = 0;
  int killed_at_question = 0, killed_after_answer = 0, not_started = 0, survived_next_save = 0;
};

}  // namespace

int main(int argc, char** argv) {
  int trials = argc > 1 ? std::atoi(argv[1]) : 100;
  const std::string old_world = world_text(0, 3);
  const std::string new_world = world_text(-1, 7);
  std::mt19937 random(std::random_device {}());
  Counts c;

  for (int i = 0; i < trials; ++i) {
    char name[] = "/tmp/zekoedit-kill-XXXXXX";
    fs::path dir = mkdtemp(name);
    fs::copy_file(TEMPLATE_WORLD, dir / "welt0.zko");
    std::ofstream(dir / "alt.zko", std::ios::binary) << old_world;
    {
      zt::Options o;
      o.cwd = dir.string();
      zt::Terminal t({ZEKOEDIT_PATH}, o);
      if (!t.wait_for_text("Name der Roboterwelt:")) {
        ++c.not_started;
        continue;
      }
      t.send("alt.zko\r");
      if (!t.wait_for_text("Lager:")) {
        ++c.not_started;
        continue;
      }
      t.pump(20);
      // Half the trials end while the question may be open, half while the
      // answered save is finished; the moment within is random.
      bool answer = i % 2 == 1;
      int delay_us = std::uniform_int_distribution<int>(0, answer ? 15000 : 30000)(random);
      t.send(answer ? " e7\r" : " e");
      std::this_thread::sleep_for(std::chrono::microseconds(delay_us));
      t.kill(SIGKILL);
      t.wait_exit(5000);
      (answer ? c.killed_after_answer : c.killed_at_question)++;
    }
    std::string now = read_file(dir / "alt.zko");
    if (now == old_world) ++c.old_world;
    else if (now == new_world) ++c.new_world;
    else ++c.other;
    int extra = static_cast<int>(leftovers(dir).size());
    c.leftover_files += extra;
    if (extra) {
      ++c.trials_with_leftovers;
      for (const std::string& f : leftovers(dir)) std::fprintf(stderr, "left behind: %s/%s\n", dir.c_str(), f.c_str());
      if (!save_once(dir) || !leftovers(dir).empty()) {
        ++c.survived_next_save;
        continue;  // the folder stays for a look
      }
    }
    fs::remove_all(dir);
  }

  std::printf("trials: %d (killed at the question: %d, after the answer: %d, editor not started: %d)\n", trials,
              c.killed_at_question, c.killed_after_answer, c.not_started);
  std::printf("world file: old %d, new %d, other %d; leftover files: %d (in %d trials), after the next save: %d\n",
              c.old_world, c.new_world, c.other, c.leftover_files, c.trials_with_leftovers, c.survived_next_save);
  return c.other || c.survived_next_save || c.not_started ? 1 : 0;
}
