// Strict readers that only say whether a report is what it claims to be:
// one JSON value, well-formed XML 1.0, HTML whose tags are all ours, and
// text a terminal shows as it is. Header only: the fuzz build has no test
// support library.
#pragma once

#include <cctype>
#include <cstddef>
#include <set>
#include <string>
#include <vector>

namespace support {

// The code points of strict UTF-8 (no overlong forms, no surrogates,
// nothing past U+10FFFF); false when the bytes are not that.
inline bool decode_utf8(const std::string& s, std::vector<unsigned>& out) {
  for (std::size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    std::size_t n = c < 0x80 ? 1 : c >= 0xC2 && c < 0xE0 ? 2 : c >= 0xE0 && c < 0xF0 ? 3 : c >= 0xF0 && c < 0xF5 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return false;
    unsigned point = n == 1 ? c : c & (0x7F >> n);
    for (std::size_t k = 1; k < n; ++k) {
      unsigned char b = static_cast<unsigned char>(s[i + k]);
      if ((b & 0xC0) != 0x80) return false;
      point = (point << 6) | (b & 0x3F);
    }
    static const unsigned smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (point < smallest[n] || (point >= 0xD800 && point <= 0xDFFF) || point > 0x10FFFF) return false;
    out.push_back(point);
    i += n;
  }
  return true;
}

// Text for a terminal: UTF-8 without control characters (tab and line end
// aside), C1 controls or marks that turn the writing direction.
inline bool terminal_safe(const std::string& s) {
  std::vector<unsigned> points;
  if (!decode_utf8(s, points)) return false;
  for (unsigned c : points)
    if ((c < 32 && c != '\t' && c != '\n') || (c >= 0x7F && c < 0xA0) || c == 0x061C || c == 0x200E || c == 0x200F ||
        (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069))
      return false;
  return true;
}

// A strict JSON reader that only says whether the text is one JSON value.
class JsonCheck {
 public:
  explicit JsonCheck(const std::string& s) : s_(s) {}
  bool valid() {
    std::vector<unsigned> points;
    if (!decode_utf8(s_, points)) return false;
    bool ok = value();
    space();
    return ok && i_ == s_.size();
  }

 private:
  char at(std::size_t i) const { return i < s_.size() ? s_[i] : '\0'; }
  void space() {
    while (i_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[i_]))) ++i_;
  }
  bool literal(const char* word) {
    std::string w = word;
    if (s_.compare(i_, w.size(), w) != 0) return false;
    i_ += w.size();
    return true;
  }
  bool string() {
    if (at(i_) != '"') return false;
    for (++i_; i_ < s_.size(); ++i_) {
      unsigned char c = static_cast<unsigned char>(s_[i_]);
      if (c == '"') return ++i_, true;
      if (c < 32) return false;
      if (c == '\\') {
        char e = at(++i_);
        if (e == 'u') {
          for (int k = 0; k < 4; ++k)
            if (!std::isxdigit(static_cast<unsigned char>(at(++i_)))) return false;
        } else if (e == '\0' || std::string("\"\\/bfnrt").find(e) == std::string::npos) {
          return false;
        }
      }
    }
    return false;
  }
  bool value() {
    space();
    if (i_ >= s_.size()) return false;
    char c = s_[i_];
    if (c == '"') return string();
    if (c == '{' || c == '[') {
      char close = c == '{' ? '}' : ']';
      ++i_;
      space();
      if (at(i_) == close) return ++i_, true;
      for (;;) {
        if (c == '{') {
          space();
          if (!string()) return false;
          space();
          if (at(i_++) != ':') return false;
        }
        if (!value()) return false;
        space();
        if (at(i_) == ',') ++i_;
        else if (at(i_) == close) return ++i_, true;
        else return false;
      }
    }
    if (literal("true") || literal("false") || literal("null")) return true;
    std::size_t start = i_;
    if (at(i_) == '-') ++i_;
    while (i_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[i_]))) ++i_;
    return i_ > start && std::isdigit(static_cast<unsigned char>(s_[i_ - 1]));
  }
  const std::string& s_;
  std::size_t i_ = 0;
};

