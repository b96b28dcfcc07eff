#include "screen/ansi.h"

#include <cstdio>

namespace {
constexpr const char* kCsi = "\x1b[";
constexpr uint8_t kMaxRow = 24;
constexpr uint8_t kMaxCol = 79;
} // namespace

void ansiClrScr() {
    printf("%s%s", kCsi, "2J");
}

void ansiEraseLine() {
    printf("%s%c", kCsi, 'K');
}

void ansiCursorSav() {
    fputs("\x1b"
          "7",
          stdout);
}

void ansiCursorRst() {
    fputs("\x1b"
          "8",
          stdout);
}

void ansiReverse(bool on) {
    printf("%s%s", kCsi, on ? "7m" : "27m");
}

void ansiCursorPos(uint8_t row, uint8_t col) {
    if (row > kMaxRow || col > kMaxCol) return;
    char r[4];
    char c[4];
    snprintf(r, sizeof r, "%hhu", row);
    snprintf(c, sizeof c, "%hhu", col);
    printf("%s%s;%s%c", kCsi, r, c, 'H');
}
