#include "compile_command.h"

#include <fcntl.h>
#include <glob.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string_view>

#include "zekoc_config.h"

extern char** environ;

namespace zeko::compile {
namespace {

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string folder_of(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string name_of(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string without_ending(const std::string& name) {
  std::size_t dot = name.rfind('.');
  return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

bool starts_with(const std::string& s, std::string_view prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

bool is_file(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

// Learner options that leave the unit as it was precompiled: language
// mode, optimisation, debug information, run-time checks, search paths,
// messages, syntax switches and linking. Anything else (a target, a CPU,
// defines, -B ...) has fpc compile the unit from its source instead.
bool leaves_the_unit_alone(const std::string& option) {
  static constexpr std::string_view kPrefixes[] = {"-M", "-O", "-g", "-Ct", "-Cr", "-Co", "-Ci", "-Fu", "-Fi",
                                                   "-Fl", "-Fr", "-FE", "-v", "-l", "-S", "-Xs", "-k", "-o"};
  for (std::string_view p : kPrefixes)
    if (starts_with(option, p)) return true;
  return false;
}

Command pascal_command(const Request& request, const Layout& layout, const Compilers& compilers,
                       const std::string& german_messages) {
  const std::string src_dir = folder_of(request.source);
  const std::string base = name_of(request.source);
  Command c;
  c.dir = request.work_dir;
  c.executable = src_dir + "/" + without_ending(base);
  c.argv = {compilers.fpc, "-Ct", "-gl"};
  bool own_messages =
      std::any_of(request.options.begin(), request.options.end(), [](const std::string& o) { return starts_with(o, "-Fr"); });
  if (!own_messages && !german_messages.empty()) c.argv.push_back("-Fr" + german_messages);
  // Run inside the work folder, so that fpc names the file as
  // "PROG.pas(line,column)" and finds our unit there before anything in the
  // learner's folder. The quotes inside -k keep an rpath with blanks in one
  // piece (fpc splits -k values at blanks otherwise).
  c.argv.insert(c.argv.end(), {"-FU" + request.work_dir, "-FE" + src_dir, "-Fu" + src_dir, "-Fi" + src_dir,
                               "-Fl" + layout.lib_dir, "-k\"-rpath=" + layout.lib_dir + "\""});
  c.argv.insert(c.argv.end(), request.options.begin(), request.options.end());
  c.argv.push_back(base);

  c.copies = {{request.source, base}, {layout.unit_dir + "/zekoinc.pas", "zekoinc.pas"}};
  c.precompiled_unit = precompiled_unit_fits(layout.unit_dir, compilers) &&
                       std::all_of(request.options.begin(), request.options.end(), leaves_the_unit_alone);
  if (c.precompiled_unit)
    for (const char* name : {"zekoinc.ppu", "zekoinc.o"}) c.copies.push_back({layout.unit_dir + "/" + name, name});
  return c;
}

// cc or c++ in the learner's folder, so that messages and __FILE__ name the
// file as the learner knows it; the compiler keeps its object files in TMPDIR.
Command c_command(Language language, const Request& request, const Layout& layout, const Compilers& compilers) {
  const std::string base = name_of(request.source);
  Command c;
  c.dir = folder_of(request.source);
  c.executable = c.dir + "/" + without_ending(base);
  c.argv = {language == Language::c ? compilers.cc : compilers.cxx,
            "-Wall",
            "-I" + layout.include_dir,
            base,
            "-o",
            without_ending(base),
            "-L" + layout.lib_dir,
            "-lzekoinc",
            "-Xlinker",
            "-rpath",
            "-Xlinker",
            layout.lib_dir};
  // After the source, so that a learner's -lm finds what the program needs.
  c.argv.insert(c.argv.end(), request.options.begin(), request.options.end());
  // German messages (gcc-12-locales) whatever the locale: with the C locale
  // gettext would ignore LANGUAGE.
  c.env = {"LANGUAGE=de", "LC_ALL=C.UTF-8"};
  return c;
}

bool copy_keeping_time(const std::string& from, const std::string& to, std::string* error) {
  int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) {
    *error = from + ": " + std::strerror(errno);
    return false;
  }
  struct stat st {};
  int out = -1;
  bool ok = ::fstat(in, &st) == 0 &&
            (out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)) >= 0;
  char buffer[65536];
  while (ok) {
    ssize_t n = ::read(in, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    for (ssize_t done = 0; ok && done < n;) {
      ssize_t w = ::write(out, buffer + done, static_cast<std::size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w < 0) ok = false;
      else done += w;
    }
  }
  if (ok) {
    struct timespec times[2] = {st.st_atim, st.st_mtim};
    ok = ::futimens(out, times) == 0;
  }
  int err = errno;
  if (out >= 0 && ::close(out) != 0 && ok) {
    ok = false;
    err = errno;
  }
  ::close(in);
  if (!ok) *error = to + ": " + std::strerror(err);
  return ok;
}

std::string first_line(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  char buffer[256];
  ssize_t n = ::read(fd, buffer, sizeof buffer);
  ::close(fd);
  if (n <= 0) return {};
  std::string s(buffer, static_cast<std::size_t>(n));
  return s.substr(0, s.find('\n'));
}

// What `argv` prints on standard output (its first line); empty when it
// cannot be started or fails.
std::string output_of(const std::vector<std::string>& argv) {
  int pipe_fds[2];
  if (::pipe2(pipe_fds, O_CLOEXEC) != 0) return {};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], 1);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  int failed = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipe_fds[1]);
  std::string out;
  char buffer[4096];
  for (ssize_t n; !failed && ((n = ::read(pipe_fds[0], buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR));)
    if (n > 0) out.append(buffer, static_cast<std::size_t>(n));
  ::close(pipe_fds[0]);
  int status = 0;
  if (failed || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return {};
  return out.substr(0, out.find('\n'));
}

std::string real_path(const std::string& path) {
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (!resolved) return {};
  std::string s(resolved);
  std::free(resolved);
  return s;
}

}  // namespace

std::string command_path(const std::string& command) {
  if (command.find('/') != std::string::npos)
    return ::access(command.c_str(), X_OK) == 0 && is_file(command) ? command : std::string();
  const char* path = std::getenv("PATH");
  std::string_view rest = path ? path : "/usr/bin:/bin";
  while (true) {
    std::size_t colon = rest.find(':');
    std::string dir(rest.substr(0, colon));
    std::string candidate = (dir.empty() ? "." : dir) + "/" + command;
    if (::access(candidate.c_str(), X_OK) == 0 && is_file(candidate)) return candidate;
    if (colon == std::string_view::npos) return {};
    rest.remove_prefix(colon + 1);
  }
}

Language language_of(const std::string& source) {
  std::string name = name_of(source);
  std::size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0) return Language::pascal;
  std::string ending = lower(name.substr(dot));
  if (ending == ".c") return Language::c;
  if (ending == ".cpp" || ending == ".cc" || ending == ".cxx") return Language::cxx;
  return Language::pascal;
}

bool precompiled_unit_fits(const std::string& unit_dir, const Compilers& compilers) {
  if (compilers.fpc_id.empty() || compilers.fpc != compilers.configured_fpc) return false;
  if (compilers.fpc_binary.empty() || ::access(compilers.fpc_binary.c_str(), X_OK) != 0) return false;
  return first_line(unit_dir + "/" + kUnitStamp) == compilers.fpc_id && is_file(unit_dir + "/zekoinc.ppu") &&
         is_file(unit_dir + "/zekoinc.o");
}

Layout find_layout(const std::string& program_dir) {
  namespace fs = std::filesystem;
  auto installed = [&](const char* dir) {
    fs::path p(dir);
    return (p.is_absolute() ? p : fs::path(program_dir) / p).lexically_normal().string();
  };
  Layout l{installed(ZEKOC_UNIT_RELDIR), installed(ZEKOC_LIB_RELDIR), installed(ZEKOC_INCLUDE_RELDIR)};
  if (program_dir.empty() || !is_file(l.unit_dir + "/zekoinc.pas") || !exists(l.lib_dir + "/libzekoinc.so"))
    l = {ZEKOC_BUILD_UNIT_DIR, ZEKOC_BUILD_LIB_DIR, ZEKOC_BUILD_INCLUDE_DIR};
  return l;
}

std::string missing_file(const Layout& layout, Language language) {
  if (language == Language::pascal && !exists(layout.unit_dir + "/zekoinc.pas"))
    return "die Unit ZekoInc fehlt (zekoinc.pas nicht in " + layout.unit_dir + ")";
  if (language != Language::pascal && !exists(layout.include_dir + "/zekoinc.h"))
    return "die Kopfdatei zekoinc.h fehlt (nicht in " + layout.include_dir + ")";
  if (!exists(layout.lib_dir + "/libzekoinc.so"))
    return "die Bibliothek libzekoinc.so fehlt (nicht in " + layout.lib_dir + ")";
  return {};
}

Compilers configured_compilers() {
  Compilers c;
  c.fpc_id = ZEKOC_FPC_ID;
  c.fpc_binary = ZEKOC_FPC_BINARY;
  c.german_messages = ZEKOC_GERMAN_MESSAGES;
  return c;
}

Command compile_command(const Request& request, const Layout& layout, const Compilers& compilers,
                        const std::string& german_messages) {
  Language language = language_of(request.source);
  if (language == Language::pascal) return pascal_command(request, layout, compilers, german_messages);
  return c_command(language, request, layout, compilers);
}

bool prepare(const Command& command, const std::string& work_dir, std::string* error) {
  for (const FileCopy& f : command.copies)
    if (!copy_keeping_time(f.from, work_dir + "/" + f.name, error)) return false;
  return true;
}

std::string german_messages(const Compilers& compilers) {
  if (compilers.fpc == compilers.configured_fpc && !compilers.german_messages.empty() &&
      is_file(compilers.german_messages))
    return compilers.german_messages;
  // fpc keeps its message files in msg/ beside the real compiler (the one
  // -PB names, usually behind a link), or below its library folder.
  std::string ppc = output_of({compilers.fpc, "-PB"});
  if (!ppc.empty()) {
    std::string real = real_path(command_path(ppc));
    if (!real.empty() && is_file(folder_of(real) + "/msg/errordu.msg")) return folder_of(real) + "/msg/errordu.msg";
  }
  std::string version = output_of({compilers.fpc, "-iV"});
  if (version.empty()) return {};
  for (const char* lib : {"/usr/lib/*", "/usr/lib", "/usr/local/lib"}) {
    std::string pattern = std::string(lib) + "/fpc/" + version + "/msg/errordu.msg";
    glob_t found {};
    bool hit = ::glob(pattern.c_str(), 0, nullptr, &found) == 0 && found.gl_pathc > 0;
    std::string file = hit ? found.gl_pathv[0] : "";
    ::globfree(&found);
    if (hit) return file;
  }
  return {};
}

}  // namespace zeko::compile
