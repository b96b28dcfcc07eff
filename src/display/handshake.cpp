#include "display/handshake.h"

#include <bsd/string.h>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "bus/port.h"
#include "config/records.h"
#include "util/clock.h"

std::atomic<int> gpibDspWait{0};
std::atomic<int> gpibDspAck{0};
std::atomic<int> gpibDspMark{0};

namespace {

char gpibDspMarkText[kMarkTextSize];
std::mutex markMutex;

// The display's sleep between passes ends early on a pause request or the
// end of the run; the lock only orders the test against the wake-up.
std::mutex wakeMutex;
std::condition_variable wakeCv;
std::atomic<int> redrawDue{0};

bool wakeDue() {
    // A request to answer or a withdrawn one to clear.
    bool turn = (gpibDspWait.load() != 0) != (gpibDspAck.load() != 0);
    return turn || redrawDue.load() != 0 || busStopping.load() != 0;
}

} // namespace

void dspWake() {
    { std::lock_guard<std::mutex> lock(wakeMutex); }
    wakeCv.notify_all();
}

void dspSleepUntil(const timespec& due) {
    long long ns = clkDiffNs(clkNow(), due);
    if (ns <= 0) return;
    std::unique_lock<std::mutex> lock(wakeMutex);
    wakeCv.wait_for(lock, std::chrono::nanoseconds(ns), wakeDue);
}

void dspPause() {
    dspRequestPause();
    while (gpibDspAck.load() == 0) gpibDspAck.wait(0);
}

void dspRelease() {
    // Once the run is stopping the bus stays with the off sequence.
    if (busStopping.load() != 0) return;
    gpibDspWait.store(0);
    gpibDspWait.notify_all();
    dspWake();
}

void dspRequestPause() {
    gpibDspWait.store(1);
    gpibDspWait.notify_all();
    dspWake();
}

void dspAwaitAck(long long limitNs) {
    constexpr long long kAckPollNs = 10000000LL;
    timespec limit = clkAddNs(clkNow(), limitNs);
    while (gpibDspAck.load() == 0 && clkDiffNs(clkNow(), limit) > 0)
        clkSleepUntil(clkAddNs(clkNow(), kAckPollNs));
}

bool dspTurn() {
    if (busStopping.load() != 0) {
        // The run is ending: hand the bus over once and start no pass again,
        // or each would leave a row head in the log.
        gpibDspAck.store(1);
        gpibDspAck.notify_all();
        for (;;) busStopping.wait(1);
    }
    int wait = gpibDspWait.load();
    int ack = gpibDspAck.load();
    if (wait != 0 && ack == 0) {
        gpibDspAck.store(1);
        gpibDspAck.notify_all();
        return false;
    }
    if (wait == 0 && ack != 0) {
        gpibDspAck.store(0);
        // Run on in this turn; a request made meanwhile is answered next.
        return gpibDspWait.load() == 0;
    }
    if (wait != 0) {
        // Paused: nothing to do until the request is withdrawn, so sleep on
        // it instead of spinning through idle turns.
        gpibDspWait.wait(1);
        return false;
    }
    return true;
}

void dspRequestRedraw() {
    redrawDue.store(1);
    dspWake();
}

bool dspRedrawDue() {
    return redrawDue.exchange(0) != 0;
}

void dspMarkToggle(const char* comment) {
    std::lock_guard<std::mutex> lock(markMutex);
    gpibDspMark.store(gpibDspMark.load() != 0 ? 0 : 1);
    strlcpy(gpibDspMarkText, comment, sizeof gpibDspMarkText);
}

int dspMarkTake(char* out) {
    std::lock_guard<std::mutex> lock(markMutex);
    strlcpy(out, gpibDspMarkText, kMarkTextSize);
    gpibDspMarkText[0] = '\0';
    return gpibDspMark.load();
}
