// The answer reader against a raw pseudo-terminal whose controller side the
// test writes byte by byte.
#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <string>
#include <thread>

#include "bus/port.h"
#include "bus/reader.h"
#include "support/pty.h"
#include "support/stores.h"

namespace {

using Clock = std::chrono::steady_clock;

class ReaderTest : public ::testing::Test {
  protected:
    PtyPair pty;
    GpibRec* rec = nullptr;

    void SetUp() override {
        resetStores();
        setController(0, "++addr", "++read eoi", 300);
        rec = addRecord(kDspHead, 0, 22, "MEAS:VOLT?");
        ASSERT_EQ(gpibOpen(0, pty.path().c_str()), 1);
        gpibBind();
    }
    void TearDown() override { resetStores(); }
};

TEST_F(ReaderTest, AnswerLinesAreCutAtTheirEnd) {
    pty.write("+1.2345E+00\r\n");
    EXPECT_GT(gpibRead(rec, 0), 0);
    EXPECT_STREQ(rec->resp, "+1.2345E+00");

    pty.write("VOLT 1.5\n");
    EXPECT_GT(gpibRead(rec, 1), 0);
    EXPECT_STREQ(rec->resp, "1.5");

    // The only word still holds the line feed, so shifting it away leaves
    // nothing: a success with an empty answer.
    pty.write("1.5\n");
    EXPECT_GT(gpibRead(rec, 1), 0);
    EXPECT_STREQ(rec->resp, "");
}

TEST_F(ReaderTest, EmptyLinesAreSkippedButCrLfIsAnAnswer) {
    pty.write("\n");
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    pty.write("OK\n");
    EXPECT_GT(gpibRead(rec, 0), 0);
    EXPECT_STREQ(rec->resp, "OK");

    pty.write("\r\n");
    EXPECT_GT(gpibRead(rec, 0), 0);
    EXPECT_STREQ(rec->resp, "");
}

TEST_F(ReaderTest, PiecesAreJoinedUntilTheLineFeed) {
    std::thread writer([this] {
        for (const char* piece : {"+1.2", "34", "5E+0", "0\n"}) {
            pty.write(piece);
            std::this_thread::sleep_for(std::chrono::milliseconds(15));
        }
    });
    int left = gpibRead(rec, 0);
    writer.join();
    EXPECT_GT(left, 0);
    EXPECT_STREQ(rec->resp, "+1.2345E+00");
}

// One wait may span many attempts; those that passed are not left over.
TEST_F(ReaderTest, AttemptsSpentWaitingAreUsedUp) {
    std::atomic<bool> reading{false};
    std::thread writer([this, &reading] {
        while (!reading.load()) std::this_thread::yield();
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
        pty.write("+1.0\n");
    });
    reading.store(true);
    int left = gpibRead(rec, 0);
    writer.join();
    EXPECT_STREQ(rec->resp, "+1.0");
    EXPECT_GT(left, 0);
    EXPECT_LE(left, 300 - 50);
}

TEST_F(ReaderTest, LinesAlreadyBufferedAreReadWithoutWaiting) {
    pty.write("first\nsecond\n");
    EXPECT_GT(gpibRead(rec, 0), 0);
    EXPECT_STREQ(rec->resp, "first");
    // The second line sits in the stream's buffer; the descriptor has
    // nothing more to say, so waiting on it would cost the whole time-out.
    auto start = Clock::now();
    EXPECT_GT(gpibRead(rec, 0), 0);
    EXPECT_STREQ(rec->resp, "second");
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(250));
}

TEST_F(ReaderTest, AnAnswerTooLongForTheBufferTimesOut) {
    std::string fits(62, 'x');
    pty.write(fits + "\n");
    EXPECT_GT(gpibRead(rec, 0), 0);
    EXPECT_EQ(rec->resp, fits);

    Read_gpib[0].num = 30;
    pty.write(std::string(63, 'y') + "\n");
    EXPECT_EQ(gpibRead(rec, 0), 0);
    EXPECT_STREQ(rec->resp, "ERR");
}

TEST_F(ReaderTest, SilenceGivesErrAfterTheTimeOut) {
    Read_gpib[0].num = 60;
    auto start = Clock::now();
    EXPECT_EQ(gpibRead(rec, 0), 0);
    auto took = Clock::now() - start;
    EXPECT_STREQ(rec->resp, "ERR");
    EXPECT_GE(took, std::chrono::milliseconds(55));
    EXPECT_LT(took, std::chrono::seconds(5));
}

TEST_F(ReaderTest, NoStreamOrNoTimeOutFailsAtOnce) {
    pty.write("ready\n");
    Read_gpib[0].num = 0;
    EXPECT_EQ(gpibRead(rec, 0), 0);
    EXPECT_STREQ(rec->resp, "ERR");

    Read_gpib[0].num = 300;
    GpibRec* other = addRecord(kDspHead, 1, 22, "MEAS:VOLT?");
    Read_gpib[1].num = 300;
    auto start = Clock::now();
    EXPECT_EQ(gpibRead(other, 0), 0);
    EXPECT_STREQ(other->resp, "ERR");
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(100));
}

TEST_F(ReaderTest, AVanishedControllerGivesErrWithoutHanging) {
    pty.hangUp();
    Read_gpib[0].num = 50;
    auto start = Clock::now();
    EXPECT_EQ(gpibRead(rec, 0), 0);
    EXPECT_STREQ(rec->resp, "ERR");
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
    // The lost controller is closed and its records unbound until it is back.
    EXPECT_EQ(GpibDev[0], nullptr);
    EXPECT_EQ(rec->file, nullptr);
}

} // namespace
