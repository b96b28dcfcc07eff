// Each shipped example configuration loads, puts its readings where the screen
// has room, and runs against the simulator with every reading answered.
#include <filesystem>
#include <regex>

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
        EXPECT_EQ(dump.err, "");
        // No reading on rows 1 and 2 (drawn on row 3), 15 to 19 (prompt,
        // answer, log notice, mark, status), 23 and up (banner, cursor).
        EXPECT_FALSE(std::regex_search(
            dump.out, std::regex(", row=(-|[12],|1[5-9]|2[3-9]|[3-9][0-9]|[0-9]{3})")));
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
