// What the processes of a program under test are doing, read from /proc:
// the harness uses it to tell a program that waits for a key from one that
// is still working or sleeping for a while.
#pragma once

#include <sys/types.h>

#include <utility>
#include <vector>

namespace zt {

struct GroupState {
  // Every process of the group is blocked with no time limit in a call that
  // only input (or a signal, or a child's end) can wake.
  bool all_wait_for_input = false;
  // Per process its id and how often it has been switched out: unchanged
  // between two looks means it did not run in between.
  std::vector<std::pair<pid_t, long>> switches;

  bool operator==(const GroupState&) const = default;
};

// The processes whose process group is `group` (the program under test is
// a session leader, so its group holds it and everything it started).
GroupState group_state(pid_t group);

}  // namespace zt
