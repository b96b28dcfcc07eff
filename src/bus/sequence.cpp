#include "bus/sequence.h"

#include <cstdio>
#include <strings.h>

#include "bus/port.h"
#include "bus/reader.h"
#include "util/clock.h"

namespace {

constexpr long kSettleMs = 20;
constexpr long long kAttemptGapNs = 10000000LL;
constexpr long long kWatchGapNs = 100000000LL;
// An instrument that never stops talking must not hold the run for ever.
constexpr long long kDrainLimitNs = 5000000000LL;

int dev1(const GpibRec* r) {
    return static_cast<int>(r->dev) + 1;
}

bool stopping(bool interruptible) {
    return interruptible && busStopping.load() != 0;
}

void initWaitFor(GpibRec* r, InitWatch watch) {
    printf("\nSending %s to dev %d, adr %d, to match response to %s", r->cmd, dev1(r), r->adr,
           r->label);
    fflush(stdout);
    // However short the controller's time-out, the instrument gets at most
    // 100 attempts a second.
    timespec next = clkNow();
    timespec shown{};
    for (unsigned attempt = 1;
         strncasecmp(r->resp, r->label, sizeof r->label) != 0 && !stopping(true); attempt++) {
        clkSleepUntil(next);
        next = clkAddNs(clkNow(), kAttemptGapNs);
        if (r->file != nullptr) gpibPuts(r->file, r->cmd);
        gpibSendRead(r);
        gpibRead(r, 0);
        // A terminal that redraws a hundred times a second is only busy.
        if (attempt == 1 || clkDiffNs(shown, clkNow()) >= kWatchGapNs) {
            shown = clkNow();
            watch(attempt, r->resp, r->label);
        }
    }
}

void initPlain(GpibRec* r) {
    printf("\nSending command %s to dev %d, adr %d", r->cmd, dev1(r), r->adr);
    fflush(stdout);
    if (r->file != nullptr) gpibPuts(r->file, r->cmd);
    clkSleepMs(kSettleMs);
    gpibDrain(r, true);
}

} // namespace

void gpibDrain(GpibRec* rec, bool interruptible) {
    timespec limit = clkAddNs(clkNow(), kDrainLimitNs);
    while (gpibRead(rec, 0) != 0 && !stopping(interruptible)) {
        if (clkDiffNs(clkNow(), limit) <= 0) break;
    }
}

int gpibInit(GpibRec* head, InitWatch watch) {
    for (GpibRec* r = head; r != nullptr && !stopping(true); r = r->next) {
        BusLock bus(busMutex);
        setDevAddr(r);
        if (r->num != 0) {
            printf("\nDev %d delay %dmS", dev1(r), r->num);
            fflush(stdout);
            clkSleepMs(r->num);
        } else if (r->label[0] != '\0') {
            initWaitFor(r, watch);
        } else {
            initPlain(r);
        }
    }
    return 0;
}

int gpibOff(GpibRec* head) {
    {
        // A controller lost during the run may be back: its instruments must
        // be switched off too.
        BusLock bus(busMutex);
        gpibReconnect(true);
    }
    for (GpibRec* r = head; r != nullptr; r = r->next) {
        {
            BusLock bus(busMutex);
            setDevAddr(r);
            if (r->file != nullptr) gpibPuts(r->file, r->cmd);
            gpibDrain(r, false);
        }
        clkSleepMs(kSettleMs);
    }
    return 0;
}
