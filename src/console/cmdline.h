// Taking a typed line apart: the command word, the value after it, and the
// internal command the word names.
#pragma once

#include <cstddef>

constexpr size_t kLineSize = 70;

enum InternalCmd { kCmdCls = 0, kCmdHelp = 1, kCmdMark = 2, kCmdQuit = 3, kCmdNone = -1 };

struct Icmd {
    const char* name;
    const char* help;
};
extern const Icmd Icmds[4];

// Splits line (cut at its end already) into the command word and the value;
// both are kLineSize-byte buffers.
void cmdSplit(const char* line, char* word, char* value);

// The internal command named word (any case), or kCmdNone.
int cmdInternal(const char* word);
