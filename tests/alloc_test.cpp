// Nothing is allocated while quorvel runs: the real binary, with a heap-call
// counter preloaded, polls the simulated controller without pause, logs every
// pass and serves console commands; its count must not move once the first
// passes and commands are done.
#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <thread>

#include "sim.h"
#include "support/child.h"
#include "support/tempdir.h"

namespace {

using namespace std::chrono_literals;

// Two instruments, so that every pass changes the address twice, and a
// calculated reading, so that its formatting runs too.
constexpr const char* kConf = "addr:1;0;++addr\n"
                              "read:1;0;++read eoi;200\n"
                              "cfg:1;5;iget;CURR?;0;1;supply current limit\n"
                              "cfg:1;5;vset;VOLT ;1;0;set supply volts\n"
                              "dsp:1;22;V: ;MEAS:VOLT?;3;0\n"
                              "dsp:1;5;Set: ;VOLT?;5;0\n"
                              "dsp:1;0;W: ;$calc$;6;0;*;1;2;3\n";

bool eventually(const std::function<bool()>& cond) {
    for (auto until = std::chrono::steady_clock::now() + 30s;
         std::chrono::steady_clock::now() < until; std::this_thread::sleep_for(10ms))
        if (cond()) return true;
    return false;
}

TEST(Alloc, NothingIsAllocatedAfterTheFirstPassesAndCommands) {
#if !defined(ALLOC_COUNT_LIB)
    GTEST_SKIP() << "a sanitizer build interposes the heap functions itself";
#else
    TempDir dir;
    qsim::Controller sim;
    ASSERT_TRUE(sim.start());
    std::string count = dir.file("count"), data = dir.file("data.csv");
    // The screen goes to /dev/null: nothing here looks at it.
    Child q({"/bin/sh", "-c", "exec \"$@\" >/dev/null", "sh", "/usr/bin/env",
             std::string("LD_PRELOAD=") + ALLOC_COUNT_LIB, "QUORVEL_ALLOC_COUNT_FILE=" + count,
             QUORVEL_BIN, "-c" + dir.write("alloc.conf", kConf), "-u0", "-l" + data,
             "-g" + dir.file("cmd.csv"), sim.path()});
    auto heard = [&](const std::string& line) {
        auto l = sim.lines();
        return std::count(l.begin(), l.end(), line);
    };
    auto calls = [&] {
        unsigned long n = 0;
        std::ifstream(count).read(reinterpret_cast<char*>(&n), sizeof n);
        return n;
    };
    // Every kind of console command once (the mark, last, shows in the data
    // log when they are done), then a number of passes.
    auto round = [&](const std::string& mark, long passes) {
        q.type("bogus\nhelp\n\ncls\niget\nvset 1.5\nmark " + mark + "\n");
        ASSERT_TRUE(eventually(
            [&] { return readFile(data).find("\"" + mark + "\"") != std::string::npos; }));
        long meas = heard("MEAS:VOLT?");
        ASSERT_TRUE(eventually([&] { return heard("MEAS:VOLT?") >= meas + passes; }));
    };
    // The first round may allocate: stream buffers made at their first use,
    // the time zone loaded at the first time stamp.
    round("x", 3);
    unsigned long before = calls();
    EXPECT_GT(before, 0U) << "the counter counts nothing";
    round("y", 50);
    EXPECT_EQ(calls(), before) << "heap calls while running";
    q.type("quit\n");
    EXPECT_EQ(q.wait(30s), 0) << q.err();
#endif
}

} // namespace
