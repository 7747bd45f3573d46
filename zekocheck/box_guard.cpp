#include "box_guard.h"

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>

#include "box_keyring.h"

namespace fs = std::filesystem;

namespace zekocheck {

BoxGuard::BoxGuard(const CgroupLimits& per_job) : per_job_(per_job) {
  std::vector<std::string> missing;
  if (!cgroups_.missing().empty())
    missing.push_back("ohne eigene cgroup (" + cgroups_.missing() +
                      (per_job_.memory_bytes > 0 ? "; Speicher nur je Prozess begrenzt, memfd_create gesperrt)" : ")"));
  if (!filter_.missing().empty()) missing.push_back("ohne Systemaufruf-Filter (" + filter_.missing() + ")");
  if (std::string keyring = keyring_missing(); !keyring.empty())
    missing.push_back("mit dem Schluesselbund des Lehrers (" + keyring + ")");
  for (std::size_t i = 0; i < missing.size(); ++i) note_ += (i ? ", " : "Hinweis: die Programme laufen hier ") + missing[i];
  if (!note_.empty()) note_ += ".";
}

// A box's processes together: the memory one job may have, /dev/shm full,
// and each tmpfs the box holds full (as a user in bubblewrap one per run
// folder, all kept until the box closes; else the box's folder).
CgroupLimits BoxGuard::box_limits(const BoxInfo& info) const {
  CgroupLimits limits = per_job_;
  if (limits.memory_bytes <= 0) return limits;
  long long folders = 1;
  if (info.bwrap && geteuid() != 0) {
    folders = 0;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(info.folder, ec))
      if (e.path().filename().string().starts_with("w")) ++folders;
  }
  limits.memory_bytes += static_cast<long long>(kShmMb + kOwnFolderMb * std::max(1LL, folders)) << 20;
  return limits;
}

bool BoxGuard::before_start(const BoxInfo& info, std::vector<std::string>& bwrap_args, std::vector<int>& keep) {
  if (info.slot < 0) return false;
  if (slots_.size() <= static_cast<std::size_t>(info.slot)) slots_.resize(static_cast<std::size_t>(info.slot) + 1);
  BoxCgroup& cgroup = slots_[static_cast<std::size_t>(info.slot)];
  cgroups_.end(cgroup);  // a box of this slot that never reached its end
  if (cgroups_.available()) cgroup = cgroups_.make(box_limits(info));
  if (!info.bwrap) return true;
  // Nothing is written to /dev but through its device files: a tmpfs of
  // the machine's size otherwise.
  bwrap_args.insert(bwrap_args.end(), {"--remount-ro", "/dev"});
  if (!filter_.available()) return true;
  int fd = pass_filter(filter_.program(cgroup.memory_bounded));
  if (fd < 0) return false;
  keep.push_back(fd);
  bwrap_args.insert(bwrap_args.end(), {"--seccomp", std::to_string(fd)});
  return true;
}

bool BoxGuard::before_exec(const BoxInfo& info) noexcept {
  const BoxCgroup* cgroup =
      static_cast<std::size_t>(info.slot) < slots_.size() ? &slots_[static_cast<std::size_t>(info.slot)] : nullptr;
  if ((cgroup && !join_cgroup(*cgroup)) || !join_fresh_keyring()) return false;
  if (info.bwrap || !filter_.available()) return true;  // bubblewrap loads it last
  return load_filter(filter_.program(cgroup && cgroup->memory_bounded));
}

void BoxGuard::at_end(const BoxInfo& info) {
  if (static_cast<std::size_t>(info.slot) < slots_.size()) cgroups_.end(slots_[static_cast<std::size_t>(info.slot)]);
}

long BoxGuard::memory_ends(const BoxInfo& info) const {
  if (static_cast<std::size_t>(info.slot) >= slots_.size()) return 0;
  return cgroups_.memory_ends(slots_[static_cast<std::size_t>(info.slot)]);
}

}  // namespace zekocheck
