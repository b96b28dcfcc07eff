// Text helpers shared by the loader, the reader and the console: cutting a
// line at its end, and splitting it into a first word and the rest. Only the
// space character separates words; tabs, CR and LF belong to the word.
#pragma once

#include <cstddef>

// Cuts buf at the first CR, LF or NUL within len bytes; returns its index, or
// 0 (buffer unchanged) when there is none.
int strnl(char* buf, size_t len);

// Reduces buf to its first word, moved to the start; returns its length, or
// 0 (buffer unchanged) when buf holds no non-space byte.
int strlrtrim(char* buf, size_t len);

// Drops the first word and the spaces after it, keeping the rest unchanged;
// returns the new length (0 and an empty buffer when there is no second word).
int strlnshift(char* buf, size_t len);
