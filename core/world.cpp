#include "world.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <optional>
#include <string>

#include "deliverable.h"
#include "files.h"
#include "runtime_error.h"
#include "search_paths.h"
#include "world_lookup.h"
#include "world_scanner.h"

namespace zeko {

Grid FELD;
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

// The world file's bytes through a small buffer; a failing read ends the
// program with a run-time error. The file is closed before every run-time
// error the reading leads to.
class FileBytes {
 public:
  FileBytes(std::string_view name, int fd) : name_(name), fd_(fd) {}
  ~FileBytes() { close(); }

  int peek() {
    if (pos_ == len_) {
      ssize_t n;
      do n = ::read(fd_, buf_, sizeof buf_);
      while (n < 0 && errno == EINTR);
      if (n < 0) {
        int err = errno;
        close();
        file_failure(name_, err, kReadMessages);
      }
      len_ = static_cast<std::size_t>(n);
      pos_ = 0;
      if (n == 0) return EOF;
    }
    return static_cast<unsigned char>(buf_[pos_]);
  }
  void next() { ++pos_; }
  void close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  std::string name_;
  int fd_;
  char buf_[4096];
  std::size_t len_ = 0, pos_ = 0;
};

// A world file's text already in memory.
class TextBytes {
 public:
  explicit TextBytes(std::string_view text) : text_(text) {}
  int peek() const { return pos_ == text_.size() ? EOF : static_cast<unsigned char>(text_[pos_]); }
  void next() { ++pos_; }
  void close() {}

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
};

[[noreturn]] void out_of_range(std::string_view name, int line, const char* what, long value) {
  console::runtime_error(201, "In der Welt-Datei " + quoted(name) + ", Zeile " + std::to_string(line) + ", liegt " +
                                  what + " " + std::to_string(value) + " ausserhalb des erlaubten Bereichs.");
}

// The name cut to its length; the deliverable keeps its first characters as
// DATEINAME.
std::string take_name(std::string_view full_name) {
  const Deliverable& d = deliverable();
  std::string name = cut_name(full_name);
  if (d.shown_name_length > 0) DATEINAME.assign(std::string_view(name).substr(0, d.shown_name_length));
  return name;
}

// Reads FELD and ZEKO from `bytes`; `name` is the file as messages name it.
template <class Bytes>
void read_world(const std::string& name, Bytes& bytes) {
  const Deliverable& d = deliverable();
  WorldScanner in(bytes);

  auto number = [&] {
    std::optional<long> v = in.number();
    if (!v) {
      bytes.close();
      console::runtime_error(106, "In der Welt-Datei " + quoted(name) + ", Zeile " + std::to_string(in.number_line()) +
                                      ", steht \"" + shown_token(in.bad_token()) + "\" statt einer ganzen Zahl.");
    }
    return *v;
  };
  auto read16 = [&](const char* what) {
    long v = number();
    if (v < INT16_MIN || v > INT16_MAX) {
      bytes.close();
      out_of_range(name, in.number_line(), what, v);
    }
    return static_cast<int16_t>(v);
  };
  for (int y = 0; y < kRows; ++y) {
    for (int x = 0; x < kColumns; ++x) FELD[x][y] = read16("der Feldwert");
    in.skip_line();
  }
  if (d.supply_after_loading >= 0) {
    number();  // read and discarded
    ZEKO.vorrat = static_cast<int16_t>(d.supply_after_loading);
  } else {
    ZEKO.vorrat = read16("der Vorrat");
  }
  in.skip_line();
  long x = number();
  int x_line = in.number_line();
  long y = number();
  int y_line = in.number_line();
  bytes.close();
  if (x < 0 || x >= kColumns) out_of_range(name, x_line, "die Spalte x =", x);
  if (y < 0 || y >= kRows) out_of_range(name, y_line, "die Zeile y =", y);
  ZEKO.x = static_cast<uint8_t>(x);
  ZEKO.y = static_cast<uint8_t>(y);
  ZEKO.richtung = down;
}

}  // namespace

void LIES_MTWELT(std::string_view full_name) {
  std::string name = take_name(full_name);

  // Messages name the file where it was found.
  bool looked_up = !name.empty() && name.find('/') == std::string::npos;
  name = find_world_file(name);
  int fd = open_world_file(name);
  if (fd < 0 && errno == ENOENT && looked_up)
    console::runtime_error(2, "Die Datei " + quoted(name) + " gibt es weder hier noch in den Ordnern von " +
                                  "ZEKO_WELTEN und " + system_config_path() + " noch in " + installed_world_folder() + ".");
  if (fd < 0) file_failure(name, errno, kOpenMessages);
  FileBytes bytes(name, fd);
  read_world(name, bytes);
}

void read_world_text(std::string_view full_name, std::string_view text) {
  std::string name = take_name(full_name);
  TextBytes bytes(text);
  read_world(name, bytes);
}

}  // namespace zeko
