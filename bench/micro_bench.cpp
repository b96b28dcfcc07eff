// In-process costs of single functions of the display pass: collecting an
// answer that is already waiting on the stream, a calculated reading, and
// the guard's weighing of a pass.
#include <benchmark/benchmark.h>
#include <bsd/string.h>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "bus/port.h"
#include "bus/reader.h"
#include "config/records.h"
#include "display/answers.h"
#include "display/calc.h"
#include "display/guard.h"

namespace {

constexpr char kAnswer[] = "+5.000123E+00\n";
constexpr char kShifted[] = "VOLT +5.000123E+00\n";

// The stream is the pipe's: it is let go, not closed.
void clearStores() {
    cfgClear();
    gpibCtl[0] = GpibCtl{};
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

// Controller 1 reads from fp.
void reading(FILE* fp, int timeoutMs) {
    clearStores();
    cfgStore.ctl[0].read.to = timeoutMs;
    gpibCtl[0].stream = fp;
}

void readOne(benchmark::State& state, const char* text, int shift) {
    PipeController c;
    if (c.rd == nullptr) {
        state.SkipWithError("no pipe");
        return;
    }
    reading(c.rd, 200);
    Answer resp;
    for (auto _ : state) {
        state.PauseTiming();
        bool written = c.answer(text);
        state.ResumeTiming();
        if (!written || gpibRead(0, resp, shift) == 0) {
            state.SkipWithError("no answer read");
            break;
        }
        benchmark::DoNotOptimize(resp);
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
    reading(c.rd, 200);
    Answer resp;
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
        if (gpibRead(0, resp, 0) == 0) {
            state.SkipWithError("no answer read");
            break;
        }
        benchmark::DoNotOptimize(resp);
    }
    clearStores();
}
BENCHMARK(BM_gpibReadBuffered);

// A "$calc$" reading: reading 1 times reading 2 with three decimals, the
// operands parsed from their responses.
void BM_gpibCalc(benchmark::State& state) {
    clearStores();
    cfgStore.dsp.count = 3;
    strlcpy(dspAnswers[0], "+5.000123E+00", sizeof dspAnswers[0]);
    strlcpy(dspAnswers[1], "+1.000456E-01", sizeof dspAnswers[1]);
    const Calc power{3, {1, 0}, {2, 0}, 3};
    for (auto _ : state) {
        gpibCalc(power, dspAnswers[2]);
        benchmark::DoNotOptimize(dspAnswers[2]);
    }
    clearStores();
}
BENCHMARK(BM_gpibCalc);

// The guard over one pass of 32 readings, each under state.range(0) limits
// that never act; the figure per reading is the time over 32.
void BM_guardPass(benchmark::State& state) {
    clearStores();
    constexpr int kReadings = 32;
    cfgStore.dsp.count = kReadings;
    for (int i = 0; i < kReadings; i++) {
        strlcpy(dspAnswers[i], "+5.000123E+00", sizeof dspAnswers[i]);
        for (int k = 0; k < state.range(0); k++) {
            Limit& l = cfgStore.lim.at[cfgStore.lim.count++];
            l = Limit{static_cast<uint32_t>(i + 1), "-1e9", "1e9", 1 + k, "mark", 0};
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
