// The data log: a CSV file with one row per display pass. Rows are flushed
// as they end, so a crash loses at most the row being written, and a row the
// disk took only in part is cut away again.
#pragma once

#include <cstdio>
#include <ctime>

// The open data log, or null (absent without -l, and after the clean-up).
extern FILE* LogFile;

// Opens path, creating it when missing but leaving what it holds; returns
// 0, or 9 when it cannot be opened (or its path is too long to keep).
int logOpenFile(const char* path);
// Empties the opened log and writes the header; returns 0, or 9 when the
// column names cannot be written.
int logStart();

bool logIsOpen();
const char* logPath();
// True while the last row could not be written.
bool logFailed();

// Row head with the row number, local time of the pass and the mark.
void logRowHead(unsigned num, const tm& when, int mark, const char* comment);
// One value cell.
void logValue(const char* resp);
// Ends the row and pushes it to the file; returns false when it failed.
bool logRowEnd();

void logClose();
