// The program's result codes and the message of each: every layer may name a
// result, and the start-up's last line and the screen's notices say the same.
// Beside them, the detail of a refused start: one line naming the thing and
// the reason, printed above the result's line.
#pragma once

#include <cstddef>
#include <initializer_list>

constexpr int kResultSuccess = 0;
constexpr int kResultNoArgs = 1;
constexpr int kResultBadArgs = 2;
constexpr int kResultBadConfig = 3;
constexpr int kResultDevice = 4;
constexpr int kResultSigInstall = 5;
constexpr int kResultInitDevice = 6;
constexpr int kResultThread = 7;
constexpr int kResultSignal = 8;
constexpr int kResultDataLog = 9;
constexpr int kResultCmdLog = 10;
constexpr int kResultLimit = 11;
constexpr int kResultCount = 12;

extern const char* const retCode[kResultCount];

// A number as text, to be one of the parts below.
struct TextNum {
    char s[24];
    explicit TextNum(long n);
    operator const char*() const { return s; }
};

// Joins parts into buf (size bytes, always terminated). Parts are paths,
// values and lines from the user: each is cut to a share of the buffer, so
// the reason after a long path still shows, and its control bytes are
// written as \xNN, so that none reaches the terminal.
void textJoin(char* buf, size_t size, std::initializer_list<const char*> parts);

// The detail and the error number are one for the whole run: set by the main
// thread during start-up, or by the display thread for a limit that ends the
// run, before the final report (on the thread that ends it) reads them.

// Sets the detail of the failing start-up step; keeps errno.
void resultWhy(std::initializer_list<const char*> parts);
// The detail, empty when none was set.
const char* resultWhyText();

// The system's words for an error number.
const char* resultErrText(int err);

// The same, for the error that refuses the start: it becomes the number the
// final report shows. A refusal that names no system error shows 0.
const char* resultSysErr(int err);
int resultErrno();
