// zekoc: compiles a learner's program that uses Zeko.
//
//   zekoc [Optionen] PROG.pas | PROG.c | PROG.cpp
//
// Leaves the executable PROG beside the source and exits with the
// compiler's status; the messages are the compiler's own. When the compile
// fails, an older PROG is removed. What is compiled
// how is in compile_command.h; this file reads the command line, finds Zeko's
// files and runs the compiler once, with no other process on the way.
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "compile_command.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace zeko::compile;

constexpr const char* kVersion = ZEKO_VERSION;
constexpr const char* kUsage = "Aufruf: zekoc [fpc-Optionen] PROGRAMM.pas\n";
constexpr const char* kHelp =
    "\n"
    "Uebersetzt ein Pascal-Programm, das \"USES ZekoInc;\" sagt, mit Free Pascal.\n"
    "Das fertige Programm liegt danach neben der Quelldatei und heisst wie sie,\n"
    "ohne Endung: \"zekoc meinprog.pas\" macht \"meinprog\", gestartet mit\n"
    "\"./meinprog\". Die Meldungen sind die von fpc, der Status ist der von fpc.\n"
    "C- und C++-Programme (.c, .cpp, .cc, .cxx) mit #include \"zekoinc.h\"\n"
    "uebersetzt zekoc ebenso, mit cc oder c++. Scheitert das Uebersetzen,\n"
    "loescht zekoc das alte Programm.\n"
    "\n"
    "  --help     zeigt diese Hilfe\n"
    "  --version  zeigt die Version\n"
    "\n"
    "Mehr dazu: man zekoc. Alle Befehle, Fragen, Tasten, der Bildschirm,\n"
    "Welten und Aufgaben auf Deutsch: man 7 zeko\n";

volatile sig_atomic_t g_signal;
void remember_signal(int signal) { g_signal = signal; }

int fail(const std::string& message, int status) {
  std::cerr << "zekoc: " << message << "\n";
  return status;
}

std::string absolute(const std::string& path) {
  std::error_code ec;
  fs::path p = fs::canonical(path, ec);
  return ec ? path : p.string();
}

// Runs the command and waits for it; its exit status, as a shell gives it.
int run(const Command& command) {
  std::vector<std::string> env_text;
  for (char** e = environ; *e; ++e) env_text.push_back(*e);
  for (const std::string& add : command.env) {
    std::string name = add.substr(0, add.find('='));
    if (!std::getenv(name.c_str())) env_text.push_back(add);
  }
  std::vector<char*> envp, argv;
  for (std::string& e : env_text) envp.push_back(e.data());
  envp.push_back(nullptr);
  for (const std::string& a : command.argv) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  if (::chdir(command.dir.c_str()) != 0) return fail(command.dir + ": " + std::strerror(errno), 1);
  pid_t pid;
  int err = posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), envp.data());
  if (err != 0) return fail(command.argv[0] + ": " + std::strerror(err), 127);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) return 1;
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return WEXITSTATUS(status);
}

// After a failed compile the program of an earlier one must not run as if
// it were the new one: it is removed, with a line that says so. Not when
// the learner named the program's file himself (-o).
void remove_stale_program(const Command& command, const std::vector<std::string>& options) {
  for (const std::string& o : options)
    if (o.starts_with("-o")) return;
  struct stat st {};
  if (::lstat(command.executable.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return;
  std::string name = fs::path(command.executable).filename().string();
  if (::unlink(command.executable.c_str()) == 0)
    std::cerr << "zekoc: nicht uebersetzt; das alte Programm " << name << " ist geloescht.\n";
  else
    std::cerr << "zekoc: nicht uebersetzt; Achtung, das alte Programm " << name << " ist noch da ("
              << std::strerror(errno) << ").\n";
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> options;
  std::string source;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "-h" || arg == "--help") {
      std::cout << kUsage << kHelp;
      return 0;
    }
    if (arg == "--version") {
      std::cout << "zekoc (Zeko) " << kVersion << "\n";
      return 0;
    }
    if (arg.starts_with("-")) {
      options.push_back(arg);
    } else if (!source.empty()) {
      std::cerr << "zekoc: bitte nur eine Quelldatei angeben\n" << kUsage;
      return 2;
    } else {
      source = arg;
    }
  }
  if (source.empty()) {
    std::cerr << kUsage;
    return 2;
  }

  Compilers compilers = configured_compilers();
  if (const char* fpc = std::getenv("ZEKOC_FPC"); fpc && *fpc) compilers.fpc = fpc;
  Language language = language_of(source);
  if (language == Language::pascal && command_path(compilers.fpc).empty())
    return fail("Free Pascal (fpc) fehlt; bitte installieren: apt-get install fp-compiler", 127);
  if (language == Language::c && command_path(compilers.cc).empty())
    return fail("der C-Compiler (cc) fehlt; bitte installieren: apt-get install gcc", 127);
  if (language == Language::cxx && command_path(compilers.cxx).empty())
    return fail("der C++-Compiler (c++) fehlt; bitte installieren: apt-get install g++", 127);

  std::error_code ec;
  Layout layout = find_layout(fs::read_symlink("/proc/self/exe", ec).parent_path().string());
  if (std::string missing = missing_file(layout, language); !missing.empty()) return fail(missing, 1);
  layout = {absolute(layout.unit_dir), absolute(layout.lib_dir), absolute(layout.include_dir)};

  // "zekoc PROG" means PROG.pas (PROG itself may be the last executable).
  if (fs::path(source).filename().string().find('.') == std::string::npos)
    for (const char* ending : {".pas", ".pp"})
      if (struct stat st {}; ::stat((source + ending).c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        source += ending;
        break;
      }
  if (struct stat st {}; ::stat(source.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
    return fail("Datei nicht gefunden: " + source, 1);
  source = absolute(source);
  std::string base = fs::path(source).filename().string();
  std::size_t dot = base.rfind('.');
  if (dot == std::string::npos || dot == 0)
    return fail("die Quelldatei braucht eine Endung wie .pas: " + base, 2);
  std::string stem = base.substr(0, dot);
  for (char& c : stem) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (stem == "zekoinc" || stem.starts_with("zekoinc."))
    return fail("ein Programm darf nicht zekoinc hei\xc3\x9f" "en: " + base, 2);

  // From here on a signal only ends the run once the temporary folder is gone.
  struct sigaction sa {};
  sa.sa_handler = remember_signal;
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);

  Request request{source, options, {}};
  std::string messages;
  if (language == Language::pascal) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/zekoc.XXXXXX";
    if (!::mkdtemp(pattern.data())) return fail("kein temporaerer Ordner: " + std::string(std::strerror(errno)), 1);
    request.work_dir = pattern;
    bool own = false;
    for (const std::string& o : options) own = own || o.starts_with("-Fr");
    if (!own) messages = german_messages(compilers);
  }

  Command command = compile_command(request, layout, compilers, messages);
  std::string error;
  int status = prepare(command, request.work_dir, &error) ? run(command) : fail(error, 1);
  if (!request.work_dir.empty()) {
    std::error_code ec;
    fs::remove_all(request.work_dir, ec);
  }
  if (g_signal == SIGINT) return 130;
  if (g_signal == SIGTERM) return 143;
  if (status != 0) remove_stale_program(command, options);
  return status;
}
