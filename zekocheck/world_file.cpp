#include "world_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <optional>

#include "world_scanner.h"

namespace zekocheck {
namespace {

constexpr std::size_t kMaxFileSize = 1 << 20;

// The text's bytes for the library's scanner.
class TextBytes {
 public:
  explicit TextBytes(const std::string& text) : text_(text) {}
  int peek() const { return pos_ < text_.size() ? static_cast<unsigned char>(text_[pos_]) : EOF; }
  void next() { ++pos_; }

 private:
  const std::string& text_;
  std::size_t pos_ = 0;
};

std::string shown(const std::string& token) { return "\"" + zeko::shown_token(token) + "\""; }

// The library's reader, step by step: numbers skip every character up to
// code 32, the end of the file reads as 0, and a line skip follows the 17th
// value of each grid row and the supply.
void load(const std::string& text, WorldFile& out) {
  TextBytes bytes(text);
  zeko::WorldScanner in(bytes);
  std::string error;
  long v = 0;
  auto read = [&](long& value) {
    std::optional<long> n = in.number();
    if (n) return value = *n, true;
    error = "Zeile " + std::to_string(in.number_line()) + ": " + shown(in.bad_token()) + " ist keine ganze Zahl";
    return false;
  };
  auto in_range = [&](long value, long low, long high, const std::string& what) {
    if (value >= low && value <= high) return true;
    error = "Zeile " + std::to_string(in.number_line()) + ": " + what + " " + std::to_string(value) +
            " liegt ausserhalb von " + std::to_string(low) + " bis " + std::to_string(high);
    return false;
  };
  for (int y = 0; y < kRows; ++y) {
    for (int x = 0; x < kColumns; ++x) {
      if (!read(v) || !in_range(v, INT16_MIN, INT16_MAX, "der Feldwert")) return void(out.error = error);
      out.world.feld[x][y] = static_cast<int16_t>(v);
    }
    in.skip_line();
  }
  if (!read(v) || !in_range(v, INT16_MIN, INT16_MAX, "der Vorrat")) return void(out.error = error);
  out.world.vorrat = static_cast<int16_t>(v);
  in.skip_line();
  if (!read(v) || !in_range(v, 0, kColumns - 1, "die Spalte x =")) return void(out.error = error);
  out.world.x = static_cast<int>(v);
  if (!read(v) || !in_range(v, 0, kRows - 1, "die Zeile y =")) return void(out.error = error);
  out.world.y = static_cast<int>(v);
  out.readable = true;
}

std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  bool open = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\n' || c == '\r') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      lines.push_back(line);
      line.clear();
      open = false;
    } else {
      line += c;
      open = true;
    }
  }
  if (open) lines.push_back(line);
  return lines;
}

std::vector<std::string> tokens(const std::string& line) {
  std::vector<std::string> out;
  std::string token;
  for (char c : line) {
    if (static_cast<unsigned char>(c) <= 32) {
      if (!token.empty()) out.push_back(token);
      token.clear();
    } else {
      token += c;
    }
  }
  if (!token.empty()) out.push_back(token);
  return out;
}

