// The display thread: polls every display record, draws the readings with
// the mark state and the spinner, feeds the data log, then sleeps the
// display interval.
#pragma once

#include <ctime>

extern int flagDspForce;   // -f: purge the controller streams before every pass
extern int flagDspReset;   // -r: purge them after a pass with a failed read
extern timespec update_tm; // sleep after every turn of the display loop

// The options of -f, -r and -u, before the thread starts.
void dspConfigure(bool force, bool reset, long intervalMs);

// Thread body; never returns.
void* gpibDsp(void* arg);

// Starts the display thread; returns 0, or nonzero when it cannot start.
int dspStart();

// Takes the bus from the display for good, at the end of the run: requests
// the pause, waits one second, then for the pass under way to stop (at its
// next reading; bounded by the longest pass there can be).
void dspStop();
