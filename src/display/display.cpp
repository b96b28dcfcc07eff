#include "display/display.h"

#include <atomic>
#include <cstdio>
#include <pthread.h>

#include "bus/exchange.h"
#include "bus/port.h"
#include "bus/stale.h"
#include "config/records.h"
#include "display/calc.h"
#include "display/datalog.h"
#include "display/handshake.h"
#include "display/metrics.h"
#include "screen/layout.h"
#include "screen/screen.h"
#include "util/clock.h"
#include "util/result.h"

int flagDspForce;
int flagDspReset;
timespec update_tm = {0, 900000000L};

namespace {

std::atomic<bool> started{false};

constexpr long long kNsPerMs = 1000000LL;
constexpr long kStopWaitMs = 1000;
// Beyond its records' time-outs and pauses a pass also draws and logs.
constexpr long long kPassMarginNs = 2000 * kNsPerMs;

long long intervalNs() {
    return update_tm.tv_sec * 1000 * kNsPerMs + update_tm.tv_nsec;
}

long long longestPassNs() {
    long long ns = kPassMarginNs + intervalNs();
    for (const GpibRec* r = Index[kDspHead]; r != nullptr; r = r->next)
        if (r->op == 0) ns += (1 + Read_gpib[r->dev].num) * kNsPerMs * 2;
    return ns;
}

constexpr long kShortPauseMs = 1;

struct DspState {
    timespec started = clkNow(); // of the last pass
    timespec due = started;      // of the next one
    int reset = 0;
    unsigned rows = 0;
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
    tm local{};
    localtime_r(&now, &local);
    char comment[kMarkTextSize];
    int mark = dspMarkTake(comment);
    logRowHead(++st.rows, local, mark, comment);
}

void dspLogRow() {
    if (!logIsOpen()) return;
    for (const GpibRec* r = Index[kDspHead]; r != nullptr; r = r->next) logValue(r->resp);
    logRowEnd();
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
    for (const GpibRec* r = Index[kDspHead]; r != nullptr; r = r->next)
        if (r->num != 0) scrReading(r->num, r->label, r->resp);
    // Half a row at most: the path keeps the rest.
    char note[40] = "";
    if (logIsOpen()) logNote(note, sizeof note);
    char status[kLineWidth + 1];
    scrPass(gpibDspMark.load() != 0, note, dspMetricsStatus(st, status, sizeof status));
}

void dspPass(DspState& st) {
    timespec wall{};
    clock_gettime(CLOCK_REALTIME, &wall);
    if (st.reset != 0) dspPurge();
    dspLogHead(st);
    st.reset = flagDspForce;
    for (GpibRec* r = Index[kDspHead]; r != nullptr; r = r->next) {
        if (r->op != 0) {
            gpibCalc(r);
            continue;
        }
        GpibDone d = gpibExchange(r, {.pauseMs = kShortPauseMs,
                                      .readCmd = true,
                                      .read = GpibRead::One,
                                      .shift = static_cast<int>(r->flag)});
        // The clean-up has the bus: the pass ends here, its row unfinished.
        if (d == GpibDone::Stopped) return;
        if (d != GpibDone::Answered) st.reset = flagDspReset;
    }
    // The row goes to the file before the screen, which may be held up.
    dspLogRow();
    metricsPass(wall);
    dspDraw(st);
}

} // namespace

void dspConfigure(bool force, bool reset, long intervalMs) {
    flagDspForce = force ? 1 : 0;
    flagDspReset = reset ? 1 : 0;
    update_tm.tv_sec = static_cast<time_t>(intervalMs / 1000);
    update_tm.tv_nsec = (intervalMs % 1000) * kNsPerMs;
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
            if (clkDiffNs(clkNow(), st.due) <= 0) {
                st.started = clkNow();
                dspPass(st);
                st.due = clkAddNs(clkNow(), intervalNs());
            }
        }
        dspSleepUntil(st.due);
    }
}

int dspStart() {
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
