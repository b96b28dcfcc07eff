#include <gtest/gtest.h>
#include <string>

#include "support/run.h"
#include "support/tempdir.h"

namespace {

const std::string kData = std::string(TEST_DATA) + "/dump/";

// Dumps conf with the real binary; its whole standard output must equal the
// golden file.
void expectDump(const std::string& conf, const std::string& golden) {
    RunResult r = runProgram({QUORVEL_BIN, "-d", "-c" + conf});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    std::string want = readFile(kData + golden);
    ASSERT_FALSE(want.empty()) << golden;
    EXPECT_EQ(r.out, want);
}

TEST(Dump, OnlyComments) {
    expectDump(kData + "comments.conf", "comments.out");
}

TEST(Dump, ExampleConfiguration) {
    expectDump(std::string(EXAMPLES_DIR) + "/bench.conf", "bench.out");
}

TEST(Dump, CalculatedReadingsPrintTheirOperands) {
    expectDump(kData + "calc.conf", "calc.out");
}

TEST(Dump, NoReadOrAddrLines) {
    expectDump(kData + "noreadaddr.conf", "noreadaddr.out");
}

TEST(Dump, RefusedFilePrintsNoDump) {
    TempDir dir;
    RunResult r = runProgram({QUORVEL_BIN, "-d", "-c" + dir.write("bad.conf", "dsp:3;1;x;y\n")});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_EQ(r.out, "\n\n");
}

} // namespace
