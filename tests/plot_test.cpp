// quorvel-plot on the data log of a real run (a mark with a quoted comma, a
// lost controller's ERR cells), and on logs that are not what they should be.
#include <cmath>
#include <gtest/gtest.h>

#include "datalog.h"
#include "support/child.h"
#include "support/scenario.h"

namespace {

using std::string;

RunResult plot(const std::vector<string>& args) {
    std::vector<string> argv = {QUORVEL_PLOT_BIN};
    argv.insert(argv.end(), args.begin(), args.end());
    return runProgram(argv, 60000);
}

bool hasErr(const string& row) {
    return row.find(",ERR") != string::npos;
}

TEST(Plot, SimulatorRunWithMarkAndGaps) {
    Scenario s{"run",
               "cfg:1;5;vset;VOLT ;1;0;Set supply voltage\n"
               "dsp:1;22;DMM volts: ;MEAS:VOLT?;5;0\n"
               "dsp:1;5;Set volts: ;VOLT?;6;0\n",
               {"-u50", "-l{dir}/data.csv"}};
    s.steps = {answer("vset 5.5", ""),
               answer("mark warm-up, done", ""),
               rows(5),
               vanish(),
               lastRow(hasErr),
               reappear(),
               lastRow([](const string& r) { return !hasErr(r); }),
               type("quit\n")};
    s.check = [](::Run& r) {
        string log = r.file("data.csv"), png = r.file("out.png");
        RunResult drawn = plot({"-o", png, log});
        EXPECT_EQ(drawn.exitCode, 0);
        EXPECT_EQ(drawn.err, "");
        EXPECT_EQ(readFile(png).substr(0, 8), "\x89PNG\r\n\x1a\n");
        RunResult dumb = plot({"--term", "dumb", log});
        EXPECT_EQ(dumb.exitCode, 0) << dumb.err;
        for (const char* label : {"DMM volts", "Set volts", "warm-up, done"})
            EXPECT_NE(dumb.out.find(label), string::npos) << label << "\n" << dumb.out;
        // The comma inside the comment leaves every reading in its column.
        qplot::DataLog d;
        string err;
        ASSERT_TRUE(qplot::logParse(readFile(log), d, err)) << err;
        ASSERT_EQ(d.marks.size(), 1u);
        EXPECT_EQ(d.marks[0].text, "warm-up, done");
        size_t gaps = 0;
        size_t mixed = 0;
        for (size_t i = 0; i < d.times.size(); i++) {
            bool gap = std::isnan(d.values[1][i]);
            gaps += gap;
            mixed += std::isnan(d.values[0][i]) != gap;
        }
        EXPECT_GT(gaps, 0u);
        // Only the passes that the unplug and the reconnection fell into.
        EXPECT_LE(mixed, 2u);
        EXPECT_EQ(d.values[1][d.marks[0].row], 5.5);
    };
    play(s);
}

TEST(Plot, BadInputIsNamed) {
    TempDir dir;
    const string head = "Record,Date,Time,Mark,Comment,A: ,B\n";
    // A run across midnight; an answer that is no number anywhere is a gap.
    string ok = dir.write("ok.csv", head + "1,12/31/2026,23:59:59,0,\"\",1,OK\n"
                                           "2,01/01/2027,00:00:01,1,\"\",2,OK");
    qplot::DataLog d;
    string err;
    ASSERT_TRUE(qplot::logParse(readFile(ok), d, err));
    EXPECT_EQ(d.times[1] - d.times[0], 2);
    const std::tuple<std::vector<string>, string, int, string> cases[] = {
        {{"--columns", "A,B", ok}, "", 0, ""},
        {{"--columns", "C", ok}, "", 2, "no reading \"C\" (the log has: A, B)"},
        {{"-o", "x.txt", ok}, "", 2, "name a .png or .svg file"},
        {{"-o", ok, "--term", "png", ok}, "", 2, "would overwrite the data log"},
        {{}, "Record,Date\n1,2", 3, "line 1: not a data log"},
        {{}, head + "1,12/31/2026,23:59:59,0,\"x", 3, "line 2: a quoted cell is not closed"},
        {{}, head + "1,12/31/2026,23:59:59,0,\"\",1", 3, "line 2: 6 cells, the header has 7"},
        {{}, head + "1,2026-12-31,23:59:59,0,\"\",1,2", 3, "line 2: no date"},
        {{}, head, 3, "no rows to plot"}};
    for (const auto& [args, content, code, message] : cases) {
        std::vector<string> argv = args;
        if (!content.empty()) argv.push_back(dir.write("bad.csv", content));
        RunResult r = plot(argv);
        EXPECT_EQ(r.exitCode, code) << content << r.err;
        EXPECT_NE(r.err.find(message), string::npos) << r.err;
    }
}

} // namespace
