// The command console: reads a line at the prompt, runs a dictionary command
// on its instrument or one of the internal commands, shows the answer.
#pragma once

#include "config/records.h"

// Runs until quit or the end of input; returns 0.
int cmdProc();

// A limit's dictionary command, on the display thread during its pass (the
// bus is the display's): sent and written to the command log as a typed one
// is, without a word on the screen.
void cmdGuardCommand(const DictCmd* cmd, const char* value);
