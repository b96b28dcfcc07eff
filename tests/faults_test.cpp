// Faults during a run: controllers that vanish and come back, a disk that
// refuses the command log, instruments that flood, and termination signals
// at every stage. Whatever happens the run goes on or ends through its one
// clean-up, and no finished row is lost.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "support/child.h"
#include "support/logged_run.h"

namespace {

using namespace std::chrono_literals;

class FaultsTest : public LoggedRun {
  protected:
    void SetUp() override { writeConf(""); }

    void writeConf(const std::string& extra) {
        std::ofstream(conf) << "addr:1;0;++addr\naddr:2;0;++addr\n"
                               "read:1;0;++read eoi;100\nread:2;0;++read eoi;100\n"
                               "cfg:1;5;vget;VOLT?;0;1;supply volts\n"
                               "dsp:1;22;V: ;MEAS:VOLT?;5;0\n"
                               "off:1;5;OUTP OFF\n"
                            << extra;
    }
    std::vector<std::string> args(const std::vector<std::string>& devices) {
        std::vector<std::string> a{QUORVEL_BIN, "-c" + conf, "-l" + log, "-u20"};
        a.insert(a.end(), devices.begin(), devices.end());
        return a;
    }
    static bool endsWith(const std::string& row, const std::string& tail) {
        return row.size() >= tail.size() &&
               row.compare(row.size() - tail.size(), tail.size(), tail) == 0;
    }
    // Every row of the log is whole: numbered in order with all its cells.
    void expectWholeRows(size_t cells) {
        auto r = rows();
        for (size_t i = 0; i < r.size(); i++) {
            EXPECT_EQ(std::stoul(r[i]), i + 1) << r[i];
            size_t commas = 0;
            for (char c : r[i]) commas += c == ',' ? 1 : 0;
            EXPECT_EQ(commas + 1, cells) << r[i];
        }
    }
};

TEST_F(FaultsTest, AVanishedControllerTurnsReadingsToErrAndQuitStillCleansUp) {
    ASSERT_TRUE(sim.start());
    Child q(args({sim.path()}));
    ASSERT_TRUE(waitLastRow([](const std::string& r) { return !endsWith(r, ",ERR"); }));
    sim.vanish();
    ASSERT_TRUE(waitLastRow([](const std::string& r) { return endsWith(r, ",ERR"); }));
    q.type("vget\n");
    q.type("quit\n");
    ASSERT_EQ(q.wait(30s), 0);
    EXPECT_NE(q.out().find("ERR\n\n\n"), std::string::npos);
    expectWholeRows(6);
}

TEST_F(FaultsTest, OnlyTheVanishedControllerFails) {
    qsim::Controller sim2;
    ASSERT_TRUE(sim.start());
    ASSERT_TRUE(sim2.start());
    writeConf("dsp:2;22;V2: ;MEAS:VOLT?;6;0\n");
    Child q(args({sim.path(), sim2.path()}));
    ASSERT_TRUE(waitLastRow([](const std::string& r) { return !endsWith(r, ",ERR"); }));
    sim2.vanish();
    ASSERT_TRUE(waitLastRow([](const std::string& r) {
        return endsWith(r, ",ERR") && r.find(",ERR,") == std::string::npos;
    }));
    q.type("quit\n");
    ASSERT_EQ(q.wait(30s), 0);
    EXPECT_EQ(wireCount(sim, "OUTP OFF"), 1);
}

TEST_F(FaultsTest, AControllerPluggedBackInIsReopenedAndReaddressed) {
    std::string link = dir + "/gpib0";
    ASSERT_TRUE(sim.start(link));
    Child q(args({link}));
    ASSERT_TRUE(waitLastRow([](const std::string& r) { return !endsWith(r, ",ERR"); }));
    sim.vanish();
    ASSERT_TRUE(waitLastRow([](const std::string& r) { return endsWith(r, ",ERR"); }));
    sim.clearTraffic();
    ASSERT_TRUE(sim.reappear());
    ASSERT_TRUE(waitLastRow([](const std::string& r) { return !endsWith(r, ",ERR"); }));
    auto wire = sim.lines();
    ASSERT_FALSE(wire.empty());
    EXPECT_EQ(wire.front(), "++addr 22");
    q.type("vget\nquit\n");
    ASSERT_EQ(q.wait(30s), 0);
    EXPECT_NE(q.out().find("+"), std::string::npos);
    EXPECT_EQ(wireCount(sim, "OUTP OFF"), 1);
}

// The off sequence reaches every controller that is there at the end: one
// still present beside a lost one, and a lost one that is back.
class OffReachTest : public FaultsTest, public ::testing::WithParamInterface<bool> {};

TEST_P(OffReachTest, EveryPresentControllerIsSwitchedOff) {
    bool back = GetParam();
    qsim::Controller sim2;
    std::string link = dir + "/gpib0";
    ASSERT_TRUE(sim.start(link));
    ASSERT_TRUE(sim2.start());
    writeConf("dsp:2;22;V2: ;MEAS:VOLT?;6;0\noff:2;5;OUTP OFF\n");
    Child q(args({link, sim2.path()}));
    ASSERT_TRUE(waitLastRow([](const std::string& r) { return !endsWith(r, ",ERR"); }));
    sim.vanish();
    ASSERT_TRUE(
        waitLastRow([](const std::string& r) { return r.find(",ERR,") != std::string::npos; }));
    // Back within the second before the display would try it again.
    ASSERT_TRUE(!back || sim.reappear());
    q.type("quit\n");
    ASSERT_EQ(q.wait(30s), 0);
    EXPECT_EQ(wireCount(sim2, "OUTP OFF"), 1);
    EXPECT_EQ(wireCount(sim, "OUTP OFF"), back ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Lost, OffReachTest, ::testing::Bool());

// A read that returns no bytes is no unplugged controller: a port whose
// VMIN and VTIME are 0 gives right readings, a plain file ERR, and the run
// goes on.
class EmptyReadTest : public FaultsTest, public ::testing::WithParamInterface<bool> {};

TEST_P(EmptyReadTest, ReadingsAndQuitAsUsual) {
    bool file = GetParam();
    ASSERT_TRUE(sim.start());
    sim.setAnswer(22, "MEAS:VOLT?", "1.25");
    sim.setAnswer(5, "QB?", "2.5");
    writeConf("dsp:1;5;B: ;QB?;6;0\n");
    std::string dev = file ? tmp.write("plain", "") : sim.path();
    if (!file) {
        int fd = open(dev.c_str(), O_RDWR | O_NOCTTY);
        ASSERT_GE(fd, 0);
        termios t{};
        ASSERT_EQ(tcgetattr(fd, &t), 0);
        t.c_cc[VMIN] = 0;
        t.c_cc[VTIME] = 0;
        ASSERT_EQ(tcsetattr(fd, TCSANOW, &t), 0);
        close(fd);
    }
    Child q(args({dev}));
    ASSERT_TRUE(waitRows(5));
    q.type("quit\n");
    ASSERT_EQ(q.wait(30s), 0);
    for (const std::string& r : rows())
        EXPECT_TRUE(endsWith(r, file ? ",ERR,ERR" : ",1.25,2.5")) << r;
}

INSTANTIATE_TEST_SUITE_P(Devices, EmptyReadTest, ::testing::Bool());

TEST_F(FaultsTest, ACommandLogThatCannotBeWrittenShowsTheStatusAndTheRunGoesOn) {
    ASSERT_TRUE(sim.start());
    std::string cmdlog = dir + "/cmd.csv";
    Child q({QUORVEL_BIN, "-c" + conf, "-g" + cmdlog, "-u20", sim.path()});
    ASSERT_TRUE(sim.waitForLine("MEAS:VOLT?", 20s));
    // The log is opened for every record: from now on it is a full disk.
    std::remove(cmdlog.c_str());
    ASSERT_EQ(symlink("/dev/full", cmdlog.c_str()), 0);
    q.type("vget\n");
    ASSERT_TRUE(sim.waitForLine("VOLT?", 20s));
    q.type("vget\nquit\n");
    ASSERT_EQ(q.wait(30s), 0);
    EXPECT_NE(q.out().find("\n\n\nCfg (command) log file error"), std::string::npos);
    EXPECT_EQ(wireCount(sim, "VOLT?"), 2);
}

TEST_F(FaultsTest, AFloodDuringTheOffDrainDoesNotHangTheEnd) {
    ASSERT_TRUE(sim.start());
    sim.setFault(5, qsim::Fault::Flood);
    Child q(args({sim.path()}));
    ASSERT_TRUE(sim.waitForLine("MEAS:VOLT?", 20s));
    q.type("quit\n");
    ASSERT_EQ(q.wait(60s), 0);
    EXPECT_EQ(wireCount(sim, "OUTP OFF"), 1);
}

struct SignalCase {
    const char* stage;
    int sig;
};

class SignalStageTest : public FaultsTest, public ::testing::WithParamInterface<SignalCase> {};

TEST_P(SignalStageTest, ExactlyOneCleanUpWithEveryFinishedRow) {
    const SignalCase& c = GetParam();
    std::string stage = c.stage;
    ASSERT_TRUE(sim.start());
    if (stage == "init") {
        sim.setFault(22, qsim::Fault::Silent);
        writeConf("init:1;22;*IDN?;never\n");
    }
    if (stage == "pass") sim.setLatency(22, 80);
    if (stage == "command") sim.setLatency(5, 80);
    Child q(args({sim.path()}));
    if (stage == "init") {
        ASSERT_TRUE(sim.waitForLine("*IDN?", 20s));
    } else {
        ASSERT_TRUE(sim.waitForLine("MEAS:VOLT?", 20s));
    }
    if (stage == "command") {
        sim.clearTraffic();
        q.type("vget\n");
        ASSERT_TRUE(sim.waitForLine("VOLT?", 20s));
    }
    if (stage == "help") {
        q.type("help\n");
        for (int i = 0; i < 500 && q.out().find("Press ENTER to resume.") == std::string::npos; i++)
            std::this_thread::sleep_for(10ms);
    }
    if (stage == "quit") {
        q.type("quit\n");
        std::this_thread::sleep_for(300ms);
    }
    q.signal(c.sig);
    if (stage == "typed") {
        // Typed while the clean-up waits before the off sequence.
        std::this_thread::sleep_for(400ms);
        q.type("vget\n");
    }
    auto code = q.wait(60s);
    ASSERT_TRUE(code.has_value());
    if (stage == "quit" && *code == 0) {
        EXPECT_EQ(q.err(), "");
    } else {
        EXPECT_EQ(*code, 8);
        EXPECT_EQ(q.err(), "\nquorvel terminating on signal " + std::to_string(c.sig) + ".\n");
    }
    EXPECT_EQ(wireCount(sim, "OUTP OFF"), 1);
    // Nothing typed after the signal reaches the bus.
    EXPECT_EQ(wireCount(sim, "VOLT?"), stage == "command" ? 1 : 0);
    expectWholeRows(6);
}

INSTANTIATE_TEST_SUITE_P(Stages, SignalStageTest,
                         ::testing::Values(SignalCase{"init", SIGQUIT}, SignalCase{"pass", SIGHUP},
                                           SignalCase{"command", SIGINT},
                                           SignalCase{"help", SIGTERM}, SignalCase{"quit", SIGTERM},
                                           SignalCase{"typed", SIGINT}),
                         [](const auto& info) { return std::string(info.param.stage); });

} // namespace
