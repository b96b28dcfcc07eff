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

int dev1(const GpibAt& at) {
    return static_cast<int>(at.dev) + 1;
}

bool stopping(bool interruptible) {
    return interruptible && busStopping.load() != 0;
}

void initWaitFor(const InitStep& r, const InitShow& show) {
    show.say({"Sending ", r.cmd, " to dev ", TextNum(dev1(r.at)), ", adr ", TextNum(r.at.adr),
              ", to match response to ", r.cresp});
    InitWatch watch = show.watch;
    // However short the controller's time-out, the instrument gets at most
    // 100 attempts a second.
    timespec next = clkNow();
    timespec shown{};
    unsigned attempt = 0;
    bool lost = false;
    Answer resp = "";
    while (strncasecmp(resp, r.cresp, sizeof r.cresp) != 0) {
        clkSleepUntil(next);
        next = clkAddNs(clkNow(), kAttemptGapNs);
        if (gpibExchange(r.at, r.cmd, {.readCmd = true, .read = GpibRead::One}, resp) ==
            GpibDone::Stopped)
            break;
        attempt++;
        lost = gpibIsLost(static_cast<int>(r.at.dev));
        // A terminal that redraws a hundred times a second is only busy.
        if (attempt == 1 || clkDiffNs(shown, clkNow()) >= kWatchGapNs) {
            shown = clkNow();
            watch(attempt, lost ? nullptr : resp, r.cresp, dev1(r.at), false);
        }
    }
    // The line shows how the wait ended, and later messages start below it.
    if (attempt != 0) watch(attempt, lost ? nullptr : resp, r.cresp, dev1(r.at), true);
}

} // namespace

void gpibDrain(int dev, bool interruptible) {
    timespec limit = clkAddNs(clkNow(), kDrainLimitNs);
    Answer thrown;
    while (gpibRead(dev, thrown, 0) != 0 && !stopping(interruptible)) {
        if (clkDiffNs(clkNow(), limit) <= 0) break;
    }
}

int gpibInit(const InitShow& show) {
    Answer resp;
    for (const InitStep& r : cfg().init) {
        if (stopping(true)) break;
        if (r.delay != 0) {
            show.say({"Dev ", TextNum(dev1(r.at)), " delay ", TextNum(r.delay), "mS"});
            gpibExchange(r.at, r.cmd, {.command = false, .pauseMs = r.delay}, resp);
        } else if (r.cresp[0] != '\0') {
            initWaitFor(r, show);
        } else {
            show.say({"Sending command ", r.cmd, " to dev ", TextNum(dev1(r.at)), ", adr ",
                      TextNum(r.at.adr)});
            gpibExchange(r.at, r.cmd, {.pauseMs = kSettleMs, .read = GpibRead::Drain}, resp);
        }
    }
    return 0;
}

int gpibOff() {
    {
        // A controller lost during the run may be back: its instruments must
        // be switched off too.
        BusLock bus(busMutex);
        gpibReconnect(true);
    }
    Answer resp;
    for (const OffCmd& r : cfg().off) {
        gpibExchange(r.at, r.cmd, {.read = GpibRead::Drain, .late = true}, resp);
        clkSleepMs(kSettleMs);
    }
    return 0;
}
