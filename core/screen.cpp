#include "screen.h"

#include "console.h"
#include "world.h"

namespace zeko {

void GEHZUXY(int x, int y) { console::GOTOXY(x & 0xff, y & 0xff); }
void XGOTOXY(int x, int y) { console::GOTOXY((x + 1) & 0xff, (y + 1) & 0xff); }
void FARBE(FT f) { console::TEXTCOLOR(f); }
void HINTERGRUND(FT f) { console::TEXTBACKGROUND(f); }
void LOESCHE_SCHIRM() { console::CLRSCR(); }
void STANDARDSCHIRM() { console::CLRSCR(); }

int16_t XWRITE(char c) {
  console::write_char(c);
  return 0;
}

int16_t XFLUSH(char c) {
  console::write_char(c);
  return 0;
}

void WAAGERECHTE(int16_t n, LT s) {
  char c = s == duenn ? '-' : '*';
  for (int i = 0; i < n; ++i) XWRITE(c);
}

void SENKRECHTE(int16_t n, LT s) {
  char c = s == duenn ? 'I' : '*';
  int column = console::where_x();
  int row = console::where_y();
  for (int i = 1; i <= n; ++i) {
    XWRITE(c);
    GEHZUXY(column, row + i);
  }
}

void RAHMEN(int16_t x, int16_t y, int16_t w, int16_t h, LT s) {
  auto E = [](int ex, int ey, char c) {
    GEHZUXY(ex, ey);
    XFLUSH(c);
  };
  auto ECKEN = [&] {
    E(x, y, '*');
    E(x + w + 1, y, '*');
    E(x, y + h + 1, '*');
    E(x + w + 1, y + h + 1, '*');
  };
  GEHZUXY(x + 1, y);
  WAAGERECHTE(w, s);
  GEHZUXY(x + 1, y + h + 1);
  WAAGERECHTE(w, s);
  GEHZUXY(x, y + 1);
  SENKRECHTE(h, s);
  GEHZUXY(x + w + 1, y + 1);
  SENKRECHTE(h, s);
  ECKEN();
}

void RAHMEN_LOESCHEN(int16_t x, int16_t y, int16_t w, int16_t h) {
  for (int row = y + 1; row <= y + h; ++row) {
    GEHZUXY(x + 1, row);
    for (int i = 1; i < w; ++i) XWRITE(' ');
    XFLUSH(' ');
  }
}

void RAHMEN_MIT_TITEL(int16_t x, int16_t y, int16_t w, int16_t h, LT s, std::string_view title_in) {
  std::string_view title = title_in.substr(0, kNameLength);
  auto RAHMENTITEL = [](int tx, int ty, int tw, std::string_view t) {
    int c = tx + (tw - static_cast<int>(t.size())) / 2;
    GEHZUXY(c, ty);
    console::write_char(' ');
    GEHZUXY(c + 1, ty);
    console::write_text(t);
    console::write_char(' ');
    console::write_line_end();
  };
  RAHMEN(x, y, w, h, s);
  RAHMENTITEL(x, y, w, title);
}

std::string right_aligned(long value, std::size_t width) {
  std::string digits = std::to_string(value);
  if (digits.size() < width) digits.insert(0, width - digits.size(), ' ');
  return digits;
}

std::string left_aligned(std::string_view text, std::size_t width) {
  std::string s(text);
  if (s.size() < width) s.append(width - s.size(), ' ');
  return s;
}

}  // namespace zeko
