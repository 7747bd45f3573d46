#include "pty_terminal.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utmp.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "process_state.h"

#include <vterm.h>

extern char** environ;

namespace zt {
namespace {

using Clock = std::chrono::steady_clock;

int ms_left(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return static_cast<int>(std::max<long long>(0, left.count()));
}

Clock::time_point after_ms(int ms) { return Clock::now() + std::chrono::milliseconds(ms); }

[[noreturn]] void fail(const std::string& what) {
  throw std::runtime_error("zt::Terminal: " + what + ": " + std::strerror(errno));
}

void append_utf8(std::string& out, uint32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// libvterm keeps the colours of SGR 30..37, 40..47, 90..97 and 100..107 as
// palette indices 0..15; true colours (SGR 38;2) come as RGB and are not
// PC colours.
int pc_colour(const VTermColor& c, bool is_default) {
  static const int kPc[8] = {0, 4, 2, 6, 1, 5, 3, 7};
  if (is_default) return -1;
  if (!VTERM_COLOR_IS_INDEXED(&c) || c.indexed.idx > 15) return -2;
  int idx = c.indexed.idx;
  return idx < 8 ? kPc[idx] : 8 + kPc[idx - 8];
}

}  // namespace

struct Terminal::Vt {
  VTerm* vt;
  VTermScreen* screen;
  VTermState* state;
  Vt(int rows, int cols) : vt(vterm_new(rows, cols)) {
    vterm_set_utf8(vt, 1);
    screen = vterm_obtain_screen(vt);
    vterm_screen_enable_altscreen(screen, 1);
    vterm_screen_reset(screen, 1);
    state = vterm_obtain_state(vt);
  }
  ~Vt() { vterm_free(vt); }
};

Terminal::Terminal(std::vector<std::string> argv, Options opt)
    : vt_(std::make_unique<Vt>(opt.rows, opt.cols)), opt_(std::move(opt)) {
  if (argv.empty()) throw std::invalid_argument("zt::Terminal: empty argv");
  vterm_output_set_callback(
      vt_->vt, [](const char* s, size_t n, void* user) { static_cast<std::string*>(user)->append(s, n); },
      &answers_);

  // Everything the child needs is prepared before fork().
  std::vector<char*> args;
  for (auto& a : argv) args.push_back(a.data());
  args.push_back(nullptr);
  std::vector<std::string> env;
  auto put_env = [&env](const std::string& kv) {
    std::string name = kv.substr(0, kv.find('=') + 1);
    std::erase_if(env, [&](const std::string& e) { return e.starts_with(name); });
    env.push_back(kv);
  };
  for (char** e = environ; *e; ++e) env.emplace_back(*e);
  put_env("TERM=xterm");
  for (const auto& kv : opt_.env_extra) put_env(kv);
  if (const char* extra = std::getenv("ZT_PRELOAD"); extra && *extra) {
    auto it = std::find_if(env.begin(), env.end(), [](const std::string& e) { return e.starts_with("LD_PRELOAD="); });
    if (it == env.end()) env.push_back(std::string("LD_PRELOAD=") + extra);
    else *it += std::string(it->size() > 11 ? ":" : "") + extra;
  }
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);

  winsize ws{static_cast<unsigned short>(opt_.rows), static_cast<unsigned short>(opt_.cols), 0, 0};
  int slave = -1;
  if (openpty(&master_, &slave, nullptr, nullptr, &ws) < 0) fail("openpty");
  fcntl(master_, F_SETFD, FD_CLOEXEC);
  fcntl(slave, F_SETFD, FD_CLOEXEC);
  tcgetattr(slave, &before_);

  int in[2] = {-1, -1};
  if (opt_.stdin_from_pipe) {
    // The pipe is filled and closed up front, so the child reads the bytes
    // and then the end of input whatever the harness does meanwhile.
    if (pipe2(in, O_CLOEXEC) < 0) fail("pipe");
    if (opt_.stdin_bytes.size() > 65536) fcntl(in[1], F_SETPIPE_SZ, static_cast<int>(opt_.stdin_bytes.size()));
    ssize_t n = write(in[1], opt_.stdin_bytes.data(), opt_.stdin_bytes.size());
    if (n != static_cast<ssize_t>(opt_.stdin_bytes.size())) fail("stdin_bytes do not fit into a pipe");
    close(in[1]);
  }

