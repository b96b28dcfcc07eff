#include "display/display.h"

#include <atomic>
#include <bsd/string.h>
#include <cstdio>
#include <cstring>
#include <pthread.h>

#include "bus/exchange.h"
#include "bus/port.h"
#include "bus/stale.h"
#include "config/records.h"
#include "display/answers.h"
#include "display/calc.h"
#include "display/datalog.h"
#include "display/guard.h"
#include "display/handshake.h"
#include "display/metrics.h"
#include "screen/layout.h"
#include "screen/screen.h"
#include "util/clock.h"
#include "util/result.h"

Answer dspAnswers[kMaxRecords];

namespace {

// The options of -f, -r and -u: set by the main thread before the display
// thread starts, read by that thread only after.
struct DspOptions {
    int force = 0;                       // purge the controllers before every pass
    int reset = 0;                       // purge them after a pass with a failed read
    timespec interval = {0, 900000000L}; // sleep after every turn of the loop
};
DspOptions dspOpts;

std::atomic<bool> started{false};
DspGuardHooks hooks;

constexpr long long kNsPerMs = 1000000LL;
constexpr long kStopWaitMs = 1000;
// Beyond its records' time-outs and pauses a pass also draws and logs.
constexpr long long kPassMarginNs = 2000 * kNsPerMs;

long long intervalNs() {
    return dspOpts.interval.tv_sec * 1000 * kNsPerMs + dspOpts.interval.tv_nsec;
}

long long longestPassNs() {
    long long ns = kPassMarginNs + intervalNs();
    for (const Reading& r : cfg().dsp)
        if (r.calc.op == 0) ns += (1 + cfg().ctl[r.at.dev].read.to) * kNsPerMs * 2;
    return ns;
}

constexpr long kShortPauseMs = 1;

// The mark's comment and the comments of the limits that act on the pass.
constexpr size_t kCommentSize = 1024;

struct DspState {
    timespec started = clkNow(); // of the last pass
    timespec due = started;      // of the next one
    int reset = 0;
    unsigned rows = 0;
    bool ended = false; // a limit ended the run: no pass after its own
    int acts = 0;       // limits that acted on the last pass
    // The row head, taken as the pass begins and written once the guard has
    // weighed the readings.
    tm when{};
    int mark = 0;
    char comment[kCommentSize] = "";
    int metricsErr = 0; // of the last pass
};

// The display reset of -f and -r: what both controllers have sent so far,
// buffered in the stream or in the kernel, is dropped, and a controller found
// sending is fenced, so no part of a line is left behind.
void dspPurge() {
    BusLock bus(busMutex);
    for (int dev = 0; dev < kControllers; dev++)
        if (gpibDiscard(dev)) gpibFence(dev);
}

void dspLogHead(DspState& st) {
    if (!logIsOpen()) return;
    time_t now = time(nullptr);
    localtime_r(&now, &st.when);
    st.mark = dspMarkTake(st.comment);
}

void dspLogRow(DspState& st) {
    if (!logIsOpen()) return;
    logRowHead(++st.rows, st.when, st.mark, st.comment);
    for (int i = 0; i < cfg().dsp.count; i++) logValue(dspAnswers[i]);
    logRowEnd();
}

// The limits that act on this pass: each says so in the row's comment; a
// command goes out at once; an off limit is returned, to end the run once
// the row is written and drawn.
int dspGuard(DspState& st) {
    int off = -1;
    st.acts = guardPass();
    int untold = 0;
    for (int i = 0; i < st.acts; i++) {
        int l = guardActed(i);
        char value[kLabelSize + kRespSize];
        guardValue(l, value, sizeof value);
        char part[sizeof value + 8] = "limit: ";
        strlcat(part, value, sizeof part);
        // A comment cut inside a value would misstate it: the limits past
        // the cell's room are counted instead.
        size_t len = strlen(st.comment);
        if (len + strlen(part) + 32 < sizeof st.comment) {
            if (len > 0) strlcat(st.comment, "; ", sizeof st.comment);
            strlcat(st.comment, part, sizeof st.comment);
        } else {
            untold++;
        }
        const char* with = nullptr;
        const DictCmd* cmd = guardCommand(l, &with);
        if (guardAction(l) == GuardDo::Command && hooks.command != nullptr)
            hooks.command(cmd, with);
        if (guardAction(l) == GuardDo::Off && off < 0) off = l;
    }
    if (untold > 0) {
        char more[32];
        snprintf(more, sizeof more, "; %d more limits", untold);
        strlcat(st.comment, more, sizeof st.comment);
    }
    return off;
}

const char* dspTag(const GuardRow& g, char* buf, size_t size) {
    switch (g.show) {
    case GuardShow::Within:
        return " [ok]";
    case GuardShow::Outside:
        snprintf(buf, size, " [out %d/%d]", g.counted, g.needed);
        return buf;
    case GuardShow::Tripped:
        return " [LIMIT]";
    case GuardShow::None:
        break;
    }
    return "";
}

// While the metrics file cannot be written the status row says so at every
// pass, so that neither a command's status nor a redraw hides it for long;
// the row is cleared once a write succeeds again.
const char* dspMetricsStatus(DspState& st, char* buf, size_t size) {
    bool was = st.metricsErr != 0;
    st.metricsErr = metricsError();
    if (st.metricsErr == 0) return was ? "" : nullptr;
    snprintf(buf, size, "Metrics file not written: %s", resultErrText(st.metricsErr));
    return buf;
}

void dspDraw(DspState& st) {
    scrReadingsBegin();
    for (uint32_t pos = 1; pos <= static_cast<uint32_t>(cfg().dsp.count); pos++) {
        const Reading& r = *cfg().dsp.pos(pos);
        if (r.row == 0) continue;
        GuardRow g = guardRow(pos);
        char tag[32];
        scrReading(r.row, r.label, dspAnswer(pos), dspTag(g, tag, sizeof tag), g.marked);
    }
    // Half a row at most: the path keeps the rest.
    char note[40] = "";
    if (logIsOpen()) logNote(note, sizeof note);
    char status[kLineWidth + 1];
    const char* shown = dspMetricsStatus(st, status, sizeof status);
    if (shown == nullptr && st.acts > 0) shown = guardLast();
    scrPass(gpibDspMark.load() != 0, note, shown, guardLast());
}

void dspPass(DspState& st) {
    timespec wall{};
    clock_gettime(CLOCK_REALTIME, &wall);
    if (st.reset != 0) dspPurge();
    dspLogHead(st);
    st.reset = dspOpts.force;
    for (int i = 0; i < cfg().dsp.count; i++) {
        const Reading& r = cfg().dsp.at[i];
        if (r.calc.op != 0) {
            gpibCalc(r.calc, dspAnswers[i]);
            continue;
        }
        GpibDone d = gpibExchange(r.at, r.cmd,
                                  {.pauseMs = kShortPauseMs,
                                   .readCmd = true,
                                   .read = GpibRead::One,
                                   .shift = static_cast<int>(r.rltx)},
                                  dspAnswers[i]);
        // The clean-up has the bus: the pass ends here, its row unfinished.
        if (d == GpibDone::Stopped) return;
        if (d != GpibDone::Answered) st.reset = dspOpts.reset;
    }
    int off = dspGuard(st);
    // The row goes to the file before the screen, which may be held up.
    dspLogRow(st);
    metricsPass(wall);
    dspDraw(st);
    st.comment[0] = '\0';
    if (off < 0 || hooks.off == nullptr) return;
    char what[2 * kLabelSize + 2 * kRespSize];
    guardDescribe(off, what, sizeof what);
    resultWhy({"limit: ", what});
    st.ended = true;
    hooks.off();
}

} // namespace

