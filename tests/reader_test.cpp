// The answer reader on a raw pseudo-terminal, with VMIN 1 (nothing there is
// EAGAIN) and VMIN 0 (nothing there is a zero-byte read, yet no hang-up).
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>

#include "bus/port.h"
#include "bus/reader.h"
#include "support/pty.h"
#include "support/stores.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class Reader : public ::testing::TestWithParam<int> {
  protected:
    PtyPair pty;
    GpibRec* rec = nullptr;

    void SetUp() override {
        resetStores();
        setController(0, "++addr", "++read eoi", 3000);
        rec = addRecord(kDspHead, 0, 22, "MEAS:VOLT?");
        ASSERT_EQ(gpibOpen(0, pty.path().c_str()), 1);
        gpibBind();
        termios t{};
        ASSERT_EQ(tcgetattr(fileno(GpibDev[0]), &t), 0);
        t.c_cc[VMIN] = static_cast<cc_t>(GetParam());
        ASSERT_EQ(tcsetattr(fileno(GpibDev[0]), TCSANOW, &t), 0);
    }
    void TearDown() override { resetStores(); }
};

INSTANTIATE_TEST_SUITE_P(Vmin, Reader, ::testing::Values(1, 0));

TEST_P(Reader, Answers) {
    struct Case {
        std::string sent;
        int shift;
        std::string want;
    };
    const Case cases[] = {
        {"+1.2345E+00\r\n", 0, "+1.2345E+00"},
        {"VOLT 1.5\n", 1, "1.5"},
        // The only word still holds the line feed: shifted away, nothing is left.
        {"1.5\n", 1, ""},
        {"\n\nOK\n", 0, "OK"},
        {"\r\n", 0, ""},
        {std::string(62, 'x') + "\n", 0, std::string(62, 'x')},
        {"first\nsecond\n", 0, "first"},
        // Already in the stream's buffer: the descriptor has nothing to say.
        {"", 0, "second"},
    };
    for (const Case& c : cases) {
        pty.write(c.sent);
        auto start = Clock::now();
        EXPECT_GT(gpibRead(rec, c.shift), 0) << c.sent;
        EXPECT_EQ(rec->resp, c.want) << c.sent;
        EXPECT_LT(Clock::now() - start, 1500ms) << c.sent;
    }
    Read_gpib[0].num = 30;
    pty.write(std::string(63, 'y') + "\n");
    EXPECT_EQ(gpibRead(rec, 0), 0);
    EXPECT_STREQ(rec->resp, "ERR");
}

TEST_P(Reader, PiecesAndTimeOuts) {
    std::thread writer([this] {
        for (const char* piece : {"+1.2", "34", "5E+0", "0\n"}) {
            std::this_thread::sleep_for(30ms);
            pty.write(piece);
        }
    });
    int left = gpibRead(rec, 0);
    writer.join();
    EXPECT_STREQ(rec->resp, "+1.2345E+00");
    // The attempts that passed waiting are used up.
    EXPECT_GT(left, 0);
    EXPECT_LE(left, 3000 - 100);

    Read_gpib[0].num = 60;
    auto start = Clock::now();
    EXPECT_EQ(gpibRead(rec, 0), 0);
    EXPECT_STREQ(rec->resp, "ERR");
    EXPECT_GE(Clock::now() - start, 55ms);

    // No time-out, or no stream: no wait at all.
    pty.write("ready\n");
    Read_gpib[0].num = 0;
    EXPECT_EQ(gpibRead(rec, 0), 0);
    GpibRec* closed = addRecord(kDspHead, 1, 22, "X");
    Read_gpib[1].num = 3000;
    start = Clock::now();
    EXPECT_EQ(gpibRead(closed, 0), 0);
    EXPECT_STREQ(closed->resp, "ERR");
    EXPECT_LT(Clock::now() - start, 1500ms);
}

// A hang-up (end of file) and a read error (EIO, as from an unplugged
// adapter) both close the controller and unbind its records.
TEST_P(Reader, AVanishedControllerIsClosed) {
    pty.hangUp();
    for (int round = 0; round < 2; round++) {
        if (round == 1) {
            // The master side of a pseudo-terminal whose other side closed.
            int m = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
            ASSERT_EQ(grantpt(m) | unlockpt(m), 0);
            close(open(ptsname(m), O_RDWR | O_NOCTTY));
            GpibDev[0] = fdopen(m, "r+");
            gpibBind();
        }
        auto start = Clock::now();
        EXPECT_EQ(gpibRead(rec, 0), 0) << round;
        EXPECT_LT(Clock::now() - start, 1500ms) << round;
        EXPECT_EQ(GpibDev[0], nullptr) << round;
        EXPECT_EQ(rec->file, nullptr) << round;
    }
}

} // namespace
