// Each shipped example configuration loads without a warning (readings where
// the screen has room), and runs against the simulator with every reading answered.
#include <filesystem>

#include "support/child.h"
#include "support/scenario.h"

namespace {

using std::string;

TEST(Examples, EachLoadsLaysOutAndRuns) {
    for (const auto& f : std::filesystem::directory_iterator(EXAMPLES_DIR)) {
        string path = f.path().string();
        if (!path.ends_with(".conf")) continue;
        SCOPED_TRACE(path);
        RunResult dump = runProgram({QUORVEL_BIN, "-d", "-c" + path});
        EXPECT_EQ(dump.exitCode, 0);
        // Not even a warning, such as a reading on a row the screen takes.
        EXPECT_EQ(dump.err, "");
        bool two = readFile(path).find("\naddr:2;") != string::npos;
        play(
            {.name = path,
             .config = "",
             .flags = {"-c" + path, "-u50", "-l{dir}/data.csv"},
             .devices = two ? std::vector<string>{"{dev}", "{dev1}"} : std::vector<string>{"{dev}"},
             .steps = {rows(3), type("quit\n")},
             .rows = "0,\"\"(,[-+.0-9E]+)+"});
    }
}

} // namespace
