#include <gtest/gtest.h>
#include <regex>
#include <string>
#include <unistd.h>

#include "display/display.h"
#include "main/cli.h"
#include "support/run.h"
#include "support/tempdir.h"

namespace {

const std::string kBin = QUORVEL_BIN;
const char* kGoodConf = "off:1;5;OUTP OFF\n";

// The one error line of the final report, for result message msg.
void expectError(const RunResult& r, int code, const std::string& msg) {
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, code) << r.err;
    std::regex line("\nquorvel:  " + msg + ", errno=-?[0-9]+\\.");
    EXPECT_TRUE(std::regex_match(r.err, line)) << "stderr: [" << r.err << "]";
    EXPECT_EQ(r.out, "\n\n");
}

class Cli : public ::testing::Test {
  protected:
    TempDir dir;
    std::string good = dir.write("good.conf", kGoodConf);
};

TEST_F(Cli, NoArgumentsPrintsUsage) {
    RunResult r = runProgram({kBin});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, readFile(std::string(TEST_DATA) + "/cli/usage.out"));
}

TEST_F(Cli, FlagsWithoutDevice) {
    expectError(runProgram({kBin, "-c" + good}), 2, "bad or missing arguments");
    expectError(runProgram({kBin, "-C" + good, "-u100", "-f"}), 2, "bad or missing arguments");
}

TEST_F(Cli, DumpNeedsNoDevice) {
    RunResult r = runProgram({kBin, "-c" + good, "-D"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find("dev=1, adr=5, cmd=OUTP OFF\n"), std::string::npos);
    EXPECT_TRUE(r.out.ends_with("max=500\n\n\n"));
}

TEST_F(Cli, MissingOrBadConfigFile) {
    const std::string msg = "problem with config file";
    expectError(runProgram({kBin, "-c" + dir.file("none.conf"), "/dev/null"}), 3, msg);
    std::string bad = dir.write("bad.conf", "off:1;5;ok\nread:3;0;++read;10\n");
    expectError(runProgram({kBin, "-d", "-c" + bad}), 3, msg);
    expectError(runProgram({kBin, "-C" + bad, "/dev/null"}), 3, msg);
    // "-c path": the flag's own value is empty; the path is taken as a device.
    expectError(runProgram({kBin, "-c", good}), 3, msg);
}

TEST_F(Cli, PathAfterDashCIsUsedAsWritten) {
    dir.write("plain", kGoodConf);
    EXPECT_EQ(runProgram({kBin, "-d", "-c" + dir.file("plain")}).exitCode, 0);
    // good.conf exists, but "-c<dir>/good" does not name it.
    expectError(runProgram({kBin, "-d", "-c" + dir.file("good")}), 3, "problem with config file");
}

TEST_F(Cli, DefaultConfigIsInvocationPathPlusConf) {
    std::string bench = dir.file("bench");
    ASSERT_EQ(symlink(kBin.c_str(), bench.c_str()), 0);
    expectError(runProgram({bench, "-d"}), 3, "problem with config file");
    dir.write("bench.conf", "off:2;8;FROM BENCH\n");
    RunResult r = runProgram({bench, "-d"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("dev=2, adr=8, cmd=FROM BENCH\n"), std::string::npos);

    // A flag after the device path: the device is looked for after the flag.
    expectError(runProgram({bench, dir.file("no-such-port"), "-u100"}), 2,
                "bad or missing arguments");
    // An unknown flag is no flag: "-x" is the device path.
    expectError(runProgram({bench, "-x"}), 4, "can't open device");
}

TEST(CliParse, IntervalAndFirstDevice) {
    std::string prog = "quorvel", u = "-U1500", dev = "/dev/port";
    char* argv[] = {prog.data(), u.data(), dev.data()};
    EXPECT_EQ(cliParse(3, argv), 2);
    EXPECT_TRUE(cliGiven(kFlagUpdate));
    EXPECT_STREQ(cliValue(kFlagUpdate), "1500");
    cliInterval();
    EXPECT_EQ(update_tm.tv_sec, 1);
    EXPECT_EQ(update_tm.tv_nsec, 500000000L);

    std::string bare = "-u";
    char* argv2[] = {prog.data(), bare.data()};
    EXPECT_EQ(cliParse(2, argv2), 2);
    cliInterval();
    EXPECT_EQ(update_tm.tv_sec, 0);
    EXPECT_EQ(update_tm.tv_nsec, 0L);
}

} // namespace