  pid_ = fork();
  if (pid_ < 0) fail("fork");
  if (pid_ == 0) {
    if (opt_.controlling_terminal) {
      login_tty(slave);  // new session, pty as controlling terminal and 0/1/2
    } else {
      setsid();  // a session without a controlling terminal: the pty is only 0/1/2
      for (int fd = 0; fd <= 2; ++fd) dup2(slave, fd);
      close(slave);
    }
    if (in[0] >= 0) dup2(in[0], 0);
    sigset_t all;
    sigemptyset(&all);
    sigprocmask(SIG_SETMASK, &all, nullptr);
    for (int sig : {SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGPIPE, SIGCHLD}) signal(sig, SIG_DFL);
    if (!opt_.cwd.empty() && chdir(opt_.cwd.c_str()) < 0) {
      dprintf(2, "chdir %s: %s\n", opt_.cwd.c_str(), strerror(errno));
      _exit(127);
    }
    execvpe(args[0], args.data(), envp.data());
    dprintf(2, "exec %s: %s\n", args[0], strerror(errno));
    _exit(127);
  }
  close(slave);
  if (in[0] >= 0) close(in[0]);
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
  pidfd_ = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));  // -1 on old kernels: then we poll
}

Terminal::~Terminal() {
  if (!reaped_) {
    ::kill(-pid_, SIGKILL);
    ::kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (pidfd_ >= 0) close(pidfd_);
  close(master_);
}

void Terminal::send(std::string_view bytes) {
  auto deadline = after_ms(kPatience);
  while (!bytes.empty()) {
    ssize_t n = write(master_, bytes.data(), bytes.size());
    if (n > 0) {
      bytes.remove_prefix(static_cast<size_t>(n));
    } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
      // The program does not read: keep taking its output while waiting.
      if (ms_left(deadline) == 0) throw std::runtime_error("zt::Terminal::send: program does not read its input");
      step(10);
    } else {
      return;  // the program's side is gone
    }
  }
}

void Terminal::resize(int rows, int cols) {
  opt_.rows = rows;
  opt_.cols = cols;
  vterm_set_size(vt_->vt, rows, cols);
  winsize ws{static_cast<unsigned short>(rows), static_cast<unsigned short>(cols), 0, 0};
  ioctl(master_, TIOCSWINSZ, &ws);
}

void Terminal::step(int timeout_ms) {
  pollfd fds[2];
  int n = 0;
  if (!eof_) fds[n++] = {master_, POLLIN, 0};
  if (!reaped_ && pidfd_ >= 0) fds[n++] = {pidfd_, POLLIN, 0};
  if (!reaped_ && pidfd_ < 0) timeout_ms = std::min(timeout_ms, 10);
  if (poll(fds, static_cast<nfds_t>(n), timeout_ms) > 0 && !eof_ && fds[0].revents) {
    char buf[65536];
    ssize_t got = read(master_, buf, sizeof buf);
    if (got > 0) {
      feed(buf, static_cast<size_t>(got));
    } else if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
      eof_ = true;  // EIO: every descriptor of the program's side is closed
    }
  }
  reap();
}

void Terminal::feed(const char* data, size_t n) {
  raw_.append(data, n);
  vterm_input_write(vt_->vt, data, n);
  if (!opt_.background_answer.empty() && std::string_view(data, n).find("\033]11;?") != std::string_view::npos)
    answers_.insert(0, opt_.background_answer);
  if (answers_.empty()) return;
  if (opt_.answer_cursor_query) {
    ssize_t ignored = write(master_, answers_.data(), answers_.size());
    (void)ignored;  // a few bytes; the pty input queue has room for them
  }
  answers_.clear();
}

bool Terminal::reap() {
  int st = 0;
  if (!reaped_ && waitpid(pid_, &st, WNOHANG) == pid_) {
    reaped_ = true;
    status_ = WIFSIGNALED(st) ? 128 + WTERMSIG(st) : WEXITSTATUS(st);
  }
  return reaped_;
}

void Terminal::pump(int ms) {
  auto deadline = after_ms(ms);
  while (!(eof_ && reaped_) && ms_left(deadline) > 0) step(ms_left(deadline));
}

