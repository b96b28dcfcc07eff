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
        std::string want = readFile(data + golden);
        ASSERT_FALSE(want.empty()) << golden;
        EXPECT_EQ(r.out, want) << golden;
    }
}

// Lines that load but look like mistakes: each warned of after the dump,
// with file and line, and past the store's room only counted.
TEST(Dump, Warnings) {
    const std::string data = std::string(TEST_DATA) + "/dump/";
    RunResult r = runProgram({QUORVEL_BIN, "-d", "-c" + data + "warnings.conf"});
    EXPECT_EQ(r.exitCode, 0);
    for (size_t at; (at = r.err.find(data)) != std::string::npos;) r.err.erase(at, data.size());
    EXPECT_EQ(r.err, readFile(data + "warnings.err")) << r.err;
    TempDir dir;
    std::string many;
    for (int i = 0; i < 40; i++) many += "x:\n";
    r = runProgram({QUORVEL_BIN, "-d", "-c" + dir.write("many.conf", many)});
    EXPECT_TRUE(r.err.ends_with(":32: warning: x: is no keyword: line ignored\n" +
                                dir.file("many.conf") + ": 8 more warnings\n"))
        << r.err;
}

} // namespace
