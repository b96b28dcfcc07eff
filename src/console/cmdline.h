// Taking a typed line apart: the command word, the value after it, and what
// the word names (a dictionary record or an internal command).
#pragma once

#include <cstddef>

#include "config/records.h"

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

// The first dictionary record named word (any case), or null.
GpibRec* cmdLookup(const char* word);

// The internal command named word (any case), or kCmdNone.
int cmdInternal(const char* word);
