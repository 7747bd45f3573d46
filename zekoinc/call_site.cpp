#include "call_site.h"

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "console.h"
#include "rules.h"

namespace zeko::library {
namespace {

// Plain zero-initialised state: the library has no start-up code.
CallSite g_site;
const void* g_next_address;
const char* g_next_file;
int g_next_line;
zeko_line_resolver g_resolver;
bool g_world_loaded;

constexpr const char* kCommandNames[3] = {"vor", "nimm", "gib"};  // by Command
const char* reason(Command command) {  // the rule's words
  constexpr rules::Outcome kOutcomes[3] = {rules::Outcome::blocked, rules::Outcome::nothing_here,
                                           rules::Outcome::bag_empty};
  return rules::failure_text(kOutcomes[command]);
}

// Appends to a fixed buffer and always leaves it NUL-terminated.
class Line {
 public:
  Line(char* out, std::size_t capacity) : out_(out), capacity_(capacity) {
    if (capacity_ > 0) out_[0] = '\0';
  }
  Line& operator<<(const char* text) {
    for (; *text; ++text) put(*text);
    return *this;
  }
  Line& operator<<(long number) {
    char digits[24];
    std::size_t n = 0;
    unsigned long v = number < 0 ? 0UL - static_cast<unsigned long>(number) : static_cast<unsigned long>(number);
    do digits[n++] = static_cast<char>('0' + v % 10);
    while ((v /= 10) != 0);
    if (number < 0) put('-');
    while (n > 0) put(digits[--n]);
    return *this;
  }
  std::size_t length() const { return length_; }

 private:
  void put(char c) {
    if (length_ + 1 >= capacity_) return;
    out_[length_++] = c;
    out_[length_] = '\0';
  }
  char* out_;
  std::size_t capacity_;
  std::size_t length_ = 0;
};

// The resolver's answers for the last few call addresses: a program in a
// loop calls from the same places again and again.
struct CachedLine {
  const void* address;
  int line;
};
constexpr std::size_t kCacheSize = 64;
CachedLine g_cache[kCacheSize];

const char* without_folder(const char* path) {
  const char* name = path;
  for (const char* p = path; *p; ++p)
    if (*p == '/') name = p + 1;
  return name;
}

// The file (into `file`) and the line of the last command; 0 when unknown.
int place_of_last_call(char* file, std::size_t capacity) {
  file[0] = '\0';
  if (g_site.file) {
    const char* name = without_folder(g_site.file);
    std::size_t n = std::min(std::strlen(name), capacity - 1);
    std::memcpy(file, name, n);
    file[n] = '\0';
    return file[0] != '\0' && g_site.line > 0 ? g_site.line : 0;
  }
  if (!g_site.address || !g_resolver) return 0;
  int number = 0;
  if (!g_resolver(g_site.address, file, capacity, &number) || file[0] == '\0' || number <= 0) return 0;
  return number;
}

// "prog.pas, Zeile 12" followed by `after`, or nothing at all.
void put_place(Line& line, const char* after) {
  char file[256];
  int number = place_of_last_call(file, sizeof file);
  if (number > 0) line << file << ", Zeile " << static_cast<long>(number) << after;
}

// The line only, through the cache for a Pascal address.
int line_of_last_call() {
  if (g_site.file || !g_site.address) return g_site.file ? g_site.line : 0;
  CachedLine& slot = g_cache[(reinterpret_cast<std::uintptr_t>(g_site.address) >> 2) % kCacheSize];
  if (slot.address != g_site.address) {
    char file[256];
    slot.line = place_of_last_call(file, sizeof file);
    slot.address = g_site.address;
  }
  return slot.line;
}

// One write to standard error, after the terminal has been restored. On the
// console's terminal the cursor stands at the start of row 24 then: the rest
// of the step hint there is erased first.
void write_report(const char* text, std::size_t length) {
  if (length == 0) return;
  char out[600];
  std::size_t n = 0;
  if (console::output_is_terminal() && isatty(2)) {
    std::memcpy(out, "\033[K", 3);
    n = 3;
  }
  if (length > sizeof out - n - 1) length = sizeof out - n - 1;
  std::memcpy(out + n, text, length);
  n += length;
  out[n++] = '\n';
  ssize_t ignored = write(2, out, n);
  (void)ignored;
}

}  // namespace

CommandCall::CommandCall(const char* command) {
  g_site.command = command;
  g_site.address = g_next_address;
  g_site.file = g_next_file;
  g_site.line = g_next_line;
  g_site.running = true;
  g_next_address = nullptr;
  g_next_file = nullptr;
  g_next_line = 0;
}

CommandCall::~CommandCall() { g_site.running = false; }

void set_next_call_site(const void* address) { g_next_address = address; }
void set_next_call_line(const char* file, int line) {
  g_next_file = file;
  g_next_line = line;
}
void set_line_resolver(zeko_line_resolver resolver) { g_resolver = resolver; }
void note_world_loaded() { g_world_loaded = true; }
const CallSite& last_call() { return g_site; }

std::size_t where(char* out, std::size_t capacity) {
  Line line(out, capacity);
  put_place(line, "");
  return line.length();
}

std::size_t current_line(char* out, std::size_t capacity) {
  Line line(out, capacity);
  int number = g_site.command ? line_of_last_call() : 0;
  if (number > 0) line << "Zeile " << static_cast<long>(number) << ": " << g_site.command;
  return line.length();
}

std::size_t failure_line(Command command, char* out, std::size_t capacity) {
  Line line(out, capacity);
  put_place(line, ": ");
  line << kCommandNames[command] << " - " << reason(command);
  if (!g_world_loaded) line << " (keine Welt geladen)";
  return line.length();
}

std::size_t interrupt_line(char* out, std::size_t capacity) {
  Line line(out, capacity);
  if (!g_site.command) return 0;
  put_place(line, ": ");
  if (g_site.running) line << g_site.command << " - abgebrochen";
  else line << "nach " << g_site.command << " abgebrochen";
  return line.length();
}

void report_failure(Command command) {
  console::shutdown();
  char text[512];
  write_report(text, failure_line(command, text, sizeof text));
}

void report_interrupt(const void*) {
  char text[512];
  write_report(text, interrupt_line(text, sizeof text));
}

}  // namespace zeko::library
