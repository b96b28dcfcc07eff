#include "bus/exchange.h"

#include <bsd/string.h>

#include "bus/port.h"
#include "bus/reader.h"
#include "bus/sequence.h"
#include "bus/stale.h"
#include "util/clock.h"

namespace {

GpibDone failed(GpibRec* rec, GpibDone why) {
    strlcpy(rec->resp, kDspErr, sizeof rec->resp);
    return why;
}

} // namespace

GpibDone gpibExchange(GpibRec* rec, const GpibStep& step) {
    BusLock bus(busMutex);
    // Once the clean-up has begun only the off sequence talks to the
    // instruments.
    if (!step.late && busStopping.load() != 0) return failed(rec, GpibDone::Stopped);
    gpibReconnect();
    const int dev = static_cast<int>(rec->dev);
    bool sent = rec->file != nullptr && gpibSettle(dev) && setDevAddr(rec) != 0 &&
                (!step.command || gpibPuts(rec->file, rec->cmd, step.value) >= 0);
    if (!sent) {
        // A pause is kept whatever became of its controller: a display whose
        // controllers are gone still takes its time per reading, instead of
        // spinning and filling the data log with rows of ERR.
        if (step.pauseMs > 0) clkSleepMs(step.pauseMs);
        return failed(rec, GpibDone::NotSent);
    }
    if (step.pauseMs > 0) clkSleepMs(step.pauseMs);
    if (step.readCmd) gpibSendRead(rec);
    switch (step.read) {
    case GpibRead::One:
        if (gpibRead(rec, step.shift) != 0) return GpibDone::Answered;
        gpibFence(dev);
        return GpibDone::NoAnswer;
    case GpibRead::Drain:
        gpibDrain(rec, !step.late);
        return GpibDone::Sent;
    case GpibRead::None:
        break;
    }
    rec->resp[0] = '\0';
    return GpibDone::Sent;
}
