// Writing CSV cells so that spreadsheet readers see the columns we wrote:
// plain text goes out byte for byte, text with a comma, a double quote, CR
// or LF becomes a quoted field with its quotes doubled. A write error shows
// when the row is flushed, so the cells report none.
#pragma once

#include <cstdio>

// True when text must be quoted to stay one cell.
bool csvNeedsQuotes(const char* text);

// Writes text as one cell (no separator).
void csvCell(FILE* fp, const char* text);

// Writes text between double quotes, doubling the quotes inside.
void csvQuoted(FILE* fp, const char* text);
