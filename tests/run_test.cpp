// The whole program's start-up order, clean-up and termination signals: the
// real binary against the simulated controller.
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <thread>
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
    auto start = std::chrono::steady_clock::now();
    Child q(args({sim.path(), dir + "/missing"}));
    ASSERT_EQ(q.wait(30s), 4);
    // The records were never bound: the off sequence only spends its waits.
    EXPECT_GE(std::chrono::steady_clock::now() - start, 1s);
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

TEST_F(RunTest, AHeaderOnlyDataLogRemainsAfterAStartUpFailure) {
    std::string log = dir + "/data.csv";
    Child q(args({"-l" + log}));
    EXPECT_EQ(q.wait(30s), 2);
    EXPECT_EQ(readFile(log), "Record,Date,Time,Mark,Comment,V: ");
}

TEST_F(RunTest, ASignalDuringANeverEndingInitWaitCleansUpOnce) {
    sim.setFault(22, qsim::Fault::Silent);
    Child q(args({sim.path()}));
    ASSERT_TRUE(sim.waitForLine("*IDN?", 20s));
    q.signal(SIGTERM);
    ASSERT_EQ(q.wait(30s), 8);
    EXPECT_EQ(q.err(), "\nquorvel terminating on signal 15.\n");
    EXPECT_EQ(wireCount(sim, "OUTP OFF"), 1);
}

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
