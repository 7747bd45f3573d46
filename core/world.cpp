#include "world.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <string>

#include "deliverable.h"
#include "files.h"
#include "line_count.h"
#include "runtime_error.h"
#include "world_lookup.h"

namespace zeko {

int16_t FELD[kColumns][kRows];
Zekotier ZEKO;
strngp DATEINAME;

std::string cut_name(std::string_view name) { return std::string(name.substr(0, kNameLength)); }

namespace {

// Opening and reading the world file fail with the same words but for the
// last.
constexpr FileMessages kOpenMessages = {
    .missing = "Die Datei @ gibt es nicht",
    .denied = "Keine Berechtigung fuer die Datei @",
    .folder = "@ ist ein Ordner, keine Datei",
    .not_plain = "@ ist keine gewoehnliche Datei (sondern ein Geraet, FIFO oder Socket)",
    .other = "Das Oeffnen der Datei @ ist fehlgeschlagen",
};
constexpr FileMessages kReadMessages = {kOpenMessages.missing, kOpenMessages.denied, kOpenMessages.folder,
                                        kOpenMessages.not_plain, "Das Lesen der Datei @ ist fehlgeschlagen"};

// Reads the world file byte by byte through a small buffer, counting lines
// (LF, a lone CR and CR LF each end one) for the messages.
class WorldFileReader {
 public:
  WorldFileReader(std::string_view name, int fd) : name_(name), fd_(fd) {}

  // One number: blanks and control characters are skipped; the end of the
  // file reads as 0.
  long number() {
    int c;
    while ((c = peek()) != EOF && c <= 32) take();
    number_line_ = lines_.line();
    if (c == EOF) return 0;
    std::string token;
    while ((c = peek()) != EOF && c > 32) {
      take();
      if (token.size() < 64) token += static_cast<char>(c);  // longer is malformed anyway
    }
    return parse(token);
  }

  void skip_line() {
    int c;
    while ((c = peek()) != EOF) {
      take();
      if (c == '\n' || c == '\r') return;
    }
  }

  // The line on which the last number stood (a number may follow line ends).
  int number_line() const { return number_line_; }

 private:
  int peek() {
    if (pos_ == len_) {
      ssize_t n;
      do n = ::read(fd_, buf_, sizeof buf_);
      while (n < 0 && errno == EINTR);
      if (n < 0) {
        int err = errno;
        ::close(fd_);
        file_failure(name_, err, kReadMessages);
      }
      len_ = static_cast<std::size_t>(n);
      pos_ = 0;
      if (n == 0) return EOF;
    }
    return static_cast<unsigned char>(buf_[pos_]);
  }

  int take() {
    int c = peek();
    ++pos_;
    lines_.see(c);
    return c;
  }

  long parse(const std::string& token) {
    std::size_t i = (token[0] == '+' || token[0] == '-') ? 1 : 0;
    bool ok = i < token.size() && token.size() < 64;
    long long magnitude = 0;  // leading zeros are fine; more than 32 bits is not
    for (std::size_t k = i; ok && k < token.size(); ++k) {
      ok = token[k] >= '0' && token[k] <= '9' && magnitude <= INT32_MAX;
      magnitude = magnitude * 10 + (token[k] - '0');
    }
    long long value = token[0] == '-' ? -magnitude : magnitude;
    if (!ok || value < INT32_MIN || value > INT32_MAX) {
      ::close(fd_);
      std::string shown = token.size() > 20 ? token.substr(0, 20) + "..." : token;
      for (char& ch : shown)
        if (static_cast<unsigned char>(ch) > 126) ch = '?';
      console::runtime_error(106, "In der Welt-Datei " + quoted(name_) + ", Zeile " + std::to_string(lines_.line()) +
                                      ", steht \"" + shown + "\" statt einer ganzen Zahl.");
    }
    return value;
  }

  std::string name_;
  int fd_;
  char buf_[4096];
  std::size_t len_ = 0, pos_ = 0;
  LineCount lines_;
  int number_line_ = 1;
};

[[noreturn]] void out_of_range(std::string_view name, int line, const char* what, long value) {
  console::runtime_error(201, "In der Welt-Datei " + quoted(name) + ", Zeile " + std::to_string(line) + ", liegt " +
                                  what + " " + std::to_string(value) + " ausserhalb des erlaubten Bereichs.");
}

}  // namespace

void LIES_MTWELT(std::string_view full_name) {
  const Deliverable& d = deliverable();
  std::string name = cut_name(full_name);
  if (d.shown_name_length > 0) DATEINAME.assign(std::string_view(name).substr(0, d.shown_name_length));

  // Messages name the file where it was found.
  bool looked_up = !name.empty() && name.find('/') == std::string::npos;
  name = find_world_file(name);
  int fd = open_world_file(name);
  if (fd < 0 && errno == ENOENT && looked_up)
    console::runtime_error(2, "Die Datei " + quoted(name) + " gibt es weder hier noch in den Ordnern von " +
                                  "ZEKO_WELTEN noch in " + installed_world_folder() + ".");
  if (fd < 0) file_failure(name, errno, kOpenMessages);
  WorldFileReader in(name, fd);

  auto read16 = [&](const char* what) {
    long v = in.number();
    if (v < INT16_MIN || v > INT16_MAX) {
      ::close(fd);
      out_of_range(name, in.number_line(), what, v);
    }
    return static_cast<int16_t>(v);
  };
  for (int y = 0; y < kRows; ++y) {
    for (int x = 0; x < kColumns; ++x) FELD[x][y] = read16("der Feldwert");
    in.skip_line();
  }
  if (d.supply_after_loading >= 0) {
    in.number();  // read and discarded
    ZEKO.vorrat = static_cast<int16_t>(d.supply_after_loading);
  } else {
    ZEKO.vorrat = read16("der Vorrat");
  }
  in.skip_line();
  long x = in.number();
  int x_line = in.number_line();
  long y = in.number();
  int y_line = in.number_line();
  ::close(fd);
  if (x < 0 || x >= kColumns) out_of_range(name, x_line, "die Spalte x =", x);
  if (y < 0 || y >= kRows) out_of_range(name, y_line, "die Zeile y =", y);
  ZEKO.x = static_cast<uint8_t>(x);
  ZEKO.y = static_cast<uint8_t>(y);
  ZEKO.richtung = down;
}

}  // namespace zeko
