// The cursor operation's bounds, and a data log failing while the program
// runs on a 24 x 80 terminal.
#include <gtest/gtest.h>
#include <string>

#include "screen/ansi.h"
#include "support/pty.h"
#include "support/tempdir.h"
#include "support/term.h"

namespace {

TEST(Ansi, CursorPositionKeepsToRow24AndColumn79) {
    // Callers hand wider integers; the operation sees their low 8 bits.
    const struct {
        int row, col;
        const char* out;
    } cases[] = {{24, 79, "\x1b[24;79H"},
                 {1, 1, "\x1b[1;1H"},
                 {0, 0, "\x1b[0;0H"},
                 {25, 1, ""},
                 {1, 80, ""},
                 {255, 255, ""},
                 {259, 259, "\x1b[3;3H"},
                 {256 + 25, 1, ""},
                 {256, 256, "\x1b[0;0H"}};
    for (const auto& c : cases) {
        testing::internal::CaptureStdout();
        ansiCursorPos(c.row, c.col);
        fflush(stdout);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.out) << c.row << ";" << c.col;
    }
}

// Rows that stop fitting on the disk are reported after the log's path, and
// the run goes on.
TEST(StaticScreen, DataLogWriteFailureShownAfterThePath) {
    TempDir dir;
    PtyPair controller;
    std::string log = dir.file("data.csv");
    std::string conf = dir.write("screen.conf", "addr:1;0;++addr\nread:1;0;++read eoi;20\n");
    // One 512-byte block holds the header and a few rows; the program does
    // not die of SIGXFSZ.
    qterm::Term term({"/bin/sh", "-c", "ulimit -f 1; exec \"$@\"", "sh", QUORVEL_BIN, "-c" + conf,
                      "-l" + log, "-u0", controller.path()});
    ASSERT_TRUE(term.waitForText(17, 1, "Writing data to " + log + " data log file error"))
        << term.dump();
    EXPECT_TRUE(term.waitForText(15, 2, ": "));
    term.type("quit\n");
    EXPECT_EQ(term.waitExit(), 0) << term.dump();
}

} // namespace
