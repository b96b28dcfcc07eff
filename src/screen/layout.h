// The fixed screen: its size, the rows every part of the program draws on,
// the banner, and the texts shown before the screen exists.
#pragma once

#include <cstddef>
#include <cstdint>

// The screen's size, and the rows and columns of its map.
constexpr int kScreenRows = 24;
constexpr int kScreenCols = 80;
constexpr int kRowPrompt = 15;
constexpr int kRowAnswer = 16;
constexpr int kRowLogNotice = 17;
constexpr int kRowMark = 18;
constexpr int kRowStatus = 19;
constexpr int kRowBanner = 23;
// The widest text that keeps to its row: column 80 cannot be addressed.
constexpr size_t kLineWidth = 79;

// The project's version, set in CMakeLists.txt alone.
constexpr int kVerMajor = QUORVEL_VERSION_MAJOR;
constexpr int kVerMinor = QUORVEL_VERSION_MINOR;
constexpr int kVerBuild = QUORVEL_VERSION_PATCH;
constexpr const char* kOwner = "(c) 2026 the quorvel developers";

// Writes the banner (leading and trailing line feed) to standard output.
void scrBanner();

// Writes text that came from an instrument, each control byte shown as '?',
// in at most room columns; returns the columns left.
size_t scrPutText(const char* text, size_t room = SIZE_MAX);
