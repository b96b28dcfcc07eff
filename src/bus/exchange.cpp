#include "bus/exchange.h"

#include <bsd/string.h>

#include "bus/port.h"
#include "bus/reader.h"
#include "bus/sequence.h"
#include "bus/stale.h"
#include "util/clock.h"

namespace {

GpibDone failed(Answer& resp, GpibDone why) {
    strlcpy(resp, kDspErr, sizeof resp);
    return why;
}

} // namespace

GpibDone gpibExchange(const GpibAt& at, const char* cmd, const GpibStep& step, Answer& resp) {
    BusLock bus(busMutex);
    // Once the clean-up has begun only the off sequence talks to the
    // instruments.
    if (!step.late && busStopping.load() != 0) return failed(resp, GpibDone::Stopped);
    gpibReconnect();
    const int dev = static_cast<int>(at.dev);
    // A controller lost while it settled is closed: gpibPuts then fails.
    bool sent = gpibCtl[dev].stream != nullptr && gpibSettle(dev) && setDevAddr(at) != 0 &&
                (!step.command || gpibPuts(dev, cmd, step.value) >= 0);
    if (!sent) {
        // A pause is kept whatever became of its controller: a display whose
        // controllers are gone still takes its time per reading, instead of
        // spinning and filling the data log with rows of ERR.
        if (step.pauseMs > 0) clkSleepMs(step.pauseMs);
        return failed(resp, GpibDone::NotSent);
    }
    if (step.pauseMs > 0) clkSleepMs(step.pauseMs);
    if (step.readCmd) gpibSendRead(dev);
    switch (step.read) {
    case GpibRead::One:
        if (gpibRead(dev, resp, step.shift) != 0) return GpibDone::Answered;
        gpibFence(dev);
        return GpibDone::NoAnswer;
    case GpibRead::Drain:
        gpibDrain(dev, !step.late);
        return GpibDone::Sent;
    case GpibRead::None:
        break;
    }
    resp[0] = '\0';
    return GpibDone::Sent;
}
