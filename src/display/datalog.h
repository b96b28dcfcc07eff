// The data log: a CSV file with one row per display pass. Rows are flushed
// as they end, so a crash loses at most the row being written, and a row the
// disk took only in part is cut away again. One run writes a log: it is
// locked against a second quorvel before anything is done to it. Yesterday's
// rows are never emptied away: a log that holds rows is moved aside to
// path.~N~ first. A log whose path no longer names it (removed, or its
// directory) is made again at its path, checked at most once a second.
//
// Threads: opened and started by the main thread before the display thread
// exists; rows and the note by the display thread; closed by the thread that
// runs the clean-up. One lock orders the rows against the close.
#pragma once

#include <cstddef>
#include <cstdio>
#include <ctime>

// Opens and locks path, creating it when missing but leaving what it holds;
// returns 0, or 9 when it cannot be opened (errno EWOULDBLOCK: another
// quorvel holds it) or its path is too long to keep.
int logOpenFile(const char* path);
// Moves a log that holds rows aside, empties the opened log and writes the
// header; returns 0, or 9 when the column names cannot be written.
int logStart();

bool logIsOpen();
const char* logPath();
// What the screen says after the log's path: the failure of the last row,
// a vanished or remade file, or where the old rows went; empty when none.
void logNote(char* buf, size_t size);

// Row head with the row number, local time of the pass and the mark.
void logRowHead(unsigned num, const tm& when, int mark, const char* comment);
// One value cell.
void logValue(const char* resp);
// Ends the row and pushes it to the file; returns false when it failed.
bool logRowEnd();

void logClose();
