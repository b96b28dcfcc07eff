// The terminal operations byte for byte, and the static screen as a 24 x 80
// terminal shows it once the real program has drawn it.
#include <cstdio>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

#include "screen/ansi.h"
#include "support/pty.h"
#include "support/tempdir.h"
#include "support/term.h"

namespace {

// What f writes to standard output.
std::string captureStdout(const std::function<void()>& f) {
    fflush(stdout);
    int saved = dup(1);
    FILE* sink = tmpfile();
    dup2(fileno(sink), 1);
    f();
    fflush(stdout);
    dup2(saved, 1);
    close(saved);
    std::string out;
    rewind(sink);
    for (int c = 0; (c = fgetc(sink)) != EOF;) out += static_cast<char>(c);
    fclose(sink);
    return out;
}

// A golden text without the line feed that ends the file.
std::string golden(const std::string& name) {
    std::string text = readFile(std::string(TEST_DATA "/console/") + name);
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

std::string cursorPos(int row, int col) {
    // Callers hand wider integers; the operation sees their low 8 bits.
    return captureStdout([&] { ansiCursorPos(row, col); });
}

TEST(AnsiTest, PlainOperations) {
    EXPECT_EQ(captureStdout(ansiClrScr), "\x1b[2J");
    EXPECT_EQ(captureStdout(ansiEraseLine), "\x1b[K");
    EXPECT_EQ(captureStdout(ansiCursorSav), "\x1b"
                                            "7");
    EXPECT_EQ(captureStdout(ansiCursorRst), "\x1b"
                                            "8");
}

TEST(AnsiTest, CursorPositionKeepsToRow24AndColumn79) {
    EXPECT_EQ(cursorPos(24, 79), "\x1b[24;79H");
    EXPECT_EQ(cursorPos(1, 1), "\x1b[1;1H");
    EXPECT_EQ(cursorPos(0, 0), "\x1b[0;0H");
    EXPECT_EQ(cursorPos(25, 1), "");
    EXPECT_EQ(cursorPos(1, 80), "");
    EXPECT_EQ(cursorPos(255, 255), "");
}

TEST(AnsiTest, CursorPositionTakesTheLow8Bits) {
    EXPECT_EQ(cursorPos(259, 259), "\x1b[3;3H");
    EXPECT_EQ(cursorPos(256 + 24, 256 + 79), "\x1b[24;79H");
    EXPECT_EQ(cursorPos(256 + 25, 1), "");
    EXPECT_EQ(cursorPos(256, 256), "\x1b[0;0H");
}

// The program on a terminal, with a controller that never answers: the
// static screen needs no instrument.
class StaticScreenTest : public ::testing::Test {
  protected:
    TempDir dir;
    PtyPair controller;
    std::string config = dir.write("screen.conf", "addr:1;0;++addr\nread:1;0;++read eoi;20\n");

    std::vector<std::string> args(std::vector<std::string> flags) {
        std::vector<std::string> argv{QUORVEL_BIN, "-c" + config};
        argv.insert(argv.end(), flags.begin(), flags.end());
        argv.push_back(controller.path());
        return argv;
    }

    static void quit(qterm::Term& term) {
        term.type("quit\n");
        EXPECT_EQ(term.waitExit(), 0) << term.dump();
    }
};

TEST_F(StaticScreenTest, MarkLabelBannerAndNoLogNotice) {
    qterm::Term term(args({"-u50"}));
    ASSERT_TRUE(term.waitForText(18, 1, "Mark: OFF")) << term.dump();
    EXPECT_EQ(term.row(23), golden("banner.txt")) << term.dump();
    EXPECT_EQ(term.row(17), "");
    ASSERT_TRUE(term.waitForText(15, 2, ": ")) << term.dump();
    quit(term);
}

TEST_F(StaticScreenTest, DataLogPathOnRow17) {
    std::string log = dir.file("data.csv");
    qterm::Term term(args({"-l" + log, "-u50"}));
    ASSERT_TRUE(term.waitForText(18, 1, "Mark: OFF")) << term.dump();
    EXPECT_EQ(term.row(17), "Writing data to " + log);
    EXPECT_EQ(term.row(23), golden("banner.txt"));
    quit(term);
}

// A data log whose rows stop fitting on the disk says so after its path,
// and the run goes on.
TEST_F(StaticScreenTest, DataLogWriteFailureShownAfterThePath) {
    std::string log = dir.file("data.csv");
    std::string cmd;
    for (const std::string& a : args({"-l" + log, "-u0"})) cmd += " '" + a + "'";
    // A file size limit of one 512-byte block holds the header and a few
    // rows; the later writes fail (the program does not die of SIGXFSZ).
    qterm::Term term({"/bin/sh", "-c", "ulimit -f 1; exec" + cmd});
    ASSERT_TRUE(term.waitForText(17, 1, "Writing data to " + log + " data log file error"))
        << term.dump();
    EXPECT_TRUE(term.waitForText(15, 2, ": "));
    quit(term);
}

} // namespace
