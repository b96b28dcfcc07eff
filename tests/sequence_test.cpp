// The init and off sequences: what goes on the wire and what the user reads.
#include <chrono>
#include <gtest/gtest.h>
#include <string>

#include "bus/port.h"
#include "bus/sequence.h"
#include "support/pty.h"
#include "support/stores.h"

namespace {

class Sequence : public ::testing::Test {
  protected:
    PtyPair pty;
    void SetUp() override { resetStores(); }
    void TearDown() override { resetStores(); }
    void open() {
        setController(0, "++addr", "++read eoi", 30);
        testing::internal::CaptureStdout();
        ASSERT_EQ(gpibOpen(0, pty.path().c_str()), 1);
        gpibBind();
    }
};

// A delay is addressed like any record; a wait repeats until the answer
// matches in any case, and "err" matches the first time-out.
TEST_F(Sequence, Init) {
    addRecord(kInitHead, 0, 5, "$delay$")->num = 50;
    addRecord(kInitHead, 0, 22, "*IDN?", "sim,dmm");
    addRecord(kInitHead, 0, 22, "*RST");
    addRecord(kInitHead, 0, 22, "*TST?", "err");
    open();
    pty.write("other\nSIM,DMM\n");
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(gpibInit(Index[kInitHead], [](unsigned, const char*, const char*) {}), 0);
    // The delay, and the pause before a plain command's drain.
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50 + 20));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\nDev 1 delay 50mS"
              "\nSending *IDN? to dev 1, adr 22, to match response to sim,dmm"
              "\nSending command *RST to dev 1, adr 22"
              "\nSending *TST? to dev 1, adr 22, to match response to err");
    EXPECT_EQ(pty.drain(), "++addr 5\n++addr 22\n*IDN?\n++read eoi\n*IDN?\n++read eoi\n"
                           "*RST\n*TST?\n++read eoi\n");
}

// Every record in order, on the controllers that are open.
TEST_F(Sequence, Off) {
    addRecord(kOffHead, 0, 5, "OUTP OFF");
    addRecord(kOffHead, 1, 5, "OUTP OFF");
    addRecord(kOffHead, 0, 5, "VOLT 0");
    addRecord(kOffHead, 0, 22, "*RST");
    open();
    EXPECT_EQ(gpibOff(Index[kOffHead]), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(pty.drain(), "++addr 5\nOUTP OFF\nVOLT 0\n++addr 22\n*RST\n");
}

} // namespace
