// The program's result codes and the message of each: every layer may name a
// result, and the start-up's last line and the screen's notices say the same.
#pragma once

constexpr int kResultSuccess = 0;
constexpr int kResultNoArgs = 1;
constexpr int kResultBadArgs = 2;
constexpr int kResultBadConfig = 3;
constexpr int kResultSignal = 8;
constexpr int kResultDataLog = 9;
constexpr int kResultCmdLog = 10;
constexpr int kResultCount = 11;

extern const char* const retCode[kResultCount];
