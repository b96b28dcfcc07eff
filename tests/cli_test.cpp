#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

#include "display/display.h"
#include "main/cli.h"
#include "support/run.h"
#include "support/tempdir.h"

namespace {

// Usage, the configuration file main() picks without -c, and what is a flag.
TEST(Cli, ArgumentsOfTheRealBinary) {
    const std::string bin = QUORVEL_BIN;
    TempDir dir;
    RunResult usage = runProgram({bin});
    EXPECT_EQ(usage.exitCode, 1);
    EXPECT_EQ(usage.out, readFile(std::string(TEST_DATA) + "/cli/usage.out"));
    // Without -c: the invocation path plus ".conf".
    std::string bench = dir.file("bench");
    ASSERT_EQ(symlink(bin.c_str(), bench.c_str()), 0);
    dir.write("bench.conf", "off:2;8;FROM BENCH\n");
    EXPECT_NE(runProgram({bench, "-d"}).out.find("dev=2, adr=8, cmd=FROM BENCH\n"),
              std::string::npos);
    // An unknown flag is no flag but the device path.
    EXPECT_EQ(runProgram({bench, "-x"}).exitCode, 4);
}

TEST(Cli, Interval) {
    const struct {
        std::string arg;
        bool ok;
        time_t sec;
        long nsec;
    } cases[] = {{"-U1500", true, 1, 500000000L}, {"-u", true, 0, 0},
                 {"-u86400000", true, 86400, 0},  {"-u86400001", false, 0, 0},
                 {"-u-1", false, 0, 0},           {"-u99999999999999999999", false, 0, 0},
                 {"-u1000", true, 1, 0}};
    for (auto c : cases) {
        std::string prog = "quorvel", dev = "/dev/port";
        char* argv[] = {prog.data(), c.arg.data(), dev.data()};
        EXPECT_EQ(cliParse(3, argv), 2);
        ASSERT_EQ(cliInterval(), c.ok) << c.arg;
        if (!c.ok) continue;
        EXPECT_EQ(update_tm.tv_sec, c.sec) << c.arg;
        EXPECT_EQ(update_tm.tv_nsec, c.nsec) << c.arg;
    }
}

} // namespace
