// A controller port is opened raw, whatever state the system left it in (no
// echo of commands, an answer's CR kept), non-blocking, and locked against a
// second program on the same controller.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>

#include "bus/port.h"
#include "support/pty.h"
#include "support/stores.h"

TEST(Port, OpensRawNonBlockingAndLocked) {
    resetStores();
    PtyPair cooked(false);
    ASSERT_EQ(gpibOpen(1, cooked.path().c_str()), 1);
    int fd = fileno(GpibDev[1]);
    termios t{};
    ASSERT_EQ(tcgetattr(fd, &t), 0);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0U);
    EXPECT_EQ(t.c_oflag & OPOST, 0U);
    EXPECT_EQ(t.c_iflag & (ICRNL | IXON), 0U);
    EXPECT_NE(t.c_cflag & CLOCAL, 0U);
    EXPECT_NE(fcntl(fd, F_GETFL) & O_NONBLOCK, 0);
    // Our own second open stands for another program: the lock is per open.
    EXPECT_EQ(gpibOpen(0, cooked.path().c_str()), 0);
    resetStores();
}
