#include "box_guard.h"

#include "box_keyring.h"

namespace zekocheck {

BoxGuard::BoxGuard(const CgroupLimits& per_box) : per_box_(per_box) {
  std::vector<std::string> missing;
  if (!cgroups_.missing().empty())
    missing.push_back("ohne eigene cgroup (" + cgroups_.missing() +
                      (per_box_.memory_bytes > 0 ? "; Speicher nur je Prozess begrenzt, memfd_create gesperrt)" : ")"));
  if (!filter_.missing().empty()) missing.push_back("ohne Systemaufruf-Filter (" + filter_.missing() + ")");
  if (std::string keyring = keyring_missing(); !keyring.empty())
    missing.push_back("mit dem Schluesselbund des Lehrers (" + keyring + ")");
  for (std::size_t i = 0; i < missing.size(); ++i) note_ += (i ? ", " : "Hinweis: die Programme laufen hier ") + missing[i];
  if (!note_.empty()) note_ += ".";
}

void BoxGuard::add_bwrap_arguments(std::vector<std::string>& args) const {
  // Nothing is written to /dev but through its device files: a tmpfs of
  // the machine's size otherwise.
  args.insert(args.end(), {"--remount-ro", "/dev"});
  if (filter_.available()) args.insert(args.end(), {"--seccomp", std::to_string(kFilterFd)});
}

GuardedBox BoxGuard::open_box() {
  GuardedBox box;
  if (cgroups_.available()) box.cgroup = cgroups_.make(per_box_);
  return box;
}

bool BoxGuard::enter(const GuardedBox& box, bool with_bwrap) const noexcept {
  if (!join_cgroup(box.cgroup) || !join_fresh_keyring()) return false;
  if (!filter_.available()) return true;
  const std::vector<sock_filter>& program = filter_.program(box.cgroup.memory_bounded);
  return with_bwrap ? pass_filter(program, kFilterFd) : load_filter(program);
}

bool BoxGuard::close_box(GuardedBox& box) { return cgroups_.end(box.cgroup); }

}  // namespace zekocheck
