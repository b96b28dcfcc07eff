#include "util/clock.h"

#include <cerrno>
#include <sys/prctl.h>

namespace {
constexpr long long kNsPerSec = 1000000000LL;
} // namespace

void clkTightSlack() {
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
}

timespec clkNow() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t;
}

timespec clkAddNs(timespec t, long long ns) {
    long long total = t.tv_nsec + ns;
    t.tv_sec += static_cast<time_t>(total / kNsPerSec);
    total %= kNsPerSec;
    if (total < 0) {
        total += kNsPerSec;
        t.tv_sec--;
    }
    t.tv_nsec = static_cast<long>(total);
    return t;
}

long long clkDiffNs(const timespec& a, const timespec& b) {
    return (static_cast<long long>(b.tv_sec) - a.tv_sec) * kNsPerSec + (b.tv_nsec - a.tv_nsec);
}

void clkSleepUntil(const timespec& t) {
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &t, nullptr) == EINTR) {
    }
}

void clkSleepMs(long ms) {
    if (ms > 0) clkSleepUntil(clkAddNs(clkNow(), ms * 1000000LL));
}
