// Bringing a run up in its fixed order and taking it down again: the
// start-up steps, the one clean-up shared by every way out, and the final
// report with the exit code.
#pragma once

#include "main/cli.h"

// Gives each closed standard stream (0 to 2) /dev/null, before any file is
// opened.
void runGuardStdio();

// Runs the start-up steps from the logs to the command loop, handing each
// module its options; returns the result (0 after quit, else the result code
// of the failing step).
int runStart(const Options& opts);

// Runs the clean-up unless it already ran or is running elsewhere; returns
// false when another thread has it.
bool runCleanup();

// Clean-up, message line, two line feeds, exit with result. Never returns.
[[noreturn]] void runFinish(int result);

// After the clean-up a signal ran: its lines on standard error, exit with 8.
[[noreturn]] void runSignalled(int sig);
