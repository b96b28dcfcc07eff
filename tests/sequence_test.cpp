// The init and off sequences against the simulated controller: what goes on
// the wire, what the user reads, how long they take.
#include <chrono>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

#include "bus/port.h"
#include "bus/sequence.h"
#include "sim.h"
#include "support/stores.h"
#include "support/wire.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Lines = std::vector<std::string>;

class SequenceTest : public ::testing::Test {
  protected:
    qsim::Controller sim;

    void SetUp() override {
        resetStores();
        setController(0, "++addr", "++read eoi", 100);
        ASSERT_TRUE(sim.start());
    }
    void TearDown() override { resetStores(); }

    void open() {
        ASSERT_EQ(gpibOpen(0, sim.path().c_str()), 1);
        gpibBind();
    }
    Lines wire() { return wireLines(sim, GpibDev[0]); }
};

TEST_F(SequenceTest, InitRunsTheThreeKindsOfRecord) {
    GpibRec* d = addRecord(kInitHead, 0, 5, "$delay$");
    d->num = 50;
    addRecord(kInitHead, 0, 22, "*IDN?", "quorvel-sim,dmm,0,1.0");
    addRecord(kInitHead, 0, 22, "*RST");
    open();
    testing::internal::CaptureStdout();
    auto start = Clock::now();
    EXPECT_EQ(gpibInit(Index[kInitHead]), 0);
    auto took = Clock::now() - start;
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "\nDev 1 delay 50mS"
                   "\nSending *IDN? to dev 1, adr 22, to match response to quorvel-sim,dmm,0,1.0"
                   "\nSending command *RST to dev 1, adr 22");
    // The delay record is addressed like any other; the plain command gets
    // no read command; its drain ends with one time-out.
    EXPECT_EQ(wire(), (Lines{"++addr 5", "++addr 22", "*IDN?", "++read eoi", "*RST"}));
    EXPECT_GE(took, 50ms + 20ms + 100ms);
}

TEST_F(SequenceTest, WaitForAnswerRepeatsUntilTheAnswerMatches) {
    sim.setFault(22, qsim::Fault::Silent);
    addRecord(kInitHead, 0, 22, "*IDN?", "QUORVEL-SIM,DMM,0,1.0");
    open();
    std::thread unsilence([this] {
        sim.waitForLine("*IDN?", 10s);
        std::this_thread::sleep_for(250ms);
        sim.setFault(22, qsim::Fault::None);
    });
    testing::internal::CaptureStdout();
    gpibInit(Index[kInitHead]);
    testing::internal::GetCapturedStdout();
    unsilence.join();
    Lines l = wire();
    int attempts = 0;
    for (const auto& s : l) attempts += s == "*IDN?" ? 1 : 0;
    EXPECT_GE(attempts, 2);
    EXPECT_EQ(l.back(), "++read eoi");
    EXPECT_STREQ(Index[kInitHead]->resp, "QUORVEL-SIM,DMM,0,1.0");
}

TEST_F(SequenceTest, AWaitThatExpectsErrEndsAtTheFirstTimeOut) {
    sim.setFault(22, qsim::Fault::Silent);
    addRecord(kInitHead, 0, 22, "*IDN?", "err");
    open();
    testing::internal::CaptureStdout();
    gpibInit(Index[kInitHead]);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(wire(), (Lines{"++addr 22", "*IDN?", "++read eoi"}));
}

TEST_F(SequenceTest, OffSendsEachRecordOfAnOpenController) {
    addRecord(kOffHead, 0, 5, "OUTP OFF");
    addRecord(kOffHead, 0, 5, "VOLT 0");
    addRecord(kOffHead, 0, 22, "*RST");
    addRecord(kOffHead, 1, 5, "OUTP OFF"); // controller 2 is not open
    open();
    testing::internal::CaptureStdout();
    auto start = Clock::now();
    EXPECT_EQ(gpibOff(Index[kOffHead]), 0);
    auto took = Clock::now() - start;
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(wire(), (Lines{"++addr 5", "OUTP OFF", "VOLT 0", "++addr 22", "*RST"}));
    // Per record a drain (one time-out) and 20 ms.
    EXPECT_GE(took, 3 * (100ms + 20ms));
    EXPECT_LT(took, 20s);
}

TEST_F(SequenceTest, AFloodingInstrumentCannotHoldTheDrainForEver) {
    sim.setFault(5, qsim::Fault::Flood);
    addRecord(kOffHead, 0, 5, "OUTP OFF");
    open();
    auto start = Clock::now();
    gpibOff(Index[kOffHead]);
    EXPECT_LT(Clock::now() - start, 30s);
}

} // namespace
