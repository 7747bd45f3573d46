// The program file is a raw descriptor written with write(): every line
// reaches the file at once, and the signal hook can finish the program with
// async-signal-safe calls only.
#include "program_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "console.h"
#include "deliverable.h"
#include "files.h"
#include "runtime_error.h"

namespace zekoprog {
namespace {

constexpr char kTail[] = "\n{ ENDE  DES  ZEKO-STEUERPROGRAMMS }\n\nwarte;\nEND.\n";
constexpr int kOutsideEnds[] = {SIGHUP, SIGTERM, SIGINT, SIGQUIT};

volatile sig_atomic_t g_fd = -1;  // the open program file; -1 before and after
std::string g_name;               // for messages

sigset_t outside_ends() {
  sigset_t set;
  sigemptyset(&set);
  for (int sig : kOutsideEnds) sigaddset(&set, sig);
  return set;
}

// While the file is being written, an end from outside waits, so the hook
// never finds half a line or finishes a tail a second time.
class OutsideEndsHeld {
 public:
  OutsideEndsHeld() {
    sigset_t set = outside_ends();
    sigprocmask(SIG_BLOCK, &set, &old_);
  }
  ~OutsideEndsHeld() { sigprocmask(SIG_SETMASK, &old_, nullptr); }

 private:
  sigset_t old_;
};

// What failed with the program file: creating, writing or closing it.
constexpr zeko::FileMessages kCreateMessages = {
    .missing = nullptr,
    .denied = "Die Programmdatei @ darf nicht angelegt werden (keine Berechtigung)",
    .folder = "Die Programmdatei @ ist ein Ordner",
    .not_plain = nullptr,
    .other = "Die Programmdatei @ konnte nicht angelegt werden",
};
constexpr zeko::FileMessages kWriteMessages = {
    nullptr, "Die Programmdatei @ darf nicht geschrieben werden (keine Berechtigung)", kCreateMessages.folder,
    nullptr, "Die Programmdatei @ konnte nicht geschrieben werden"};
constexpr zeko::FileMessages kCloseMessages = {
    nullptr, "Die Programmdatei @ darf nicht geschlossen werden (keine Berechtigung)", kCreateMessages.folder,
    nullptr, "Die Programmdatei @ konnte nicht geschlossen werden"};

[[noreturn]] void file_failure(int err, const zeko::FileMessages& messages) {
  zeko::file_failure(g_name, err, messages);
}

void write_or_fail(const std::string& text) {
  OutsideEndsHeld held;
  if (int err = zeko::write_all(g_fd, text.data(), text.size())) {
    g_fd = -1;
    file_failure(err, kWriteMessages);
  }
}

void record_statement(const char* statement) { write_or_fail(std::string(statement) + "\n"); }

// Runs inside the signal handler, before the terminal is restored.
void finish_on_signal(int sig) {
  bool from_outside = false;
  for (int s : kOutsideEnds) from_outside |= s == sig;
  int fd = g_fd;
  if (!from_outside || fd < 0) return;
  sigset_t set = outside_ends();
  sigprocmask(SIG_BLOCK, &set, nullptr);  // undone when the handler returns
  g_fd = -1;
  zeko::write_all(fd, kTail, sizeof kTail - 1);
  ::close(fd);
}

// The world name inside a Pascal string literal: an apostrophe is doubled,
// so the program opens exactly the typed file.
std::string pascal_literal_body(const std::string& text) {
  std::string body;
  for (char c : text) {
    body += c;
    if (c == '\'') body += '\'';
  }
  return body;
}

std::string program_head(const std::string& program_name, const std::string& world_name) {
  std::string head = "PROGRAM mepp;\n";
  if (program_name == "mepp.pas") head += "{ MEIN ERSTES PASCAL-PROGRAMM }\n";
  head += "USES ZekoInc;\n";
  head += "BEGIN\n";
  head += "initialisiere_die_Roboterwelt('" + pascal_literal_body(world_name) + "');\n";
  head += "\n{ BEGINN DES ZEKO-STEUERPROGRAMMS }\n\n";
  return head;
}

constexpr zeko::FileMessages kBackupMessages = {
    nullptr, "Die alte Programmdatei darf nicht zu @ umbenannt werden (keine Berechtigung)",
    "Die Sicherung @ ist ein Ordner", nullptr, "Die alte Programmdatei konnte nicht zu @ umbenannt werden"};

// An existing program (a file, or a link to one) is kept as NAME.bak before
// the new one is written; the last backup gives way. Nothing is written when
// that fails.
void keep_backup(const std::string& program_name) {
  struct stat st;
  if (::lstat(program_name.c_str(), &st) != 0 || !(S_ISREG(st.st_mode) || S_ISLNK(st.st_mode))) return;
  std::string backup = program_name + ".bak";
  if (::rename(program_name.c_str(), backup.c_str()) != 0) zeko::file_failure(backup, errno, kBackupMessages);
}

}  // namespace

void create_program_file(const std::string& program_name, const std::string& world_name) {
  g_name = program_name;
  keep_backup(program_name);
  int fd = ::open(program_name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) file_failure(errno, kCreateMessages);
  {
    OutsideEndsHeld held;
    g_fd = fd;
    console::set_signal_hook(finish_on_signal);
  }
  write_or_fail(program_head(program_name, world_name));
  zeko::hooks.record = record_statement;
}

void finish_program_file() {
  zeko::hooks.record = nullptr;
  OutsideEndsHeld held;
  write_or_fail(kTail);
  int fd = g_fd;
  g_fd = -1;
  if (::close(fd) != 0) file_failure(errno, kCloseMessages);
}

}  // namespace zekoprog
