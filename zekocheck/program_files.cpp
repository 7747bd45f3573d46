#include "program_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>

#include "report.h"

namespace zekocheck {
namespace {

constexpr std::size_t kNamesInNote = 10;
const char* const kNoProgram = "weder Quelltext noch Programm";

// A name to look at: `entry` in the folder `dir` (AT_FDCWD: as given).
struct Candidate {
  int dir;
  std::string entry;
  std::string shown;  // as the teacher sees it: the name given, or folder/entry
  bool given;         // named on the command line, not found in a folder
};

std::string folder_of(const std::string& name) {
  std::size_t slash = name.rfind('/');
  return slash == std::string::npos ? "" : name.substr(0, slash + 1);
}

std::string stem_of(const std::string& name) {
  std::string base = name.substr(name.rfind('/') + 1);
  std::size_t dot = base.rfind('.');
  return dot == std::string::npos || dot == 0 ? base : base.substr(0, dot);
}

std::string joined(const std::string& folder, const std::string& entry) {
  return folder.ends_with('/') ? folder + entry : folder + "/" + entry;
}

// The entries of a folder named on the command line (open as `dir`),
// sorted; a link there is not followed.
std::vector<Candidate> folder_entries(int dir, const std::string& folder) {
  std::vector<Candidate> found;
  int listing = ::dup(dir);
  DIR* d = listing < 0 ? nullptr : fdopendir(listing);
  if (!d) {
    if (listing >= 0) ::close(listing);
    return found;
  }
  while (const dirent* e = readdir(d)) {
    std::string entry = e->d_name;
    if (entry.starts_with('.')) continue;  // ".", "..", and hidden files such as .git
    found.push_back({dir, entry, joined(folder, entry), false});
  }
  closedir(d);
  std::sort(found.begin(), found.end(), [](const Candidate& a, const Candidate& b) { return a.shown < b.shown; });
  return found;
}

std::string open_error(int err) {
  switch (err) {
    case ENOENT: return "Datei nicht gefunden";
    case ELOOP: return "ein Verweis (symbolischer Link) wird nicht gelesen";
    default: return "die Datei laesst sich nicht lesen";
  }
}

// The note line: what was left out, and which executables belong to a source.
std::string note_line(const std::vector<std::string>& skipped, const std::vector<std::string>& merged) {
  if (skipped.empty() && merged.empty()) return "";
  std::string note = "zekocheck: Hinweis: uebersprungen";
  if (!skipped.empty()) {
    note += std::string(" (") + kNoProgram + "): ";
    for (std::size_t i = 0; i < skipped.size() && i < kNamesInNote; ++i) note += (i ? ", " : "") + visible(skipped[i]);
    if (skipped.size() > kNamesInNote) note += " und " + std::to_string(skipped.size() - kNamesInNote) + " weitere";
  }
  if (!merged.empty()) {
    note += skipped.empty() ? ": " : "; ";
    for (std::size_t i = 0; i < merged.size(); ++i) note += (i ? ", " : "") + merged[i];
  }
  return note;
}

// The program a name stands for, with the descriptor it is read through
// (-1 when none stays open); nothing when the file is neither a source
// nor an executable.
std::optional<Program> program_of(const Candidate& c, int& fd) {
  Program p;
  p.name = p.path = c.shown;
  p.source = is_source(c.shown);
  fd = ::openat(c.dir, c.entry.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  const int err = errno;
  struct stat st {};
  if (fd >= 0 && ::fstat(fd, &st) != 0) st.st_mode = 0;
  const bool regular = fd >= 0 && S_ISREG(st.st_mode);
  const bool executable = regular && (st.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH));
  if (fd < 0 && (p.source || c.given || err == ELOOP)) p.unusable = open_error(err);
  else if (fd >= 0 && !regular && p.source) p.unusable = "keine gewoehnliche Datei";
  else if (!p.source && !executable) p.unusable = kNoProgram;
  else if (st.st_size > (p.source ? kLargestSource : kLargestExecutable))
    p.unusable = std::string("zu gross (mehr als ") + (p.source ? "1" : "64") + " MB)";
  if (fd >= 0 && !p.unusable.empty()) {
    ::close(fd);
    fd = -1;
  }
  if (p.unusable == kNoProgram) return std::nullopt;
  if (fd >= 0) p.file = "/proc/self/fd/" + std::to_string(fd);
  return p;
}

// Leaves out each executable that has its source beside it ("anna" beside
// "anna.pas": compiled by the pupil or a teacher, the same pupil); says which.
std::vector<Program> without_executables_of_sources(std::vector<Program>& programs, std::vector<std::string>& merged) {
  std::vector<bool> belongs(programs.size(), false);
  for (std::size_t i = 0; i < programs.size(); ++i) {
    const Program& exe = programs[i];
    const std::string folder = folder_of(exe.name);
    auto own_source = [&](const Program& src) {
      return src.source && folder_of(src.name) == folder && stem_of(src.name) == exe.name.substr(folder.size());
    };
    auto src = exe.source || !exe.unusable.empty() ? programs.end()
                                                   : std::find_if(programs.begin(), programs.end(), own_source);
    belongs[i] = src != programs.end();
    if (belongs[i]) merged.push_back(visible(exe.name) + " gehoert zu " + visible(src->name));
  }
  std::vector<Program> kept;
  for (std::size_t i = 0; i < programs.size(); ++i)
    if (!belongs[i]) kept.push_back(std::move(programs[i]));
  return kept;
}

}  // namespace

ProgramFiles::~ProgramFiles() {
  for (int fd : fds_) ::close(fd);
}

std::vector<Program> ProgramFiles::collect(const std::vector<std::string>& names, std::string& note) {
  std::vector<Candidate> candidates;
  for (const std::string& name : names) {
    int dir = ::open(name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dir < 0) {
      candidates.push_back({AT_FDCWD, name, name, true});
      continue;
    }
    fds_.push_back(dir);
    std::vector<Candidate> found = folder_entries(dir, name);
    candidates.insert(candidates.end(), found.begin(), found.end());
  }
  std::vector<Program> programs;
  std::vector<std::string> skipped, merged;
  for (const Candidate& c : candidates) {
    int fd = -1;
    std::optional<Program> p = program_of(c, fd);
    if (fd >= 0) fds_.push_back(fd);
    if (p) programs.push_back(std::move(*p));
    else skipped.push_back(c.shown);
  }
  std::vector<Program> kept = without_executables_of_sources(programs, merged);
  note = note_line(skipped, merged);
  return kept;
}

bool is_one_of(const std::vector<Program>& programs, const std::string& path) {
  struct stat target {};
  if (::stat(path.c_str(), &target) != 0) return false;
  for (const Program& p : programs) {
    struct stat st {};
    if (::stat(p.read_from().c_str(), &st) == 0 && st.st_dev == target.st_dev && st.st_ino == target.st_ino) return true;
  }
  return false;
}

}  // namespace zekocheck
