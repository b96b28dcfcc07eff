// The fixed screen: the banner, the mark label, the data-log notice, and the
// rows every part of the program draws on.
#pragma once

#include <cstddef>
#include <cstdint>

// The screen's size, and the rows and columns of its map. Every row is
// placed by its position, so a larger terminal shows them where 80 x 24 does.
constexpr int kScreenRows = 24;
constexpr int kScreenCols = 80;
constexpr int kRowPrompt = 15;
constexpr int kRowAnswer = 16;
constexpr int kRowLogNotice = 17;
constexpr int kRowMark = 18;
constexpr int kColMarkState = 7;
constexpr int kRowBanner = 23;
// The widest text that keeps to its row: column 80 cannot be addressed.
constexpr size_t kLineWidth = 79;

// The project's version, set in CMakeLists.txt alone.
constexpr int kVerMajor = QUORVEL_VERSION_MAJOR;
constexpr int kVerMinor = QUORVEL_VERSION_MINOR;
constexpr int kVerBuild = QUORVEL_VERSION_PATCH;

// Writes the banner (leading and trailing line feed) to standard output.
void scrBanner();

// The data-log notice of the static screen: the log's path, and the text
// shown after it while rows fail. Without it no notice is drawn.
void scrSetLogNotice(const char* path, const char* failure);

// True when the terminal last measured holds the whole screen.
bool scrFits();

// Measures the terminal, clears it and draws the static screen, with the
// notice's failure text when logFailed (on a terminal too small for it, only
// clears); flushes standard output.
void scrSetup(bool logFailed);

// Writes the prompt on its row, erasing the rest; on a terminal too small for
// the screen, says so first.
void scrPrompt();

// Moves the cursor below the screen, where the last lines of a run go.
void scrLeave();

// Writes the data-log notice text at the cursor, with the failure message
// when the last row could not be written; a long path is shown by its tail so
// that the notice keeps within kLineWidth columns.
void scrLogNotice(bool failed);

// Writes text that came from an instrument, each control byte shown as '?',
// in at most room columns; returns the columns left.
size_t scrPutText(const char* text, size_t room = SIZE_MAX);

// The line under a wait-for-answer init record's message: opened by the first
// attempt, rewritten in place by later ones, within kLineWidth columns. A null
// got says that the controller is lost. The last attempt ends the line, so
// that whatever is printed next starts below it.
void scrInitAttempt(unsigned attempt, const char* got, const char* want, int controller, bool last);