bool Terminal::wait_for(const std::function<bool()>& pred, int timeout_ms) {
  auto deadline = after_ms(timeout_ms);
  while (!pred()) {
    if (eof_ || ms_left(deadline) == 0) return false;
    step(ms_left(deadline));
  }
  return true;
}

bool Terminal::wait_for_text(std::string_view text, int timeout_ms) {
  return wait_for([&] { return screen_text().find(text) != std::string::npos; }, timeout_ms);
}

// The kernel hands bytes between the two sides of a pty over in a worker;
// poll() on either side finishes that hand-over first, so what it reports
// includes everything written so far.
bool Terminal::output_pending() const {
  pollfd p{master_, POLLIN, 0};
  return !eof_ && poll(&p, 1, 0) > 0;
}

bool Terminal::input_pending() const {
  char name[128];
  if (ptsname_r(master_, name, sizeof name) != 0) return false;
  int slave = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (slave < 0) return false;
  pollfd p{slave, POLLIN, 0};
  bool pending = poll(&p, 1, 0) > 0 && (p.revents & POLLIN);
  close(slave);
  return pending;
}

bool Terminal::settle(int timeout_ms) {
  auto deadline = after_ms(timeout_ms);
  for (;;) {
    if (reaped_) return wait_exit(ms_left(deadline)) != -1 && eof_;
    // Waiting before and after the look at both queues, without having run
    // in between: then nothing was on its way.
    GroupState before = group_state(pid_);
    if (before.all_wait_for_input && !input_pending() && !output_pending() && group_state(pid_) == before)
      return true;
    if (ms_left(deadline) == 0) return false;
    step(std::min(ms_left(deadline), 2));
  }
}

int Terminal::wait_exit(int timeout_ms) {
  auto deadline = after_ms(timeout_ms);
  // Ends when the program is gone and its last byte has been read; a
  // process it left behind holding the pty only delays the end of output.
  while (!(eof_ && reaped_) && ms_left(deadline) > 0) step(ms_left(deadline));
  return reaped_ ? status_ : -1;
}

void Terminal::kill(int sig) {
  if (!reaped_) ::kill(pid_, sig);
}

void Terminal::close_terminal() {
  if (master_ >= 0) close(master_);
  master_ = -1;
  eof_ = true;
}

termios Terminal::modes_after() const {
  // On Linux the master reports the slave's modes, and they stay as the
  // program left them for as long as the master is open.
  termios t{};
  tcgetattr(master_, &t);
  return t;
}

Cell Terminal::cell(int row, int col) const {
  if (row < 1 || row > opt_.rows || col < 1 || col > opt_.cols)
    throw std::out_of_range("zt::Terminal::cell(" + std::to_string(row) + ", " + std::to_string(col) + ")");
  VTermScreenCell c;
  vterm_screen_get_cell(vt_->screen, VTermPos{row - 1, col - 1}, &c);
  Cell out;
  for (int i = 0; i < VTERM_MAX_CHARS_PER_CELL && c.chars[i] != 0; ++i) {
    if (c.chars[i] == static_cast<uint32_t>(-1)) break;  // right half of a wide character
    append_utf8(out.ch, c.chars[i]);
  }
  if (c.chars[0] == 0) out.ch = " ";
  out.fg = pc_colour(c.fg, VTERM_COLOR_IS_DEFAULT_FG(&c.fg));
  out.bg = pc_colour(c.bg, VTERM_COLOR_IS_DEFAULT_BG(&c.bg));
  out.bold = c.attrs.bold;
  out.blink = c.attrs.blink;
  out.reverse = c.attrs.reverse;
  return out;
}

std::string Terminal::row_text(int row) const {
  std::string s;
  for (int col = 1; col <= opt_.cols; ++col) s += cell(row, col).ch;
  s.erase(s.find_last_not_of(' ') + 1);
  return s;
}

std::string Terminal::screen_text() const {
  std::string s;
  for (int row = 1; row <= opt_.rows; ++row) {
    if (row > 1) s += '\n';
    s += row_text(row);
  }
  return s;
}

std::pair<int, int> Terminal::cursor() const {
  VTermPos p;
  vterm_state_get_cursorpos(vt_->state, &p);
  return {p.col + 1, p.row + 1};
}

}  // namespace zt
