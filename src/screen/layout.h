// The fixed screen: the banner, the mark label, the data-log notice, and the
// rows every part of the program draws on.
#pragma once

#include <cstddef>

// Rows and columns of the screen map (24 x 80 terminal).
constexpr int kRowReadings = 3;
constexpr int kRowPrompt = 15;
constexpr int kRowAnswer = 16;
constexpr int kRowLogNotice = 17;
constexpr int kRowMark = 18;
constexpr int kColMarkState = 7;

// The project's version, set in CMakeLists.txt alone.
constexpr int kVerMajor = QUORVEL_VERSION_MAJOR;
constexpr int kVerMinor = QUORVEL_VERSION_MINOR;
constexpr int kVerBuild = QUORVEL_VERSION_PATCH;

// Writes the banner (leading and trailing line feed) to standard output.
void scrBanner();

// The data-log notice of the static screen: the log's path, and the text
// shown after it while rows fail. Without it no notice is drawn.
void scrSetLogNotice(const char* path, const char* failure);

// Clears the terminal and draws the static screen, with the notice's failure
// text when logFailed; flushes standard output.
void scrSetup(bool logFailed);

// Writes the data-log notice text at the cursor, with the failure message
// when the last row could not be written; a long path is shown by its tail so
// that the notice keeps within kNoticeWidth columns.
constexpr size_t kNoticeWidth = 79;
void scrLogNotice(bool failed);

// Writes text that came from an instrument, each control byte shown as '?'.
void scrPutText(const char* text);
