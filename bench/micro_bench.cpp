// In-process costs of single functions of the display pass: collecting an
// answer that is already waiting on the stream, a calculated reading, and
// the guard's weighing of a pass.
#include <benchmark/benchmark.h>
#include <bsd/string.h>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "bus/reader.h"
#include "config/records.h"
#include "display/calc.h"
#include "display/guard.h"

namespace {

constexpr char kAnswer[] = "+5.000123E+00\n";
constexpr char kShifted[] = "VOLT +5.000123E+00\n";

void clearStores() {
    for (GpibRec& r : Dict) r = GpibRec{};
    for (GpibRec& r : Read_gpib) r = GpibRec{};
    for (GpibRec*& head : Index) head = nullptr;
}

// A controller stream whose far side is a pipe: the benchmark writes each
// answer before the timed read, as a controller that answered already.
struct PipeController {
    int wr = -1;
    FILE* rd = nullptr;

    PipeController() {
        int fds[2];
        if (pipe2(fds, O_NONBLOCK | O_CLOEXEC) != 0) return;
        wr = fds[1];
        rd = fdopen(fds[0], "r");
    }
    ~PipeController() {
        if (rd != nullptr) fclose(rd);
        if (wr >= 0) close(wr);
    }
    bool answer(const char* text) const {
        auto len = static_cast<ssize_t>(strlen(text));
        return write(wr, text, static_cast<size_t>(len)) == len;
    }
};

GpibRec* reading(FILE* fp, int timeoutMs) {
    clearStores();
    Read_gpib[0].num = timeoutMs;
    GpibRec* r = &Dict[0];
    r->file = fp;
    strlcpy(r->cmd, "MEAS:VOLT?", sizeof r->cmd);
    cfgAppend(kDspHead, r);
    return r;
}

void readOne(benchmark::State& state, const char* text, int shift) {
    PipeController c;
    if (c.rd == nullptr) {
        state.SkipWithError("no pipe");
        return;
    }
    GpibRec* r = reading(c.rd, 200);
    for (auto _ : state) {
        state.PauseTiming();
        bool written = c.answer(text);
        state.ResumeTiming();
        if (!written || gpibRead(r, shift) == 0) {
            state.SkipWithError("no answer read");
            break;
        }
        benchmark::DoNotOptimize(r->resp);
    }
    clearStores();
}

void BM_gpibRead(benchmark::State& state) {
    readOne(state, kAnswer, 0);
}
BENCHMARK(BM_gpibRead);

// With the shift flag: the first word of the answer is dropped.
void BM_gpibReadShift(benchmark::State& state) {
    readOne(state, kShifted, 1);
}
BENCHMARK(BM_gpibReadShift);

// Several answers in one write: all but the first come from the stream's
// buffer without a system call.
void BM_gpibReadBuffered(benchmark::State& state) {
    PipeController c;
    if (c.rd == nullptr) {
        state.SkipWithError("no pipe");
        return;
    }
    GpibRec* r = reading(c.rd, 200);
    constexpr int kBatch = 64;
    char batch[sizeof kAnswer * kBatch] = {};
    for (int i = 0; i < kBatch; i++) strlcat(batch, kAnswer, sizeof batch);
    int left = 0;
    for (auto _ : state) {
        if (left == 0) {
            state.PauseTiming();
            bool written = c.answer(batch);
            state.ResumeTiming();
            if (!written) {
                state.SkipWithError("pipe full");
                break;
            }
            left = kBatch;
        }
        left--;
        if (gpibRead(r, 0) == 0) {
            state.SkipWithError("no answer read");
            break;
        }
        benchmark::DoNotOptimize(r->resp);
    }
    clearStores();
}
BENCHMARK(BM_gpibReadBuffered);

// A "$calc$" reading: reading 1 times reading 2 with three decimals, the
// operands parsed from their responses.
void BM_gpibCalc(benchmark::State& state) {
    clearStores();
    GpibRec* volts = &Dict[0];
    GpibRec* amps = &Dict[1];
    GpibRec* power = &Dict[2];
    strlcpy(volts->resp, "+5.000123E+00", sizeof volts->resp);
    strlcpy(amps->resp, "+1.000456E-01", sizeof amps->resp);
    power->op = 3;
    power->f1 = 1;
    power->f2 = 2;
    power->precision = 3;
    for (GpibRec* r : {volts, amps, power}) cfgAppend(kDspHead, r);
    for (auto _ : state) {
        gpibCalc(power);
        benchmark::DoNotOptimize(power->resp);
    }
    clearStores();
}
BENCHMARK(BM_gpibCalc);

// The guard over one pass of 32 readings, each under state.range(0) limits
// that never act; the figure per reading is the time over 32.
void BM_guardPass(benchmark::State& state) {
    clearStores();
    constexpr int kReadings = 32;
    int used = 0;
    for (int i = 0; i < kReadings; i++) {
        GpibRec* r = &Dict[used++];
        strlcpy(r->resp, "+5.000123E+00", sizeof r->resp);
        cfgAppend(kDspHead, r);
        for (int k = 0; k < state.range(0); k++) {
            GpibRec* l = &Dict[used++];
            l->f1 = static_cast<uint32_t>(i + 1);
            l->num = 1 + k;
            strlcpy(l->label, "-1e9", sizeof l->label);
            strlcpy(l->text, "1e9", sizeof l->text);
            strlcpy(l->cmd, "mark", sizeof l->cmd);
            cfgAppend(kLimHead, l);
        }
    }
    guardStart();
    for (auto _ : state) benchmark::DoNotOptimize(guardPass());
    state.counters["s_per_reading"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kReadings,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    clearStores();
}
BENCHMARK(BM_guardPass)->Arg(0)->Arg(1)->Arg(4);

} // namespace

BENCHMARK_MAIN();
