// The data log: a CSV file with one row per display pass. Rows are flushed
// as they end, so a crash loses at most the row being written.
#pragma once

#include <cstdio>
#include <ctime>

// The open data log, or null (absent without -l, and after the clean-up).
extern FILE* LogFile;

// Creates (or empties) path and writes the header; returns 0 on success,
// 9 when the file cannot be created or its column names not written.
int logCreate(const char* path);

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
