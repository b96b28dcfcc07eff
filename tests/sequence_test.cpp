// The init sequence, on the wire and on the screen: a delay is addressed like
// any record; a wait repeats until the answer matches in any case, and "err"
// matches the first time-out; a plain command's answer is drained.
#include <chrono>
#include <gtest/gtest.h>

#include "bus/port.h"
#include "bus/sequence.h"
#include "support/pty.h"
#include "support/stores.h"

TEST(Sequence, Init) {
    resetStores();
    PtyPair pty;
    setController(0, "++addr", "++read eoi", 30);
    addRecord(kInitHead, 0, 5, "$delay$")->num = 50;
    addRecord(kInitHead, 0, 22, "*IDN?", "sim,dmm");
    addRecord(kInitHead, 0, 22, "*RST");
    addRecord(kInitHead, 0, 22, "*TST?", "err");
    ASSERT_EQ(gpibOpen(0, pty.path().c_str()), 1);
    gpibBind();
    pty.write("other\nSIM,DMM\n");
    testing::internal::CaptureStdout();
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(gpibInit(Index[kInitHead]), 0);
    // The delay, and the pause before a plain command's drain.
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50 + 20));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\nDev 1 delay 50mS"
              "\nSending *IDN? to dev 1, adr 22, to match response to sim,dmm"
              "\nSending command *RST to dev 1, adr 22"
              "\nSending *TST? to dev 1, adr 22, to match response to err");
    EXPECT_EQ(pty.drain(), "++addr 5\n++addr 22\n*IDN?\n++read eoi\n*IDN?\n++read eoi\n"
                           "*RST\n*TST?\n++read eoi\n");
    resetStores();
}
