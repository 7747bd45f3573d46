// Drawing primitives on the 80 x 25 text screen: cursor, colours, clearing,
// single characters, lines and frames. They keep no state: the cursor and the
// colours belong to the console.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "console.h"

namespace zeko {

// Ordinal = colour number of the console.
enum FT : uint8_t { schwarz = console::black, blau = console::blue, gruen = console::green, rot = console::red };
enum LT : uint8_t { duenn = 0, sterne = 1 };                       // 0 thin, otherwise stars

void GEHZUXY(int x, int y);   // 1-based
void XGOTOXY(int x, int y);   // 0-based
void FARBE(FT f);
void HINTERGRUND(FT f);
void LOESCHE_SCHIRM();
void STANDARDSCHIRM();
int16_t XWRITE(char c);
int16_t XFLUSH(char c);
void WAAGERECHTE(int16_t n, LT s);
void SENKRECHTE(int16_t n, LT s);
void RAHMEN(int16_t x, int16_t y, int16_t w, int16_t h, LT s);
void RAHMEN_LOESCHEN(int16_t x, int16_t y, int16_t w, int16_t h);
void RAHMEN_MIT_TITEL(int16_t x, int16_t y, int16_t w, int16_t h, LT s, std::string_view title);

// Text filled up with blanks to `width` characters (never cut): numbers on
// the right, text on the left.
std::string right_aligned(long value, std::size_t width);
std::string left_aligned(std::string_view text, std::size_t width);

}  // namespace zeko