// Whether an entity starts at `i` (after its '&'): a named one of XML or
// a number; `named` lists the names allowed besides.
inline bool entity_at(const std::string& s, std::size_t i, const std::set<std::string>& named) {
  std::size_t semi = s.find(';', i);
  if (semi == std::string::npos || semi == i) return false;
  std::string name = s.substr(i, semi - i);
  if (name[0] == '#') {
    bool hex = name.size() > 1 && name[1] == 'x';
    std::string digits = name.substr(hex ? 2 : 1);
    if (digits.empty() || digits.size() > 6) return false;
    for (char c : digits)
      if (!(hex ? std::isxdigit(static_cast<unsigned char>(c)) : std::isdigit(static_cast<unsigned char>(c)))) return false;
    return true;
  }
  return name == "amp" || name == "lt" || name == "gt" || name == "quot" || name == "apos" || named.count(name);
}

// Well-formed XML 1.0 as zekocheck writes it: a declaration, one element
// with nested elements, attributes in double quotes, text and entities;
// every character one XML allows.
inline bool xml_well_formed(const std::string& s) {
  std::vector<unsigned> points;
  if (!decode_utf8(s, points)) return false;
  for (unsigned c : points)
    if ((c < 32 && c != '\t' && c != '\n' && c != '\r') || c == 0xFFFE || c == 0xFFFF) return false;
  std::size_t i = 0;
  if (s.starts_with("<?xml ")) i = s.find("?>") == std::string::npos ? s.size() + 1 : s.find("?>") + 2;
  std::vector<std::string> open;
  bool root_seen = false;
  auto name_at = [&](std::size_t& k) {
    std::size_t from = k;
    while (k < s.size() && (std::isalnum(static_cast<unsigned char>(s[k])) || s[k] == '-' || s[k] == '_' || s[k] == '.')) ++k;
    return s.substr(from, k - from);
  };
  while (i < s.size()) {
    char c = s[i];
    if (c == '&') {
      if (!entity_at(s, i + 1, {})) return false;
      ++i;
    } else if (c != '<') {
      if (open.empty() && !std::isspace(static_cast<unsigned char>(c))) return false;
      ++i;
    } else if (i + 1 < s.size() && s[i + 1] == '/') {
      i += 2;
      std::string name = name_at(i);
      if (open.empty() || open.back() != name || i >= s.size() || s[i] != '>') return false;
      open.pop_back();
      ++i;
    } else {
      ++i;
      std::string name = name_at(i);
      if (name.empty() || (open.empty() && root_seen)) return false;
      for (;;) {
        if (i < s.size() && s[i] == ' ') ++i;
        if (i < s.size() && (s[i] == '>' || s[i] == '/')) break;
        if (name_at(i).empty() || s.compare(i, 2, "=\"") != 0) return false;
        for (i += 2; i < s.size() && s[i] != '"'; ++i)
          if (s[i] == '<' || (s[i] == '&' && !entity_at(s, i + 1, {}))) return false;
        if (i++ >= s.size()) return false;
      }
      bool empty = s[i] == '/';
      if (empty && s.compare(i, 2, "/>") != 0) return false;
      i += empty ? 2 : 1;
      root_seen = true;
      if (!empty) open.push_back(name);
    }
  }
  return root_seen && open.empty();
}

// The tags and named entities of zekocheck's class page.
inline const std::set<std::string> kPageTags = {"!DOCTYPE", "html", "head", "meta", "title", "style", "body", "h1",
                                                "h2", "p", "strong", "table", "thead", "tbody", "tr", "th", "td", "a",
                                                "section", "div", "figure", "figcaption", "sub", "code", "pre",
                                                "br", "span"};
inline const std::set<std::string> kPageEntities = {"uuml", "auml", "ouml", "szlig"};

// HTML in which every tag is one of `tags` (a pupil's text made none) and
// every '&' starts an entity.
inline bool html_tags_only(const std::string& s, const std::set<std::string>& tags,
                           const std::set<std::string>& entities) {
  std::vector<unsigned> points;
  if (!decode_utf8(s, points)) return false;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '&' && !entity_at(s, i + 1, entities)) return false;
    if (s[i] != '<') continue;
    std::size_t k = i + 1 + (i + 1 < s.size() && s[i + 1] == '/');
    std::size_t from = k;
    while (k < s.size() && (std::isalnum(static_cast<unsigned char>(s[k])) || s[k] == '!')) ++k;
    if (!tags.count(s.substr(from, k - from))) return false;
  }
  return true;
}

}  // namespace support
