#include "grades.h"

#include "same_source.h"

namespace zekocheck {

void mark_copies(std::vector<Program>& programs) {
  std::vector<bool> sources(programs.size());
  for (std::size_t i = 0; i < programs.size(); ++i) sources[i] = programs[i].source && programs[i].unusable.empty();
  std::vector<std::size_t> leader = compile_leaders(programs, sources);
  for (std::size_t i = 0; i < programs.size(); ++i)
    programs[i].same_as = leader[i] == i ? "" : programs[leader[i]].name;
}

std::vector<Checked> judge_all(const std::vector<Program>& programs, const std::vector<World>& goals,
                               const Comparison& compare, double seconds, const TaskRules& rules) {
  std::vector<Checked> results;
  for (const Program& p : programs) results.push_back({&p, judge(p, goals, compare, seconds, rules)});
  return results;
}

std::string copy_text(const Program& p) { return p.same_as.empty() ? "" : "gleich wie " + p.same_as; }

std::string grade_text(const Checked& c) {
  std::string copy = copy_text(*c.program);
  return worlds_text(c.verdict) + " bestanden" + (copy.empty() ? "" : ", " + copy);
}

}  // namespace zekocheck
