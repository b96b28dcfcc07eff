// Opening controller ports and addressing instruments, on pseudo-terminals.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <termios.h>

#include "bus/port.h"
#include "support/pty.h"
#include "support/stores.h"

namespace {

class Port : public ::testing::Test {
  protected:
    PtyPair pty0;
    PtyPair pty1{false};

    void SetUp() override {
        resetStores();
        setController(0, "++addr", "++read eoi", 200);
        setController(1, "++addr", "++read eoi", 200);
    }
    void TearDown() override { resetStores(); }
};

// Each controller remembers its own address; 999 stands for none selected.
TEST_F(Port, AddressesOnlyWhenTheAddressChanges) {
    GpibRec* odd = addRecord(kDspHead, 0, 999, "X");
    GpibRec* a = addRecord(kDspHead, 0, 5, "X");
    GpibRec* b = addRecord(kDspHead, 0, 7, "X");
    GpibRec* c = addRecord(kDspHead, 1, 5, "X");
    ASSERT_EQ(gpibOpen(0, pty0.path().c_str()), 1);
    ASSERT_EQ(gpibOpen(1, pty1.path().c_str()), 1);
    gpibBind();
    for (GpibRec* r : {odd, a, a, b, c, a, c, odd}) EXPECT_EQ(setDevAddr(r), 1);
    EXPECT_EQ(pty0.drain(), "++addr 5\n++addr 7\n++addr 5\n++addr 999\n");
    EXPECT_EQ(pty1.drain(), "++addr 5\n");

    // A line that cannot be written leaves the address unselected.
    pty0.hangUp();
    EXPECT_EQ(setDevAddr(b), 0);
    EXPECT_EQ(addr_c[0], 999);
    // Without a stream (closed by the failure), or an addressing command,
    // the address counts as set.
    Addr_gpib[1].cmd[0] = '\0';
    GpibRec* e = addRecord(kDspHead, 1, 9, "X");
    gpibBind();
    for (GpibRec* r : {b, e}) EXPECT_EQ(setDevAddr(r), 1);
    EXPECT_EQ(addr_c[0], 7);
    EXPECT_EQ(addr_c[1], 9);
    EXPECT_EQ(pty1.drain(), "");
}

TEST_F(Port, OpenMakesThePortRawNonBlockingAndLocked) {
    ASSERT_EQ(gpibOpen(1, pty1.path().c_str()), 1);
    int fd = fileno(GpibDev[1]);
    termios t{};
    ASSERT_EQ(tcgetattr(fd, &t), 0);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0U);
    EXPECT_EQ(t.c_oflag & OPOST, 0U);
    EXPECT_EQ(t.c_iflag & (ICRNL | IXON), 0U);
    EXPECT_NE(t.c_cflag & CLOCAL, 0U);
    EXPECT_NE(fcntl(fd, F_GETFL) & O_NONBLOCK, 0);
    // Our own second open stands for another program: the lock is per open.
    EXPECT_EQ(gpibOpen(0, pty1.path().c_str()), 0);
    EXPECT_EQ(gpibOpen(0, "/nonexistent/gpib"), 0);
}

} // namespace
