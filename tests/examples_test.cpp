// The shipped example configurations: each one loads with every record, puts
// its readings where the screen has room, and runs against the simulated
// controllers with every reading answered and its supplies set.
#include <filesystem>
#include <map>
#include <regex>

#include "support/run.h"
#include "support/scenario.h"

namespace {

using std::string;

// How often re matches in text.
long matches(const string& text, const string& re) {
    std::regex r(re);
    return std::distance(std::sregex_iterator(text.begin(), text.end(), r), {});
}

struct Example {
    std::vector<string> devices;
    string settings; // neighbouring data-log cells of the supply settings
};

const std::map<string, Example> kExamples = {
    {"bench.conf", {{"{dev}"}, ",+5.000000E+00,"}},
    {"power.conf", {{"{dev}"}, ",+5.000000E+00"}},
    // Each supply gets its own setting, though both sit at address 5.
    {"two-controllers.conf", {{"{dev}", "{dev1}"}, ",+5.000000E+00,+3.300000E+00,"}},
};

TEST(Examples, EachLoadsLaysOutAndRuns) {
    for (const auto& f : std::filesystem::directory_iterator(EXAMPLES_DIR)) {
        string path = f.path().string(), name = f.path().filename().string();
        if (!name.ends_with(".conf")) continue;
        SCOPED_TRACE(name);
        ASSERT_TRUE(kExamples.contains(name)) << "an example without its row here";
        const Example& e = kExamples.at(name);
        RunResult dump = runProgram({QUORVEL_BIN, "-d", "-c" + path});
        EXPECT_EQ(dump.exitCode, 0);
        EXPECT_EQ(dump.err, "");
        // Every line of the file that makes a record is one.
        long records = matches(readFile(path), "(^|\n)(init|cfg|dsp|off):");
        EXPECT_TRUE(dump.out.ends_with("# records=" + std::to_string(records) + ", max=500\n\n\n"));
        // Readings go on row 0 (logged only) or where the screen has room: not
        // on rows 1 and 2 (drawn on row 3), 15 to 19 (prompt, answer, log
        // notice, mark, status), 23 and 24 (banner, cursor).
        EXPECT_EQ(matches(dump.out, ", row=(0|[3-9]|1[0-4]|2[0-2]), "),
                  matches(dump.out, ", row="));
        play({.name = name,
              .config = "",
              .flags = {"-c" + path, "-u50", "-l{dir}/data.csv"},
              .devices = e.devices,
              .steps = {rows(3), type("quit\n")},
              .rows = "0,\"\"(,[-+.0-9E]+)+",
              .check = [&](::Run& r) {
                  EXPECT_NE(r.lines().back().find(e.settings), string::npos) << r.lines().back();
              }});
    }
}

} // namespace
