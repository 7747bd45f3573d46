#include "display.h"

#include <string>

#include "console.h"
#include "deliverable.h"
#include "screen.h"
#include "world.h"

namespace zeko {
namespace {

// Frame, grid lines, title, help line and world name.
void framed_grid_screen(const Deliverable& d) {
  LOESCHE_SCHIRM();
  console::write_line_end();
  for (int i = 0; i < 10; ++i) {
    console::write_line_end();
    WAAGERECHTE(68, duenn);
    console::write_line_end();
  }
  for (int i = 0; i <= 16; ++i)
    for (int j = 1; j <= 9; ++j) {
      GEHZUXY(4 * i + 1, 2 * j + 1);
      XWRITE('I');
    }
  RAHMEN_MIT_TITEL(1, 1, 67, 19, sterne, d.title);
  FARBE(schwarz);
  GEHZUXY(1, 22);
  console::write_text(d.help_line);
  FARBE(d.name_colour);
  GEHZUXY(30, 24);
  console::write_text(DATEINAME.view());
  FARBE(schwarz);
}

// A plain star border without grid lines.
void star_border_screen(const Deliverable& d) {
  console::CLRSCR();
  FARBE(schwarz);
  for (int row = 2; row <= 20; ++row) {
    XGOTOXY(68, row - 1);
    console::write_char('*');
    XGOTOXY(0, row - 1);
    console::write_char('*');
  }
  XGOTOXY(0, 0);
  console::write_text(d.title);
  XGOTOXY(0, 20);
  console::write_text(std::string(69, '*'));
  console::write_line_end();
  FARBE(d.name_colour);
  console::write_text(DATEINAME.view());
  FARBE(schwarz);
  XGOTOXY(0, 23);
  console::write_text(left_aligned(d.help_line, 62));
  XGOTOXY(68, 23);
}

}  // namespace

void BILDSCHIRM() {
  const Deliverable& d = deliverable();
  if (!d.draws) return;
  if (d.screen_style == ScreenStyle::star_border) star_border_screen(d);
  else framed_grid_screen(d);
}

void FELDINHALT_ZEIGEN(int16_t x, int16_t y) {
  const Deliverable& d = deliverable();
  if (!d.draws) return;
  int value = FELD[x][y];
  int row = 2 * y + 2;
  if (value < 0) {
    FARBE(blau);
    GEHZUXY(4 * x + 2, row);
    console::write_text("***\b\b");
  } else {
    // All three columns of the field, or only the middle one; the cursor
    // goes back to the middle.
    GEHZUXY(d.whole_cell ? 4 * x + 2 : 4 * x + 3, row);
    if (value != 0) FARBE(rot);
    if (d.whole_cell) console::write_text(value == 0 ? "   " : " o ");
    else console::write_char(value == 0 ? ' ' : 'o');
    console::write_text(d.whole_cell ? "\b\b" : "\b");
  }
  FARBE(schwarz);
}

void ZEIGE_FELDER() {
  for (int16_t x = 0; x < kColumns; ++x)
    for (int16_t y = 0; y < kRows; ++y) FELDINHALT_ZEIGEN(x, y);
}

void ZEIGE_ZEKO() {
  const Deliverable& d = deliverable();
  if (!d.draws) {
    if (hooks.step_pause) hooks.step_pause();
    return;
  }
  int column = d.status_column;
  if (d.status_colour != kCurrentColour) FARBE(static_cast<FT>(d.status_colour));
  GEHZUXY(column, 3);
  console::write_text("x=" + right_aligned(ZEKO.x, 2) + " y=" + right_aligned(ZEKO.y, 2));
  GEHZUXY(column, 6);
  console::write_text("Vor.:" + right_aligned(ZEKO.vorrat, 4));
  GEHZUXY(column, 9);
  console::write_text("Lager:" + right_aligned(FELD[ZEKO.x][ZEKO.y], d.lager_width));

  GEHZUXY(4 * ZEKO.x + 3, 2 * ZEKO.y + 2);
  FARBE(gruen);
  console::write_char(d.glyphs[ZEKO.richtung & 3]);
  if (d.redraw_end == RedrawEnd::pause_then_row_23) {
    FARBE(schwarz);
    if (hooks.step_pause) hooks.step_pause();
    XGOTOXY(0, 22);
    return;
  }
  GEHZUXY(1, 24);
  FARBE(schwarz);
  if (d.blank_message_line) {
    console::write_text(std::string(69, ' '));
    GEHZUXY(1, 24);
  }
}

void load_and_show_world(std::string_view file, const std::function<void()>& before_drawing) {
  LIES_MTWELT(file);
  if (before_drawing) before_drawing();
  BILDSCHIRM();
  ZEIGE_FELDER();
  ZEIGE_ZEKO();
}

}  // namespace zeko
