// Sleeping to absolute deadlines on the monotonic clock, so that a run of
// 1 ms pauses keeps its cadence instead of drifting by the wake-up latency.
#pragma once

#include <ctime>

// Makes timers of this thread (and of threads it creates later) fire close
// to their deadline instead of within the default 50 us slack.
void clkTightSlack();

timespec clkNow();
timespec clkAddNs(timespec t, long long ns);
// Nanoseconds from a to b (negative when b is earlier).
long long clkDiffNs(const timespec& a, const timespec& b);

// Sleeps until the absolute monotonic time t.
void clkSleepUntil(const timespec& t);
void clkSleepMs(long ms);
