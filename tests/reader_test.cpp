// The bus on a pseudo-terminal: opening a port, the reader.
#include <chrono>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <thread>

#include "bus/port.h"
#include "bus/reader.h"
#include "pty.h"

using namespace std::chrono_literals;

// A port's far end as the simulator makes it: raw, its slave held open.
struct Far : qsim::Pty {
    Far() {
        std::string err;
        if (!qsim::openPty(this, &err)) throw std::runtime_error(err);
    }
    ~Far() { qsim::closePty(this); }
    void write(const std::string& s) {
        EXPECT_EQ(::write(master, s.data(), s.size()), ssize_t(s.size()));
    }
    // Everything written to the port, until 50 ms pass without a byte.
    std::string drain() {
        std::string out;
        char buf[256];
        pollfd p{master, POLLIN, 0};
        for (ssize_t n = 0; poll(&p, 1, 50) > 0 && (n = read(master, buf, sizeof buf)) > 0;)
            out.append(buf, size_t(n));
        return out;
    }
};
using Clock = std::chrono::steady_clock;

// Each test starts with the controllers as a fresh process has them.
void resetControllers() {
    for (int d = 0; d < kControllers; d++) {
        gpibClose(d);
        gpibCtl[d] = GpibCtl{};
    }
}

// Raw whatever state the system left (no echo of commands, an answer's CR kept)
// and locked: our own second open stands for another program.
TEST(Port, OpensRawNonBlockingAndLocked) {
    resetControllers();
    Far cooked;
    termios t{};
    ASSERT_EQ(tcgetattr(cooked.slave, &t), 0);
    t.c_lflag |= ICANON | ECHO | ISIG, t.c_oflag |= OPOST, t.c_iflag |= ICRNL | IXON;
    t.c_cflag &= ~tcflag_t(CLOCAL);
    ASSERT_EQ(tcsetattr(cooked.slave, TCSANOW, &t), 0);
    ASSERT_EQ(gpibOpen(1, cooked.path.c_str()), 1);
    ASSERT_EQ(tcgetattr(fileno(gpibCtl[1].stream), &t), 0);
    EXPECT_TRUE((t.c_lflag & (ICANON | ECHO | ISIG)) == 0 && (t.c_oflag & OPOST) == 0 &&
                (t.c_iflag & (ICRNL | IXON)) == 0 && (t.c_cflag & CLOCAL) != 0);
    EXPECT_EQ(gpibOpen(0, cooked.path.c_str()), 0);
}

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
        // Sent over 90 ms; the reader's clock starts a little after the writer.
        {{"+1.2", "34", "5E+0", "0\n"}, 0, 3000, 80, "+1.2345E+00"},
        {{std::string(63, 'y') + "\n"}, 0, 30, 0, "ERR"}, // too long: refused at its end
        {{}, 0, 60, 55, "ERR"},
        {{"ready\n"}, 0, 0, 0, "ERR"}, // no time-out: not even what is there
    };
    resetControllers();
    Far pty;
    ASSERT_EQ(gpibOpen(0, pty.path.c_str()), 1);
    Answer resp;
    for (const Row& row : rows) {
        cfgStore.ctl[0].read.to = row.timeout;
        std::thread controller([&] {
            for (const std::string& piece : row.pieces) {
                if (&piece != &row.pieces[0]) std::this_thread::sleep_for(30ms);
                pty.write(piece);
            }
        });
        auto start = Clock::now();
        int left = gpibRead(0, resp, row.shift);
        auto ms = (Clock::now() - start) / 1ms;
        controller.join();
        EXPECT_EQ(resp, row.want);
        EXPECT_TRUE(ms >= row.waitMs && ms < row.waitMs + 1000) << ms << " ms for " << row.want;
        EXPECT_TRUE(row.want == "ERR" ? left == 0 : left > 0 && left <= row.timeout - row.waitMs)
            << left << " left for " << row.want;
    }
    // A hang-up (end of file), then a read error (EIO, from the master side of
    // a terminal whose other side closed): either closes the controller at once.
    cfgStore.ctl[0].read.to = 3000;
    qsim::closePty(&pty);
    int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_EQ(grantpt(master) | unlockpt(master), 0);
    close(open(ptsname(master), O_RDWR | O_NOCTTY));
    for (auto [stream, what] : {std::pair<FILE*, const char*>{gpibCtl[0].stream, "hang-up"},
                                {fdopen(master, "r+"), "EIO"}}) {
        gpibCtl[0].stream = stream;
        auto start = Clock::now();
        EXPECT_EQ(gpibRead(0, resp, 0), 0) << what;
        EXPECT_LT(Clock::now() - start, 1500ms) << what;
        EXPECT_EQ(gpibCtl[0].stream, nullptr) << what;
    }
}
