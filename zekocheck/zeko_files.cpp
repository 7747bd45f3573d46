#include "zeko_files.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "cleanup.h"

namespace fs = std::filesystem;

namespace zekocheck {
namespace {

void add_real(std::vector<std::string>& dirs, const std::string& dir) {
  std::error_code ec;
  fs::path real = fs::canonical(dir, ec);
  if (!ec && std::find(dirs.begin(), dirs.end(), real.string()) == dirs.end()) dirs.push_back(real);
}

// The regular files of `from` (links followed) into a new folder `to`
// everyone may read, with their times: fpc takes the precompiled unit only
// while its source's time matches.
bool copy_folder(const std::string& from, const std::string& to) {
  std::error_code ec;
  if (::mkdir(to.c_str(), 0755) != 0) return false;
  for (const auto& e : fs::directory_iterator(from, ec)) {
    struct stat st {};
    if (::stat(e.path().c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    std::string target = to + "/" + e.path().filename().string();
    if (!fs::copy_file(e.path(), target, ec)) return false;
    ::chmod(target.c_str(), (st.st_mode & 0111) ? 0755 : 0644);
    timespec times[2] = {st.st_atim, st.st_mtim};
    ::utimensat(AT_FDCWD, target.c_str(), times, 0);
  }
  return !ec;
}

// Copies of the unit's, the library's and the header's folders below
// `base`; false when one fails.
bool copy_layout(zeko::compile::Layout& layout, const std::string& base) {
  const std::string top = base + "/zeko";
  if (::mkdir(top.c_str(), 0755) != 0) return false;
  std::string* dirs[] = {&layout.unit_dir, &layout.lib_dir, &layout.include_dir};
  const char* names[] = {"unit", "lib", "include"};
  for (int i = 0; i < 3; ++i) {
    std::string copy = top + "/" + names[i];
    if (!copy_folder(*dirs[i], copy)) return false;
    *dirs[i] = copy;
  }
  return true;
}

}  // namespace

ZekoFiles zeko_files(const std::string& zekoc, const std::string& base, bool root) {
  ZekoFiles z;
  std::error_code ec;
  z.layout = zeko::compile::find_layout(fs::read_symlink("/proc/self/exe", ec).parent_path().string());
  fs::path self = fs::canonical(zekoc, ec);
  if (!ec) add_real(z.dirs, self.parent_path());
  for (const std::string& dir : {z.layout.unit_dir, z.layout.lib_dir, z.layout.include_dir}) add_real(z.dirs, dir);
  if (!root) return z;
  for (const std::string& dir : z.dirs)
    if (!others_can_pass(dir)) z.unreachable = dir;
  if (z.unreachable.empty()) return z;
  zeko::compile::Layout copied = z.layout;
  if (base.empty() || !copy_layout(copied, base)) return z;
  // The copies serve every box; zekoc itself stays out of reach.
  z.layout = copied;
  z.dirs = {copied.unit_dir, copied.lib_dir, copied.include_dir};
  z.run_env = {"LD_LIBRARY_PATH=" + copied.lib_dir};
  z.unreachable.clear();
  return z;
}

}  // namespace zekocheck
