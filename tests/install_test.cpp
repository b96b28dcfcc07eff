// The install rules: an install into a fresh prefix puts the program, the
// simulator, both manual pages, the bash completion and the examples where
// their users look for them.
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

#include "support/run.h"
#include "support/tempdir.h"
#include "support/tools.h"

namespace {

namespace fs = std::filesystem;

class Install : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string cmake = findProgram("cmake");
        ASSERT_FALSE(cmake.empty()) << "cmake is missing";
        std::string build = fs::path(QUORVEL_BIN).parent_path().string();
        RunResult r = runProgram({cmake, "--install", build, "--prefix", prefix_.path()}, 60000);
        ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    }

    std::string installed(const std::string& rel) const { return prefix_.path() + "/" + rel; }

    // The installed file exists and holds what the source tree holds.
    void expectCopy(const std::string& source, const std::string& rel) const {
        ASSERT_TRUE(fs::is_regular_file(installed(rel))) << rel;
        EXPECT_EQ(readFile(installed(rel)), readFile(sourceDir() + "/" + source)) << rel;
    }

    static bool executable(const std::string& path) {
        return fs::is_regular_file(path) && access(path.c_str(), X_OK) == 0;
    }

    TempDir prefix_;
};

TEST_F(Install, PutsProgramPagesCompletionAndExamplesInPlace) {
    EXPECT_TRUE(executable(installed("bin/quorvel")));
    expectCopy("man/quorvel.1", "share/man/man1/quorvel.1");
    expectCopy("man/quorvel-sim.1", "share/man/man1/quorvel-sim.1");
    // bash-completion loads a command's completion from a file of its name.
    expectCopy("completion/quorvel.bash", "share/bash-completion/completions/quorvel");
    for (const fs::directory_entry& e : fs::directory_iterator(EXAMPLES_DIR)) {
        std::string name = e.path().filename().string();
        expectCopy("examples/" + name, "share/doc/quorvel/examples/" + name);
    }
}

TEST_F(Install, PutsTheSimulatorInPlace) {
    std::string build = fs::path(QUORVEL_BIN).parent_path().string();
    if (!executable(build + "/tools/sim/quorvel-sim"))
        GTEST_SKIP() << "the simulator is not part of this build";
    EXPECT_TRUE(executable(installed("bin/quorvel-sim")));
}

} // namespace
