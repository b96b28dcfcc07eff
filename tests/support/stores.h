// Building record stores by hand for tests that call the program's code
// directly, and putting every global back as a fresh process has it.
#pragma once

#include "config/records.h"

// Clears the stores, closes open controllers, resets the address cache,
// the pause flags and the stop flag.
void resetStores();

// Appends a record to the list at slot head and returns it.
GpibRec* addRecord(int head, int dev, int adr, const char* cmd, const char* label = "");

// Sets controller dev's addressing and read commands and read time-out.
void setController(int dev, const char* addrCmd, const char* readCmd, int timeoutMs);
