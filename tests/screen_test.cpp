// The cursor operation's bounds, and a data log failing while the program
// runs on a 24 x 80 terminal.
#include <gtest/gtest.h>
#include <string>
#include <tuple>

#include "screen/ansi.h"
#include "support/scenario.h"

namespace {

TEST(Ansi, CursorPositionKeepsToRow24AndColumn79) {
    const std::tuple<int, int, std::string> cases[] = {
        {24, 79, "\x1b[24;79H"}, {0, 0, "\x1b[0;0H"}, {25, 1, ""}, {1, 80, ""}};
    for (const auto& [row, col, out] : cases) {
        testing::internal::CaptureStdout();
        ansiCursorPos(row, col);
        fflush(stdout);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), out) << row << ";" << col;
    }
}

// Rows the disk no longer takes (one 512-byte block holds the header and a few) are
// reported after the log's path, and the run goes on: no death by SIGXFSZ.
TEST(StaticScreen, DataLogWriteFailureShownAfterThePath) {
    play({.name = "DataLogWriteFailure",
          .config = "",
          .flags = {"-u0", "-l{dir}/data.csv"},
          .steps = {[](::Run& r) {
                        screen(17,
                               "Writing data to " + r.file("data.csv") + " data log file error")(r);
                    },
                    screen(15, ": ", 2), type("quit\n")},
          .prefix = {"/bin/sh", "-c", "ulimit -f 1; exec \"$@\"", "sh"}});
}

} // namespace
