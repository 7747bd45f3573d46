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
  if (info.prepared && !take_prepared(info)) return false;
  if (!info.prepared && cgroups_.available()) cgroup = cgroups_.make(box_limits(info));
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

// The prepared cgroup becomes the box's, with the box's limits.
bool BoxGuard::take_prepared(const BoxInfo& info) {
  const auto slot = static_cast<std::size_t>(info.slot);
  if (slot >= next_.size()) return true;
  slots_[slot] = std::move(next_[slot]);
  next_[slot] = BoxCgroup {};
  return slots_[slot].dirs.empty() || cgroups_.limit(slots_[slot], box_limits(info));
}

// In the first process: the cgroup it is in or joins. A prepared one sees
// the slots as they were when it was forked: its own is the slot's next.
const BoxCgroup* BoxGuard::cgroup_of(const BoxInfo& info) const {
  const std::vector<BoxCgroup>& cgroups = info.prepared ? next_ : slots_;
  const auto slot = static_cast<std::size_t>(info.slot);
  return slot < cgroups.size() ? &cgroups[slot] : nullptr;
}

void BoxGuard::before_prepare(int slot) {
  if (slot < 0) return;
  if (next_.size() <= static_cast<std::size_t>(slot)) next_.resize(static_cast<std::size_t>(slot) + 1);
  BoxCgroup& cgroup = next_[static_cast<std::size_t>(slot)];
  cgroups_.end(cgroup);
  if (cgroups_.available()) cgroup = cgroups_.make(per_job_);
}

void BoxGuard::prepared_fds(int slot, std::vector<int>& keep) const {
  if (static_cast<std::size_t>(slot) >= next_.size()) return;
  const std::vector<int>& procs = next_[static_cast<std::size_t>(slot)].procs;
  keep.insert(keep.end(), procs.begin(), procs.end());
}

bool BoxGuard::join_prepared(int slot) noexcept {
  return static_cast<std::size_t>(slot) >= next_.size() || join_cgroup(next_[static_cast<std::size_t>(slot)]);
}

void BoxGuard::drop_prepared(int slot) {
  if (static_cast<std::size_t>(slot) < next_.size()) cgroups_.end(next_[static_cast<std::size_t>(slot)]);
}

bool BoxGuard::before_exec(const BoxInfo& info) noexcept {
  const BoxCgroup* cgroup = cgroup_of(info);
  if ((cgroup && !info.prepared && !join_cgroup(*cgroup)) || !join_fresh_keyring()) return false;
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