// The exact format: ten lines of 17 values, a line with the supply, a line
// with x and y, nothing after them.
void check_format(const std::string& text, WorldFile& out) {
  std::vector<std::string> lines = split_lines(text);
  auto report = [&](int line, std::string what) { out.deviations.push_back({line, std::move(what)}); };
  if (lines.empty()) return report(0, "die Datei ist leer (die Welt wird leer gelesen, ZEKO auf x=0, y=0, Vorrat 0)");

  // Checks the values of one line; false if one is no usable number.
  auto values = [&](int n, const std::vector<std::string>& t, long long low, long long high, const char* what,
                    std::vector<long long>& out_values) {
    bool ok = true;
    for (std::size_t k = 0; k < t.size(); ++k) {
      std::optional<long> number = zeko::world_number(t[k]);
      long long v = number.value_or(0);
      if (!number) {
        report(n, "Wert " + std::to_string(k + 1) + ": " + shown(t[k]) + " ist keine ganze Zahl");
        ok = false;
      } else if (v < low || v > high) {
        report(n, std::string(what) + " " + std::to_string(v) + " liegt ausserhalb von " + std::to_string(low) +
                      " bis " + std::to_string(high));
        ok = false;
      }
      out_values.push_back(v);
    }
    return ok;
  };

  std::size_t count = lines.size();
  for (int n = 1; n <= kRows; ++n) {
    if (static_cast<std::size_t>(n) > count) {
      report(n, "fehlt: die Datei endet nach Zeile " + std::to_string(count) +
                    " (der Rest des Gitters wird leer gelesen)");
      break;
    }
    std::vector<std::string> t = tokens(lines[n - 1]);
    if (t.size() < kColumns)
      report(n, std::to_string(t.size()) + " statt 17 Werte (die Zeile wird mit Werten der naechsten Zeile "
                                            "aufgefuellt, das Gitter verschiebt sich)");
    else if (t.size() > kColumns)
      report(n, std::to_string(t.size()) + " statt 17 Werte (die Werte nach dem 17. werden nicht gelesen)");
    std::vector<long long> v;
    values(n, t, INT16_MIN, INT16_MAX, "der Feldwert", v);
  }
  if (count >= 10) {
    if (count < 11) {
      report(11, "fehlt: kein Vorrat (er wird als 0 gelesen)");
    } else {
      std::vector<std::string> t = tokens(lines[10]);
      std::vector<long long> v;
      if (t.empty()) report(11, "kein Vorrat (die Zeile ist leer)");
      else if (t.size() > 1) report(11, "Text nach dem Vorrat (er wird nicht gelesen)");
      if (values(11, t, INT16_MIN, INT16_MAX, "der Vorrat", v) && !v.empty() && v[0] < 0)
        report(11, "der Vorrat " + std::to_string(v[0]) + " ist negativ");
    }
    if (count < 12) {
      report(12, "fehlt: keine Position (ZEKO steht dann auf x=0, y=0)");
    } else {
      std::vector<std::string> t = tokens(lines[11]);
      if (t.size() < 2) report(12, std::to_string(t.size()) + " statt 2 Werte fuer die Position x y");
      else if (t.size() > 2) report(12, "Text nach der Position (er wird nicht gelesen)");
      std::vector<long long> v;  // x and y have ranges of their own
      if (t.size() >= 1) values(12, {t[0]}, 0, kColumns - 1, "die Spalte x =", v);
      if (t.size() >= 2) values(12, {t[1]}, 0, kRows - 1, "die Zeile y =", v);
    }
  }
  for (std::size_t n = 13; n <= count; ++n)
    if (!tokens(lines[n - 1]).empty()) {
      report(static_cast<int>(n), "Text nach dem Ende der Welt (Zeile 12); er wird nicht gelesen");
      break;
    }
  if (out.deviations.empty() && out.readable && out.world.feld[out.world.x][out.world.y] < 0)
    report(12, "ZEKO steht auf einem Hindernis (x=" + std::to_string(out.world.x) +
                   ", y=" + std::to_string(out.world.y) + ")");
}

}  // namespace

WorldFile read_world_text(const std::string& text) {
  WorldFile out;
  load(text, out);
  check_format(text, out);
  return out;
}

bool read_plain_file(const std::string& path, std::size_t limit, std::string& text, std::string& error,
                     bool through_link) {
  // Opened once and never through a link: a task's files decide verdicts.
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | (through_link ? 0 : O_NOFOLLOW));
  if (fd < 0) {
    error = errno == ENOENT ? "die Datei gibt es nicht"
            : errno == EACCES ? "keine Berechtigung zum Lesen"
            : errno == ELOOP  ? "ein Verweis (symbolischer Link) wird nicht gelesen"
                              : std::string("nicht lesbar: ") + std::strerror(errno);
    return false;
  }
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    error = S_ISDIR(st.st_mode) ? "ist ein Ordner, keine Datei" : "ist keine gewoehnliche Datei";
    return false;
  }
  char buf[65536];
  ssize_t n;
  while (text.size() < limit && (n = ::read(fd, buf, sizeof buf)) != 0) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = std::string("nicht lesbar: ") + std::strerror(errno);
      ::close(fd);
      return false;
    }
    text.append(buf, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return true;
}

WorldFile read_world_file(const std::string& path) {
  WorldFile out;
  std::string text;
  if (!read_plain_file(path, kMaxFileSize, text, out.error)) return out;
  return read_world_text(text);
}

}  // namespace zekocheck
