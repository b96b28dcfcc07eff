// The dump of the real binary, byte for byte against golden files.
#include <gtest/gtest.h>
#include <string>

#include "support/run.h"
#include "support/tempdir.h"

namespace {

TEST(Dump, MatchesGoldenFiles) {
    const std::string data = std::string(TEST_DATA) + "/dump/";
    const std::pair<std::string, const char*> cases[] = {
        {data + "comments.conf", "comments.out"},
        {std::string(EXAMPLES_DIR) + "/bench.conf", "bench.out"},
        {data + "calc.conf", "calc.out"},
        {data + "noreadaddr.conf", "noreadaddr.out"},
    };
    for (const auto& [conf, golden] : cases) {
        RunResult r = runProgram({QUORVEL_BIN, "-d", "-c" + conf});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.err, "");
        std::string want = readFile(data + golden);
        ASSERT_FALSE(want.empty()) << golden;
        EXPECT_EQ(r.out, want) << golden;
    }
}

} // namespace
