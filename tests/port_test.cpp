// Opening controller ports and addressing instruments, against the
// simulated controller.
#include <chrono>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

#include "bus/port.h"
#include "sim.h"
#include "support/stores.h"
#include "support/wire.h"

namespace {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

class PortTest : public ::testing::Test {
  protected:
    qsim::Controller sim1;
    qsim::Controller sim2;

    void SetUp() override {
        resetStores();
        setController(0, "++addr", "++read eoi", 200);
        setController(1, "++addr", "++read eoi", 200);
        ASSERT_TRUE(sim1.start());
        ASSERT_TRUE(sim2.start());
    }
    void TearDown() override { resetStores(); }

    void openBoth() {
        ASSERT_EQ(gpibOpen(0, sim1.path().c_str()), 1);
        ASSERT_EQ(gpibOpen(1, sim2.path().c_str()), 1);
        gpibBind();
    }
};

TEST_F(PortTest, AddressesOnlyWhenTheAddressChanges) {
    GpibRec* a = addRecord(kDspHead, 0, 5, "VOLT?");
    GpibRec* b = addRecord(kDspHead, 0, 7, "VOLT?");
    openBoth();
    for (GpibRec* r : {a, a, b, a}) EXPECT_NE(setDevAddr(r), 0);
    EXPECT_EQ(wireLines(sim1, GpibDev[0]), (Lines{"++addr 5", "++addr 7", "++addr 5"}));
}

TEST_F(PortTest, EachControllerKeepsItsOwnAddress) {
    GpibRec* a = addRecord(kDspHead, 0, 5, "VOLT?");
    GpibRec* b = addRecord(kDspHead, 1, 5, "VOLT?");
    openBoth();
    for (GpibRec* r : {a, b, a, b}) setDevAddr(r);
    EXPECT_EQ(wireLines(sim1, GpibDev[0]), (Lines{"++addr 5"}));
    EXPECT_EQ(wireLines(sim2, GpibDev[1]), (Lines{"++addr 5"}));
}

TEST_F(PortTest, Address999CountsAsSelectedUntilAnotherIsUsed) {
    GpibRec* odd = addRecord(kDspHead, 0, 999, "X");
    GpibRec* five = addRecord(kDspHead, 0, 5, "X");
    openBoth();
    setDevAddr(odd);
    setDevAddr(five);
    setDevAddr(odd);
    EXPECT_EQ(wireLines(sim1, GpibDev[0]), (Lines{"++addr 5", "++addr 999"}));
}

TEST_F(PortTest, WithoutAddressingCommandOrStreamNothingIsSent) {
    Addr_gpib[0].cmd[0] = '\0';
    GpibRec* a = addRecord(kDspHead, 0, 5, "X");
    GpibRec* b = addRecord(kDspHead, 0, 7, "X");
    ASSERT_EQ(gpibOpen(0, sim1.path().c_str()), 1);
    gpibBind();
    EXPECT_EQ(setDevAddr(a), 1);
    EXPECT_EQ(addr_c[0], 5);
    // Controller 2 is not open: its records have no stream.
    GpibRec* c = addRecord(kDspHead, 1, 9, "X");
    gpibBind();
    EXPECT_EQ(c->file, nullptr);
    EXPECT_EQ(setDevAddr(c), 1);
    EXPECT_EQ(addr_c[1], 9);
    setDevAddr(b);
    EXPECT_EQ(wireLines(sim1, GpibDev[0]), Lines{});
}

TEST_F(PortTest, OpenMakesThePortRawAndNonBlocking) {
    openBoth();
    int fd = fileno(GpibDev[0]);
    termios t{};
    ASSERT_EQ(tcgetattr(fd, &t), 0);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0U);
    EXPECT_EQ(t.c_oflag & OPOST, 0U);
    EXPECT_EQ(t.c_iflag & (ICRNL | IXON), 0U);
    EXPECT_NE(t.c_cflag & CLOCAL, 0U);
    EXPECT_NE(fcntl(fd, F_GETFL) & O_NONBLOCK, 0);
}

TEST_F(PortTest, APortHeldByAnotherProgramOrMissingDoesNotOpen) {
    openBoth();
    // Our own second open stands for another program: the lock is per open.
    EXPECT_EQ(gpibOpen(1, sim1.path().c_str()), 0);
    EXPECT_EQ(gpibOpen(1, "/nonexistent/gpib"), 0);
}

} // namespace
