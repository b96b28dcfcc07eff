// The real binary's usage and configuration dumps, byte for byte against
// golden files, and the update interval its flags give.
#include <gtest/gtest.h>
#include <string>
#include <tuple>
#include <unistd.h>
#include <vector>

#include "main/cli.h"
#include "support/child.h"
#include "support/tempdir.h"

namespace {

TEST(Cli, GoldenFiles) {
    const std::string bin = QUORVEL_BIN, data = std::string(TEST_DATA) + "/";
    TempDir dir;
    // Without -c the configuration is the invocation path plus ".conf".
    std::string bench = dir.file("bench");
    ASSERT_EQ(symlink(bin.c_str(), bench.c_str()), 0);
    ASSERT_EQ(symlink((data + "dump/calc.conf").c_str(), (bench + ".conf").c_str()), 0);
    const std::tuple<std::vector<std::string>, int, std::string> cases[] = {
        {{bin}, 1, "cli/usage.out"},
        {{bin, "-h"}, 0, "cli/usage.out"},
        {{bin, "--help"}, 0, "cli/usage.out"},
        {{bin, "-d", "-c" + data + "dump/warnings.conf"}, 0, "dump/warnings.out"},
        {{bench, "-d"}, 0, "dump/calc.out"},
        {{bin, "-D", "-C" EXAMPLES_DIR "/bench.conf"}, 0, "dump/bench.out"},
        {{bin, "-d", "-c" + data + "dump/noreadaddr.conf"}, 0, "dump/noreadaddr.out"},
        {{bin, "-d", "-c" + data + "dump/fields.conf"}, 0, "dump/fields.out"},
        {{bench, "-x"}, 4, "cli/nodevice.out"}, // an unknown flag is the device path
        {{bin, "-c", "x.conf", "/dev/null"}, 2, "cli/detached.out"}};
    for (const auto& [argv, code, golden] : cases) {
        RunResult r = runProgram(argv);
        EXPECT_EQ(r.exitCode, code) << golden;
        std::string all = r.out + r.err;
        for (const std::string& prefix : {data, dir.path() + "/"})
            for (size_t at; (at = all.find(prefix)) != std::string::npos;)
                all.erase(at, prefix.size());
        EXPECT_EQ(all, readFile(data + golden)) << golden;
    }
    RunResult version = runProgram({bin, "--version"});
    EXPECT_TRUE(version.out.starts_with("quorvel " QUORVEL_VERSION " (built with ")) << version.out;
    // Past the store's room, warnings are only counted.
    std::string many;
    for (int i = 0; i < 40; i++) many += "x:\n";
    RunResult r = runProgram({bin, "-d", "-c" + dir.write("many.conf", many)});
    EXPECT_TRUE(r.err.ends_with(":32: warning: x: is no keyword: line ignored\n" +
                                dir.file("many.conf") + ": 8 more warnings\n"))
        << r.err;
}

TEST(Cli, Interval) {
    // run_test checks the refusals.
    for (auto [arg, ms] :
         {std::pair<std::string, long>{"-U1500", 1500}, {"-u86400000", 86400000}}) {
        std::string prog = "quorvel", dev = "/dev/port";
        char* argv[] = {prog.data(), arg.data(), dev.data(), nullptr};
        Options opts;
        ASSERT_EQ(cliParse(3, argv, &opts), 0) << arg;
        EXPECT_EQ(opts.intervalMs, ms);
        EXPECT_EQ(opts.devices[0], argv[2]);
    }
}

} // namespace
