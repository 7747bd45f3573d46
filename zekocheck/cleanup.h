// What ends the processes and removes the files a check left: the slots'
// users' processes, our adopted children, folder trees of any depth, and
// the check's base folder.
#pragma once

#include <sys/types.h>

#include <set>
#include <string>
#include <vector>

namespace zekocheck {

struct ProcessInfo {
  pid_t pid, ppid, sid;
  uid_t uid;
};

// A small file of /proc or /sys (up to 1 MB), read with plain calls: a
// process that goes while it is read gives an error, not an exception.
std::string read_proc(const std::string& path);

// Sleeps `ms` milliseconds (the rounds of ending processes wait this way).
void pause_ms(long ms);

// Every process we can see, from /proc.
std::vector<ProcessInfo> processes();

// Ends every process of `uid` (as root). True when the user still owns a
// process afterwards (a dying one or one not yet reaped counts).
bool kill_user(uid_t uid);

// Our children that are none of `ours` (we are the subreaper: whatever
// outlives its parent comes here), ended and reaped. True when there was one.
bool end_adopted(const std::set<pid_t>& ours);

// Ends the processes of `uid` (as root, `uid` > 0) and what came to us,
// round by round, until none is left or about two seconds passed.
void end_left_processes(uid_t uid, const std::set<pid_t>& ours);

// Removes a folder tree of any depth by descriptors (no path grows with the
// depth), also where a program took away its own permissions. Does not
// follow symbolic links nor leave the file system.
void remove_tree(const std::string& path);

// As root: removes what `uid` owns directly in the shared folders (/tmp,
// /dev/shm, /var/tmp, /dev/mqueue) and its SysV IPC objects.
void remove_owned_by(uid_t uid);

// Base folder of a check: below TMPDIR, or /tmp when root and TMPDIR is not
// reachable for the slots' users. Empty on failure.
std::string make_base_folder();

// Every ancestor lets others pass: the slots' users reach the folder.
bool others_can_pass(const std::string& dir);

}  // namespace zekocheck
