// The display thread: polls every display record, draws the readings with
// the mark state and the spinner, feeds the data log, then sleeps the
// display interval.
#pragma once

#include "config/records.h"

// The options of -f (purge the controllers before every pass), -r (after a
// pass with a failed read) and -u (the sleep after every turn of the loop),
// before the thread starts.
void dspConfigure(bool force, bool reset, long intervalMs);

// Thread body; never returns.
void* gpibDsp(void* arg);

// What the guard's actions need from the parts above the display: a
// dictionary command sent and logged as a typed one is (called on the
// display thread, which has the bus), and the end of the run once the named
// line is set.
struct DspGuardHooks {
    void (*command)(const DictCmd* cmd, const char* value);
    void (*off)();
};
void dspGuardHooks(DspGuardHooks hooks);

// Binds the guard's limits and starts the display thread; returns 0, or
// nonzero when it cannot start.
int dspStart();

// Takes the bus from the display for good, at the end of the run: requests
// the pause, waits one second, then for the pass under way to stop (at its
// next reading; bounded by the longest pass there can be).
void dspStop();
