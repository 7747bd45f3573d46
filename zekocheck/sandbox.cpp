#include "sandbox.h"

#include "box.h"
#include "cleanup.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <sstream>

namespace fs = std::filesystem;

namespace zekocheck {
namespace {

// First uid of the slots' users: above every usual range, with room for the
// process id (at most 2^22) times 256 slots, so that two checks running at
// the same time never share a user.
constexpr uid_t kSlotUidBase = 0x40000000;

std::string find_in_path(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path ? path : "/usr/bin:/bin");
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return "";
}

// The box's supervisor: beside zekocheck in the build tree, in
// libexec/zeko when installed.
std::string find_supervisor() {
  std::error_code ec;
  fs::path dir = fs::read_symlink("/proc/self/exe", ec).parent_path();
  for (const fs::path& candidate : {dir / "zekobox", dir.parent_path() / "libexec/zeko/zekobox"})
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
  return "";
}

}  // namespace

std::vector<std::string> minimal_environment(const std::string& own) {
  const char* lang = std::getenv("LANG");
  std::vector<std::string> env = {"PATH=/usr/local/bin:/usr/bin:/bin",
                                  std::string("LANG=") + (lang && *lang ? lang : "C.UTF-8"), "HOME=" + own,
                                  "TMPDIR=" + own};
  for (const char* name : {"LC_ALL", "ZEKOC_FPC", "LD_PRELOAD", "ASAN_OPTIONS", "UBSAN_OPTIONS"})
    if (const char* v = std::getenv(name); v && *v) env.push_back(std::string(name) + "=" + v);
  return env;
}

Sandbox::Sandbox(bool wanted, std::string base, int slots, std::string zekoc, std::unique_ptr<BoxGuards> guards)
    : base_(std::move(base)), zekoc_(std::move(zekoc)), root_(geteuid() == 0), slots_(std::max(1, slots)),
      guards_(std::move(guards)) {
  if (root_) {
    // The slot's user has nothing else: its limit is the run's own, plus
    // bubblewrap's two processes around the program (the limit counts in
    // the sandbox's user name space too, so no prlimit is needed inside).
    outer_processes_ = kProcessesPerRun + 2;
  } else {
    // Our processes now, and room for every slot's sandbox beside them.
    rlim_t count = 0;
    for (const ProcessInfo& p : processes())
      if (p.uid == getuid()) ++count;
    outer_processes_ = count + static_cast<rlim_t>(slots_) * (kProcessesPerRun + 16) + 64;
    rlimit own {};
    if (getrlimit(RLIMIT_NPROC, &own) == 0 && own.rlim_cur != RLIM_INFINITY && own.rlim_cur < outer_processes_)
      outer_processes_ = own.rlim_cur;
  }
  zeko_ = zeko_files(zekoc_, base_, root_);
  if (!zeko_.unreachable.empty())
    unreachable_ = "Hinweis: als root uebersetzen und laufen die Programme unter eigenen Benutzern; " +
                   zeko_.unreachable + " ist fuer sie nicht erreichbar (ein Ordner darueber ohne x-Recht fuer andere).";
  // Whatever a job leaves running in the background comes to us, not to
  // init, and is ended with the job.
  prctl(PR_SET_CHILD_SUBREAPER, 1);
  if (!guards_) guards_ = std::make_unique<BoxGuards>();
  supervisor_ = find_supervisor();
  // As a user without the sandbox, programs side by side could reach each
  // other (same user): one box at a time.
  if (!root_ && !wanted) slots_ = 1;
  if (!wanted) return;
  bwrap_ = find_in_path("bwrap");
  if (bwrap_.empty())
    note_ = "Hinweis: bwrap (bubblewrap) ist nicht installiert; die Programme laufen ohne Sandbox, "
            "nur mit ihren Grenzen.";
  else if (base_.empty() || !probe())
    note_ = "Hinweis: bwrap (bubblewrap) laeuft hier nicht; die Programme laufen ohne Sandbox, "
            "nur mit ihren Grenzen.";
  if (!root_ && !use_bwrap_) slots_ = 1;
}

