#include "forked_child.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "console.h"

namespace support {
namespace {

constexpr char kNoteEnd = '\x1e';  // notes may hold line ends themselves
constexpr long kChildTimeLimitMs = 15000;

// The child's ends of the test's channels.
int g_master = -1;
int g_note_fd = -1;
char g_later_keys[256];
std::size_t g_later_length;

void must(bool ok, const char* what) {
  if (!ok) throw std::runtime_error(std::string(what) + ": " + std::strerror(errno));
}

void write_all(int fd, const char* data, std::size_t n) {
  while (n > 0) {
    ssize_t w = ::write(fd, data, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return;
    data += w;
    n -= static_cast<std::size_t>(w);
  }
}

void type_from_timer(int) {
  int saved = errno;
  write_all(g_master, g_later_keys, g_later_length);
  errno = saved;
}

struct Pipe {
  int read_end = -1, write_end = -1;
  Pipe() { must(pipe2(&read_end, O_CLOEXEC) == 0, "pipe"); }
};

// Reads what is there; false at the end (or an error, as EIO on a pty).
bool drain(int fd, std::string& into) {
  char buf[4096];
  ssize_t n = ::read(fd, buf, sizeof buf);
  if (n < 0 && (errno == EINTR || errno == EAGAIN)) return true;
  if (n <= 0) return false;
  into.append(buf, static_cast<std::size_t>(n));
  return true;
}

struct Channels {
  int terminal = -1;  // the pty master, or -1
  int output = -1;    // the output pipe, or -1
  int errors = -1;
  int notes = -1;
};

// The parent's side: collects everything, answers the cursor query, ends a
// child that hangs.
void collect(pid_t pid, Channels ch, const TerminalOptions* options, Outcome& out) {
  std::string notes;
  std::string& screen = ch.output >= 0 ? out.terminal : out.output;
  bool answered = false, terminated = false, exited = false;
  long deadline = now_ms() + kChildTimeLimitMs;
  long quiet_since = -1;
  for (;;) {
    pollfd fds[4];
    std::string* into[4];
    int* owner[4];
    nfds_t n = 0;
    auto add = [&](int& fd, std::string& s) {
      if (fd < 0) return;
      fds[n] = {fd, POLLIN, 0};
      into[n] = &s;
      owner[n++] = &fd;
    };
    add(ch.terminal, screen);
    add(ch.output, out.output);
    add(ch.errors, out.errors);
    add(ch.notes, notes);
    int ready = n ? poll(fds, n, exited ? 50 : 10) : 0;
    if (ready < 0 && errno != EINTR) break;
    bool got = false;
    for (nfds_t i = 0; i < n; ++i) {
      if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      std::size_t before = into[i]->size();
      if (!drain(*owner[i], *into[i])) {
        if (owner[i] != &ch.terminal) ::close(*owner[i]);  // the caller closes the terminal
        *owner[i] = -1;
      }
      got = got || into[i]->size() > before;
    }
    if (options && !answered && !options->cursor_answer.empty() && ch.terminal >= 0 &&
        screen.find("\033[6n") != std::string::npos) {
      write_all(ch.terminal, options->cursor_answer.data(), options->cursor_answer.size());
      answered = true;
    }
    if (options && options->sigterm_on_first_note && !terminated && !notes.empty()) {
      kill(pid, SIGTERM);
      terminated = true;
    }
    if (!exited && waitpid(pid, &out.status, WNOHANG) == pid) exited = true;
    if (exited) {
      // The pty may still deliver bytes for a moment; stop once all is quiet.
      if (got || quiet_since < 0) quiet_since = now_ms();
      if (now_ms() - quiet_since >= 50 && ch.output < 0 && ch.errors < 0 && ch.notes < 0) break;
      if (now_ms() - quiet_since >= 200) break;
    } else if (now_ms() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
      out.status = -1;
      break;
    }
  }
  for (int fd : {ch.output, ch.errors, ch.notes})  // the caller closes the terminal
    if (fd >= 0) ::close(fd);
  std::size_t start = 0;
  for (std::size_t end; (end = notes.find(kNoteEnd, start)) != std::string::npos; start = end + 1)
    out.notes.push_back(notes.substr(start, end - start));
}

[[noreturn]] void run_body(const std::function<void()>& body) {
  body();
  console::shutdown();
  _exit(0);
}

}  // namespace

Outcome run_on_terminal(const TerminalOptions& options, const std::function<void()>& body) {
  Outcome out;
  int master = -1, slave = -1;
  winsize ws {};
  ws.ws_row = options.rows;
  ws.ws_col = options.cols;
  must(openpty(&master, &slave, nullptr, nullptr, &ws) == 0, "openpty");
  fcntl(master, F_SETFD, FD_CLOEXEC);
  must(tcgetattr(slave, &out.modes_before) == 0, "tcgetattr");
  Pipe output, errors, notes, input;
  if (options.input_from_pipe) {
    write_all(input.write_end, options.input_bytes.data(), options.input_bytes.size());
  }
  ::close(input.write_end);

  std::fflush(nullptr);
  pid_t pid = fork();
  must(pid >= 0, "fork");
  if (pid == 0) {
    setsid();
    ioctl(slave, TIOCSCTTY, 0);
    dup2(options.input_from_pipe ? input.read_end : slave, 0);
    dup2(options.output_to_pipe ? output.write_end : slave, 1);
    dup2(errors.write_end, 2);
    g_master = master;
    g_note_fd = notes.write_end;
    if (options.start_console) console::start(0, 1);
    run_body(body);
  }
  for (int fd : {output.write_end, errors.write_end, notes.write_end, input.read_end}) ::close(fd);
  if (!options.output_to_pipe) ::close(output.read_end);
  Channels ch {master, options.output_to_pipe ? output.read_end : -1, errors.read_end, notes.read_end};
  collect(pid, ch, &options, out);
  tcgetattr(slave, &out.modes_after);  // while the master is open: no hang-up yet
  ::close(slave);
  ::close(master);
  return out;
}

Outcome run_forked(const std::function<void()>& body) {
  Outcome out;
  Pipe output, errors, notes;
  std::fflush(nullptr);
  pid_t pid = fork();
  must(pid >= 0, "fork");
  if (pid == 0) {
    int null = ::open("/dev/null", O_RDONLY);
    dup2(null, 0);
    dup2(output.write_end, 1);
    dup2(errors.write_end, 2);
    g_note_fd = notes.write_end;
    run_body(body);
  }
  for (int fd : {output.write_end, errors.write_end, notes.write_end}) ::close(fd);
  collect(pid, Channels {-1, output.read_end, errors.read_end, notes.read_end}, nullptr, out);
  return out;
}

bool Outcome::exited_with(int code) const { return status >= 0 && WIFEXITED(status) && WEXITSTATUS(status) == code; }

bool Outcome::killed_by(int signal_number) const {
  return status >= 0 && WIFSIGNALED(status) && WTERMSIG(status) == signal_number;
}

std::string Outcome::after_start() const {
  std::size_t at = output.find("\033[m");
  return at == std::string::npos ? output : output.substr(at + 3);
}

std::string Outcome::describe() const {
  std::ostringstream s;
  if (status < 0) s << "hung and was killed";
  else if (WIFEXITED(status)) s << "exit status " << WEXITSTATUS(status);
  else if (WIFSIGNALED(status)) s << "signal " << WTERMSIG(status);
  s << "; stderr: " << escaped(errors) << "; output: " << escaped(output);
  return s.str();
}

void note(std::string_view text) {
  std::string record(text);
  record += kNoteEnd;
  write_all(g_note_fd, record.data(), record.size());
}

void type(std::string_view keys) {
  write_all(g_master, keys.data(), keys.size());
  pollfd p {0, POLLIN, 0};
  while (poll(&p, 1, 1000) < 0 && errno == EINTR) {
  }
}

void type_later(std::string_view keys, int ms) {
  g_later_length = std::min(keys.size(), sizeof g_later_keys);
  std::memcpy(g_later_keys, keys.data(), g_later_length);
  struct sigaction sa {};
  sa.sa_handler = type_from_timer;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGALRM, &sa, nullptr);
  itimerval t {};
  t.it_value.tv_sec = ms / 1000;
  t.it_value.tv_usec = (ms % 1000) * 1000;
  setitimer(ITIMER_REAL, &t, nullptr);
}

long now_ms() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1000L + t.tv_nsec / 1000000L;
}

std::string escaped(std::string_view bytes) {
  std::string s;
  for (unsigned char c : bytes) {
    if (c == 27) s += "\\e";
    else if (c == '\n') s += "\\n";
    else if (c == '\r') s += "\\r";
    else if (c == '\\') s += "\\\\";
    else if (c < 32 || c > 126) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      s += hex;
    } else {
      s += static_cast<char>(c);
    }
  }
  return "\"" + s + "\"";
}

void become_nobody() {
  if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) {
    note("could not become nobody");
    _exit(99);
  }
}

}  // namespace support
