// The six VT100 operations the program draws with. They write to standard
// output without flushing it; callers flush.
#pragma once

#include <cstdint>

void ansiClrScr();
void ansiEraseLine();
void ansiCursorSav();
void ansiCursorRst();
// Reverse video on or off for what follows.
void ansiReverse(bool on);
// Moves the cursor; writes nothing when row > 24 or col > 79. Wider values
// arrive reduced to their low 8 bits.
void ansiCursorPos(uint8_t row, uint8_t col);