Sandbox::~Sandbox() { end_prepared(); }

void Sandbox::set_guards(std::unique_ptr<BoxGuards> guards) {
  end_prepared();  // they joined what the old guards prepared
  guards_ = std::move(guards);
}

void Sandbox::end_adopted_children() { end_adopted(first_); }

PreparedFirst& Sandbox::prepared(int slot) {
  if (prepared_.size() <= static_cast<std::size_t>(slot)) prepared_.resize(static_cast<std::size_t>(slot) + 1);
  return prepared_[static_cast<std::size_t>(slot)];
}

void Sandbox::end_prepared() {
  for (std::size_t slot = 0; slot < prepared_.size(); ++slot) {
    PreparedFirst& p = prepared_[slot];
    if (p.pid <= 0) continue;
    ::close(p.socket);
    kill(p.pid, SIGKILL);
    while (waitpid(p.pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    first_.erase(p.pid);
    if (guards_) guards_->drop_prepared(static_cast<int>(slot));
    p = PreparedFirst {};
  }
}

uid_t Sandbox::slot_uid(int slot) const {
  return kSlotUidBase + (static_cast<uid_t>(getpid()) << 8) + static_cast<uid_t>(slot);
}

// The same mounts and name spaces as a real box (a container may allow
// some of them and not others): a box that runs /bin/true.
bool Sandbox::probe() {
  use_bwrap_ = !supervisor_.empty();
  if (!use_bwrap_) return false;
  Box box(*this, 0, base_ + "/probe");
  BoxJob job;
  job.cwd = box.folder();
  job.command = {"/bin/true"};
  int status = -1;
  use_bwrap_ = box.open() && box.run_to_end(job, 5000, status) && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  box.close();
  if (!use_bwrap_) end_prepared();  // forked to start bubblewrap, which fails here
  return use_bwrap_;
}

const std::vector<std::string>& Sandbox::bwrap_common() {
  if (!common_.empty()) return common_;
  std::vector<std::string>& a = common_;
  a = {bwrap_, "--unshare-all", "--unshare-user", "--disable-userns", "--die-with-parent", "--new-session", "--as-pid-1",
       "--cap-drop", "ALL", "--ro-bind", "/usr", "/usr"};
  for (const char* top : {"/bin", "/sbin", "/lib", "/lib32", "/lib64", "/libx32"}) {
    std::error_code ec;
    if (fs::is_symlink(top, ec)) a.insert(a.end(), {"--symlink", fs::read_symlink(top, ec).string(), top});
    else if (fs::is_directory(top, ec)) a.insert(a.end(), {"--ro-bind", top, top});
  }
  // What the dynamic loader and the compiler read from /etc.
  std::vector<std::string> etc = {"/etc/ld.so.cache", "/etc/ld.so.conf", "/etc/ld.so.conf.d", "/etc/alternatives",
                                  "/etc/fpc.cfg"};
  std::error_code ec;
  for (const auto& e : fs::directory_iterator("/etc", ec))
    if (e.path().filename().string().starts_with("fpc-")) etc.push_back(e.path());
  for (const std::string& e : etc)
    if (fs::exists(e, ec)) a.insert(a.end(), {"--ro-bind", e, e});
  a.insert(a.end(), {"--proc", "/proc", "--dev", "/dev", "--perms", "1777", "--size",
                     std::to_string(kShmMb << 20), "--tmpfs", "/dev/shm"});
  std::vector<std::string> readable = zeko_.dirs;
  if (const char* preload = std::getenv("LD_PRELOAD")) {
    std::stringstream list(preload);
    for (std::string lib; std::getline(list, lib, ':');)
      if (lib.starts_with("/")) readable.push_back(lib);
  }
  // Zeko's folders below /usr (an installed Zeko) are there already.
  for (const std::string& r : readable)
    if (!r.starts_with("/usr/") && fs::exists(r, ec)) a.insert(a.end(), {"--ro-bind", r, r});
  return a;
}

}  // namespace zekocheck