void dspConfigure(bool force, bool reset, long intervalMs) {
    dspOpts.force = force ? 1 : 0;
    dspOpts.reset = reset ? 1 : 0;
    dspOpts.interval.tv_sec = static_cast<time_t>(intervalMs / 1000);
    dspOpts.interval.tv_nsec = (intervalMs % 1000) * kNsPerMs;
}

void* gpibDsp(void* /*arg*/) {
    DspState st;
    for (;;) {
        if (!dspTurn()) {
            // A pause costs the display no pass: the next one comes one
            // interval after the last began, or at once.
            st.due = clkAddNs(st.started, intervalNs());
        } else {
            if (dspRedrawDue()) scrResized();
            if (clkDiffNs(clkNow(), st.due) <= 0 && !st.ended) {
                st.started = clkNow();
                dspPass(st);
                st.due = clkAddNs(clkNow(), intervalNs());
            }
        }
        dspSleepUntil(st.due);
    }
}

void dspGuardHooks(DspGuardHooks h) {
    hooks = h;
}

int dspStart() {
    guardStart();
    pthread_t tid;
    int rc = pthread_create(&tid, nullptr, gpibDsp, nullptr);
    if (rc == 0) started.store(true);
    return rc;
}

void dspStop() {
    dspRequestPause();
    clkSleepMs(kStopWaitMs);
    if (started.load()) dspAwaitAck(longestPassNs());
}
