#include "bus/sequence.h"

#include <strings.h>

#include "bus/exchange.h"
#include "bus/port.h"
#include "bus/reader.h"
#include "util/clock.h"
#include "util/result.h"

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

void initWaitFor(GpibRec* r, const InitShow& show) {
    show.say({"Sending ", r->cmd, " to dev ", TextNum(dev1(r)), ", adr ", TextNum(r->adr),
              ", to match response to ", r->label});
    InitWatch watch = show.watch;
    // However short the controller's time-out, the instrument gets at most
    // 100 attempts a second.
    timespec next = clkNow();
    timespec shown{};
    unsigned attempt = 0;
    bool lost = false;
    while (strncasecmp(r->resp, r->label, sizeof r->label) != 0) {
        clkSleepUntil(next);
        next = clkAddNs(clkNow(), kAttemptGapNs);
        if (gpibExchange(r, {.readCmd = true, .read = GpibRead::One}) == GpibDone::Stopped) break;
        attempt++;
        lost = gpibIsLost(static_cast<int>(r->dev));
        // A terminal that redraws a hundred times a second is only busy.
        if (attempt == 1 || clkDiffNs(shown, clkNow()) >= kWatchGapNs) {
            shown = clkNow();
            watch(attempt, lost ? nullptr : r->resp, r->label, dev1(r), false);
        }
    }
    // The line shows how the wait ended, and later messages start below it.
    if (attempt != 0) watch(attempt, lost ? nullptr : r->resp, r->label, dev1(r), true);
}

} // namespace

void gpibDrain(GpibRec* rec, bool interruptible) {
    timespec limit = clkAddNs(clkNow(), kDrainLimitNs);
    while (gpibRead(rec, 0) != 0 && !stopping(interruptible)) {
        if (clkDiffNs(clkNow(), limit) <= 0) break;
    }
}

int gpibInit(GpibRec* head, const InitShow& show) {
    for (GpibRec* r = head; r != nullptr && !stopping(true); r = r->next) {
        if (r->num != 0) {
            show.say({"Dev ", TextNum(dev1(r)), " delay ", TextNum(r->num), "mS"});
            gpibExchange(r, {.command = false, .pauseMs = r->num});
        } else if (r->label[0] != '\0') {
            initWaitFor(r, show);
        } else {
            show.say({"Sending command ", r->cmd, " to dev ", TextNum(dev1(r)), ", adr ",
                      TextNum(r->adr)});
            gpibExchange(r, {.pauseMs = kSettleMs, .read = GpibRead::Drain});
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
        gpibExchange(r, {.read = GpibRead::Drain, .late = true});
        clkSleepMs(kSettleMs);
    }
    return 0;
}
