// The answer reader on a raw pseudo-terminal: answers in pieces, time-outs,
// and a controller that vanishes.
#include <chrono>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <thread>

#include "bus/port.h"
#include "bus/reader.h"
#include "support/pty.h"
#include "support/stores.h"

using namespace std::chrono_literals;

TEST(Reader, AnswersTimeOutsAndHangUps) {
    // Rows in turn on one stream, their pieces sent 30 ms apart. An answer
    // comes at once or after waitMs, which its attempts left show as used.
    struct Row {
        std::vector<std::string> pieces;
        int shift, timeout, waitMs;
        std::string want;
    };
    const std::string x62(62, 'x');
    const Row rows[] = {
        {{"+1.2345E+00\r\n"}, 0, 3000, 0, "+1.2345E+00"},
        {{"VOLT 1.5\n"}, 1, 3000, 0, "1.5"},
        {{"1.5\n"}, 1, 3000, 0, ""}, // the only word, with its line feed, is shifted away
        {{"\n\nOK\n"}, 0, 3000, 0, "OK"},
        {{"\r\n"}, 0, 3000, 0, ""},
        {{x62 + "\n"}, 0, 3000, 0, x62},
        {{"first\nsecond\n"}, 0, 3000, 0, "first"},
        {{}, 0, 3000, 0, "second"}, // in the stream's buffer: the descriptor says nothing
        {{"+1.2", "34", "5E+0", "0\n"}, 0, 3000, 90, "+1.2345E+00"},
        {{std::string(63, 'y') + "\n"}, 0, 30, 25, "ERR"}, // too long
        {{}, 0, 60, 55, "ERR"},
        {{"ready\n"}, 0, 0, 0, "ERR"}, // no time-out: not even what is there
    };
    resetStores();
    PtyPair pty;
    GpibRec* rec = addRecord(kDspHead, 0, 22, "MEAS:VOLT?");
    ASSERT_EQ(gpibOpen(0, pty.path().c_str()), 1);
    gpibBind();
    for (const Row& row : rows) {
        Read_gpib[0].num = row.timeout;
        std::thread controller([&] {
            for (const std::string& piece : row.pieces) {
                if (&piece != &row.pieces[0]) std::this_thread::sleep_for(30ms);
                pty.write(piece);
            }
        });
        auto start = std::chrono::steady_clock::now();
        int left = gpibRead(rec, row.shift);
        auto ms = (std::chrono::steady_clock::now() - start) / 1ms;
        controller.join();
        EXPECT_EQ(rec->resp, row.want);
        EXPECT_TRUE(ms >= row.waitMs && ms < row.waitMs + 1000) << ms << " ms for " << row.want;
        EXPECT_TRUE(row.want == "ERR" ? left == 0 : left > 0 && left <= row.timeout - row.waitMs)
            << left << " left for " << row.want;
    }
    // A hang-up (end of file), then a read error (EIO, from the master side of
    // a terminal whose other side closed): either closes the controller at once
    // and unbinds its records.
    Read_gpib[0].num = 3000;
    pty.hangUp();
    for (int round = 0; round < 2; round++) {
        if (round == 1) {
            int m = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
            ASSERT_EQ(grantpt(m) | unlockpt(m), 0);
            close(open(ptsname(m), O_RDWR | O_NOCTTY));
            GpibDev[0] = fdopen(m, "r+");
            gpibBind();
        }
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(gpibRead(rec, 0), 0) << round;
        EXPECT_LT(std::chrono::steady_clock::now() - start, 1500ms) << round;
        EXPECT_EQ(rec->file, nullptr) << round;
    }
    resetStores();
}
