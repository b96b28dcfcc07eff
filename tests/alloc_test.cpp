// Nothing is allocated while quorvel runs: the real binary, with a heap-call
// counter preloaded, polls without pause, logs every pass and serves every
// kind of console command; its count must not move once the first passes and
// commands are done (they may allocate: stream buffers made at first use, the
// time zone loaded at the first time stamp).
#include <fstream>

#include "support/scenario.h"

namespace {

// The commands, then passes; the mark, last, shows in the data log when done.
Step round(const std::string& mark, int passes) {
    return [=](Run& r) {
        r.type("bogus\nhelp\n\ncls\niget\nvset 1.5\nmark " + mark + "\n");
        ASSERT_TRUE(r.waitFor(
            [&] { return readFile(r.file("data.csv")).find(mark) != std::string::npos; }));
        int meas = r.count("MEAS:VOLT?");
        ASSERT_TRUE(r.waitFor([&] { return r.count("MEAS:VOLT?") >= meas + passes; }));
    };
}

unsigned long calls(const Run& r) {
    unsigned long n = 0;
    std::ifstream(r.file("count")).read(reinterpret_cast<char*>(&n), sizeof n);
    return n;
}

TEST(Alloc, NothingIsAllocatedAfterTheFirstPassesAndCommands) {
#if !defined(ALLOC_COUNT_LIB)
    GTEST_SKIP() << "a sanitizer build interposes the heap functions itself";
#else
    unsigned long before = 0;
    // Two instruments, so that every pass changes the address twice, and a
    // calculated reading, so that its formatting runs too.
    play({.name = "alloc",
          .config = "cfg:1;5;iget;CURR?;0;1;supply current limit\n"
                    "cfg:1;5;vset;VOLT ;1;0;set supply volts\ndsp:1;22;V: ;MEAS:VOLT?;3;0\n"
                    "dsp:1;5;Set: ;VOLT?;5;0\ndsp:1;0;W: ;$calc$;6;0;*;1;2;3\n",
          .flags = {"-u0", "-l{dir}/data.csv", "-g{dir}/cmd.csv"},
          .steps = {round("first", 3), [&](::Run& r) { EXPECT_GT(before = calls(r), 0U); },
                    round("second", 50),
                    [&](::Run& r) { EXPECT_EQ(calls(r), before) << "heap calls while running"; },
                    type("quit\n")},
          .pipes = true,
          .prefix = {"/usr/bin/env", "LD_PRELOAD=" ALLOC_COUNT_LIB,
                     "QUORVEL_ALLOC_COUNT_FILE={dir}/count"}});
#endif
}

} // namespace
