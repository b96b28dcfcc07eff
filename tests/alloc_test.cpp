// Nothing is allocated while quorvel runs: with a heap-call counter preloaded
// it polls without pause, logs and serves every kind of command. The first
// round may allocate (buffers at first use, the time zone); the second not.
#include <fstream>

#include "support/scenario.h"

#if defined(ALLOC_COUNT_LIB)
// The commands (done when the mark shows in the data log), passes, the count.
static Step round(const std::string& mark, int passes, unsigned long* calls) {
    return [=](Run& r) {
        r.type("bogus\nhelp\n\ncls\niget\nvset 1.5\nmark " + mark + "\n");
        ASSERT_TRUE(r.waitFor(
            [&] { return readFile(r.file("data.csv")).find(mark) != std::string::npos; }));
        int meas = r.count("MEAS:VOLT?");
        ASSERT_TRUE(r.waitFor([&] { return r.count("MEAS:VOLT?") >= meas + passes; }));
        std::ifstream(r.file("count")).read(reinterpret_cast<char*>(calls), sizeof *calls);
    };
}
#endif

TEST(Alloc, NothingIsAllocatedAfterTheFirstPassesAndCommands) {
#if !defined(ALLOC_COUNT_LIB)
    GTEST_SKIP() << "a sanitizer build interposes the heap functions itself";
#else
    unsigned long first = 0, second = 0;
    // Every pass changes the address twice and formats a calculated reading.
    play({.name = "alloc",
          .config = "cfg:1;5;iget;CURR?;0;1;supply current limit\n"
                    "cfg:1;5;vset;VOLT ;1;0;set supply volts\ndsp:1;22;V: ;MEAS:VOLT?;3;0\n"
                    "dsp:1;5;Set: ;VOLT?;5;0\ndsp:1;0;W: ;$calc$;6;0;*;1;2;3\n",
          .flags = {"-u0", "-l{dir}/data.csv", "-g{dir}/cmd.csv", "-m{dir}/q.prom"},
          // The metrics file is written again a second after the first.
          .steps = {round("first", 3, &first), pause(1100), round("second", 50, &second),
                    type("quit\n")},
          .pipes = true,
          .prefix = {"/usr/bin/env", "LD_PRELOAD=" ALLOC_COUNT_LIB,
                     "QUORVEL_ALLOC_COUNT_FILE={dir}/count"}});
    EXPECT_GT(first, 0U) << "the counter counts nothing";
    EXPECT_EQ(second, first) << "heap calls while running";
#endif
}
