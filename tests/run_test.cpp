// The whole program's start-up order, clean-up and termination signals: the
// real binary against the simulated controller.
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "sim.h"
#include "support/child.h"
#include "support/logged_run.h"
#include "support/tempdir.h"

namespace {

using namespace std::chrono_literals;

constexpr const char* kConf = "addr:1;0;++addr\n"
                              "read:1;0;++read eoi;100\n"
                              "init:1;22;*IDN?;QUORVEL-SIM,DMM,0,1.0\n"
                              "cfg:1;5;vget;VOLT?;0;1;supply volts\n"
                              "dsp:1;22;V: ;MEAS:VOLT?;5;0\n"
                              "off:1;5;OUTP OFF\n";

class RunTest : public ::testing::Test {
  protected:
    qsim::Controller sim;
    TempDir tmp;
    std::string dir = tmp.path();
    std::string conf;

    void SetUp() override {
        conf = dir + "/test.conf";
        std::ofstream(conf) << kConf;
        ASSERT_TRUE(sim.start());
    }

    std::vector<std::string> args(std::vector<std::string> extra) {
        std::vector<std::string> a{QUORVEL_BIN, "-c" + conf, "-u50"};
        a.insert(a.end(), extra.begin(), extra.end());
        return a;
    }
};

TEST_F(RunTest, QuitRunsTheOffSequenceAndExitsCleanly) {
    Child q(args({sim.path()}));
    ASSERT_TRUE(sim.waitForLine("MEAS:VOLT?", 20s));
    q.type("quit\n");
    ASSERT_EQ(q.wait(30s), 0);
    EXPECT_EQ(wireCount(sim, "OUTP OFF"), 1);
    EXPECT_EQ(q.err(), "");
    EXPECT_TRUE(q.out().ends_with("\n\n"));
}

TEST_F(RunTest, EndOfInputEndsTheRunAsQuitDoes) {
    Child q(args({sim.path()}));
    ASSERT_TRUE(sim.waitForLine("MEAS:VOLT?", 20s));
    q.closeInput();
    ASSERT_EQ(q.wait(30s), 0);
    EXPECT_EQ(wireCount(sim, "OUTP OFF"), 1);
    EXPECT_EQ(q.out().find("Invalid command"), std::string::npos);
}

TEST_F(RunTest, AnUnopenableSecondControllerEndsWithFourAndSendsNothing) {
    Child q(args({sim.path(), dir + "/missing"}));
    ASSERT_EQ(q.wait(30s), 4);
    EXPECT_TRUE(sim.lines().empty());
    EXPECT_NE(q.err().find("\nquorvel:  can't open device, errno="), std::string::npos);
}

TEST_F(RunTest, LogsThatCannotBeCreatedStopTheStartBeforeAnyController) {
    {
        Child q(args({"-l" + dir + "/no/such/dir/data.csv", sim.path()}));
        EXPECT_EQ(q.wait(30s), 9);
        EXPECT_NE(q.err().find("data log file error"), std::string::npos);
    }
    {
        Child q(args({"-l/dev/full", sim.path()}));
        EXPECT_EQ(q.wait(30s), 9);
    }
    {
        Child q(args({"-g" + dir + "/no/such/dir/cmd.csv", sim.path()}));
        EXPECT_EQ(q.wait(30s), 10);
        EXPECT_NE(q.err().find("Cfg (command) log file error"), std::string::npos);
    }
    EXPECT_TRUE(sim.lines().empty());
}

// Refused starts: the result and its message, nothing on the wire, and the
// files around (an earlier data log, the configuration) as they were.
struct Refusal {
    const char* name;
    std::vector<std::string> args; // {dev}, {link}, {longdev}, {dir} stand for paths
    int code;
    const char* msg;
    std::vector<std::string> prefix = {};
};

class RefusalTest : public RunTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(RefusalTest, NothingIsWrittenAnywhere) {
    const Refusal& c = GetParam();
#ifdef __SANITIZE_THREAD__
    // The thread sanitizer's runtime writes a file before main: no start at all.
    if (!c.prefix.empty()) GTEST_SKIP() << "no thread-sanitized start under a size limit";
#endif
    std::string old = tmp.write("old.csv", "old,data\n");
    tmp.write("nul.conf", std::string("# a\0b\n", 6) + kConf);
    std::string link = tmp.file("ctl-link");
    ASSERT_EQ(symlink(sim.path().c_str(), link.c_str()), 0);
    // The real path padded with "/." past 255 bytes: it still opens.
    std::string longdev = "/dev";
    for (int i = 0; i < 140; i++) longdev += "/.";
    longdev += sim.path().substr(4);
    std::vector<std::string> a = c.prefix;
    for (const std::string& s : args(c.args)) {
        std::string arg = s;
        for (auto [key, val] : {std::pair<std::string, std::string>{"{dev}", sim.path()},
                                {"{link}", link},
                                {"{longdev}", longdev},
                                {"{dir}", dir}})
            if (size_t at = arg.find(key); at != std::string::npos)
                arg.replace(at, key.size(), val);
        a.push_back(arg);
    }
    Child q(a);
    std::optional<int> code = q.wait(8s);
    ASSERT_TRUE(code.has_value()) << "still running";
    EXPECT_EQ(*code, c.code) << q.err();
    EXPECT_NE(q.err().find("\nquorvel:  " + std::string(c.msg) + ", errno="), std::string::npos)
        << q.err();
    EXPECT_TRUE(sim.lines().empty());
    EXPECT_EQ(readFile(old), "old,data\n");
    EXPECT_EQ(readFile(conf), kConf);
}

const char* const kArgs = "bad or missing arguments";
const char* const kDevice = "can't open device";
const char* const kData = "data log file error";
const char* const kCmd = "Cfg (command) log file error";
const char* const kConfig = "problem with config file";
const std::vector<std::string> kNoFiles = {"/usr/bin/prlimit", "--fsize=0:0"};
const std::vector<std::string> kNoFilesShell = {"/bin/sh", "-c", "ulimit -f 0 && exec \"$@\"",
                                                "sh"};

INSTANTIATE_TEST_SUITE_P(
    Starts, RefusalTest,
    ::testing::Values(
        Refusal{"FlagAfterDevice", {"-l{dir}/old.csv", "{dev}", "-f"}, 2, kArgs},
        Refusal{"MissingDevice", {"-l{dir}/old.csv", "{dir}/missing"}, 4, kDevice},
        Refusal{"DevicePathPast255Bytes", {"{longdev}"}, 4, kDevice},
        Refusal{"LogsInOneFile", {"-l{dir}/old.csv", "-g{dir}/old.csv", "{dev}"}, 10, kCmd},
        Refusal{"LogsInOneFileSpeltTwoWays",
                {"-l{dir}/old.csv", "-g{dir}/./old.csv", "{dev}"},
                10,
                kCmd},
        Refusal{"DataLogOnTheDevice", {"-l{dev}", "{dev}"}, 9, kData},
        Refusal{"DataLogOnALinkToTheDevice", {"-l{link}", "{dev}"}, 9, kData},
        Refusal{"CmdLogOnTheDevice", {"-g{link}", "{dev}"}, 10, kCmd},
        Refusal{"DataLogOnTheConfiguration", {"-l{dir}/test.conf", "{dev}"}, 9, kData},
        Refusal{"DataLogBeyondAZeroSizeLimit", {"-l{dir}/new.csv", "{dev}"}, 9, kData, kNoFiles},
        Refusal{
            "CmdLogBeyondAZeroSizeLimit", {"-g{dir}/new.csv", "{dev}"}, 10, kCmd, kNoFilesShell},
        Refusal{"NegativeInterval", {"-u-1", "{dev}"}, 2, kArgs},
        Refusal{"IntervalPastADay", {"-u86400001", "{dev}"}, 2, kArgs},
        Refusal{"IntervalPastLong", {"-u9223372036854775807", "{dev}"}, 2, kArgs},
        Refusal{"EndlessConfiguration", {"-c/dev/zero", "{dev}"}, 3, kConfig},
        Refusal{"ConfigurationWithNul", {"-c{dir}/nul.conf", "{dev}"}, 3, kConfig}),
    [](const auto& info) { return std::string(info.param.name); });

// A signal while the init sequence waits for its answer ends the run there,
// before the screen and the display. However short the read time-out, the
// instrument is asked at most about a hundred times a second.
class InitWaitTest : public RunTest, public ::testing::WithParamInterface<int> {};

TEST_P(InitWaitTest, ASignalEndsTheRunBeforeTheScreen) {
    std::string c = kConf;
    c.replace(c.find("eoi;100"), 7, "eoi;" + std::to_string(GetParam()));
    std::ofstream(conf) << c;
    sim.setFault(22, qsim::Fault::Silent);
    Child q(args({sim.path()}));
    ASSERT_TRUE(sim.waitForLine("*IDN?", 20s));
    std::this_thread::sleep_for(2s);
    EXPECT_LE(wireCount(sim, "*IDN?"), 300);
    q.signal(SIGTERM);
    ASSERT_EQ(q.wait(30s), 8);
    EXPECT_EQ(q.err(), "\nquorvel terminating on signal 15.\n");
    EXPECT_EQ(wireCount(sim, "OUTP OFF"), 1);
    EXPECT_EQ(wireCount(sim, "MEAS:VOLT?"), 0);
    EXPECT_EQ(q.out().find("Mark:"), std::string::npos) << q.out();
    EXPECT_EQ(q.out().find("Quorvel,"), std::string::npos) << q.out();
}

INSTANTIATE_TEST_SUITE_P(ReadTimeOut, InitWaitTest, ::testing::Values(100, 0));

// A long interval between passes does not hold up the end of the run.
struct EndCase {
    const char* name;
    const char* interval;
    int sig; // 0: quit
    int code;
};

class PromptEndTest : public RunTest, public ::testing::WithParamInterface<EndCase> {};

TEST_P(PromptEndTest, TheRunEndsWithinSeconds) {
    const EndCase& c = GetParam();
    Child q({QUORVEL_BIN, "-c" + conf, c.interval, sim.path()});
    ASSERT_TRUE(sim.waitForLine("MEAS:VOLT?", 20s));
    std::this_thread::sleep_for(300ms);
    auto start = std::chrono::steady_clock::now();
    if (c.sig != 0)
        q.signal(c.sig);
    else
        q.type("quit\n");
    EXPECT_EQ(q.wait(20s), c.code);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 6s);
    EXPECT_EQ(wireCount(sim, "OUTP OFF"), 1);
}

INSTANTIATE_TEST_SUITE_P(Intervals, PromptEndTest,
                         ::testing::Values(EndCase{"Quit", "-u30000", 0, 0},
                                           EndCase{"Term", "-u30000", SIGTERM, 8},
                                           EndCase{"QuitADayApart", "-u86400000", 0, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(RunTest, ASecondSignalDoesNotStartASecondCleanUp) {
    Child q(args({"-l" + dir + "/data.csv", sim.path()}));
    ASSERT_TRUE(sim.waitForLine("MEAS:VOLT?", 20s));
    q.signal(SIGINT);
    std::this_thread::sleep_for(200ms);
    q.signal(SIGQUIT);
    q.signal(SIGHUP);
    ASSERT_EQ(q.wait(30s), 8);
    EXPECT_EQ(q.err(), "\nquorvel terminating on signal 2.\n");
    EXPECT_EQ(wireCount(sim, "OUTP OFF"), 1);
    // Every finished row is in the closed log.
    std::string log = readFile(dir + "/data.csv");
    EXPECT_EQ(log.rfind("Record,Date,Time,Mark,Comment,V: \n1,", 0), 0U) << log;
}

} // namespace
