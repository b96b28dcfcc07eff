// The display thread of the real program against the simulated controller,
// read off the emulated terminal: readings on their rows, the spinner, the
// mark state, and the purge of leftover controller input by -f and -r.
#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

#include "support/live.h"

namespace {

using std::chrono::milliseconds;

class DisplayTest : public LiveRun {};

TEST_F(DisplayTest, ReadingsStandOnTheirRows) {
    sim.setAnswer(22, "QA?", "1.25");
    sim.setAnswer(22, "QB?", "2.5");
    sim.setAnswer(22, "QC?", "C-first");
    sim.setAnswer(22, "QD?", "DCV +5.0");
    sim.setAnswer(22, "QE?", "E-later");
    sim.setAnswer(22, "QH?", "hidden");
    sim.setAnswer(9, "QS?", "never");
    sim.setFault(9, qsim::Fault::Silent);
    ASSERT_TRUE(start("dsp:1;22;A: ;QA?;5;0\n"
                      "dsp:1;22;B: ;QB?;5;0\n"
                      "dsp:1;22;C: ;QC?;7;0\n"
                      "dsp:1;22;D: ;QD?;8;1\n"
                      "dsp:1;22;E: ;QE?;7;0\n"
                      "dsp:1;22;H: ;QH?;0;0\n"
                      "dsp:1;9;S: ;QS?;10;0\n"));
    // Records of one row share it, each ending in a tab (to column 9).
    ASSERT_TRUE(term->waitForText(5, 1, "A: 1.25 B: 2.5")) << term->dump();
    EXPECT_EQ(term->text(5, 8, 1), " ");
    // Row 7 comes back after row 8: erased again, the later record alone.
    EXPECT_EQ(term->row(7), "E: E-later");
    // Dropping the answer's first word.
    EXPECT_EQ(term->row(8), "D: +5.0");
    ASSERT_TRUE(term->waitForText(10, 1, "S: ERR")) << term->dump();
    // The row 0 record is asked at every pass but never drawn.
    EXPECT_TRUE(sim.waitForLine("QH?", qterm::kWait));
    for (int r = 1; r <= qterm::kRows; r++)
        EXPECT_EQ(term->row(r).find("hidden"), std::string::npos);
}

TEST_F(DisplayTest, SpinnerStepsOncePerPass) {
    // Passes far enough apart that no two drawings reach the terminal as one.
    ASSERT_TRUE(start("", {"-u400"}));
    const std::string cycle = "|/-|\\-";
    std::string seen;
    // Every step the program draws is seen: each one is a separate write.
    bool allShown = term->waitFor([&] {
        std::string c = term->text(15, 1, 1);
        if (c != " " && (seen.empty() || seen.back() != c[0])) seen += c;
        return seen.size() >= 7;
    });
    ASSERT_TRUE(allShown) << seen << "\n" << term->dump();
    size_t at = cycle.find(seen.substr(0, 2));
    ASSERT_NE(at, std::string::npos) << seen;
    for (size_t i = 0; i < seen.size(); i++) EXPECT_EQ(seen[i], cycle[(at + i) % 6]) << seen;
}

TEST_F(DisplayTest, MarkStateAfterMark) {
    ASSERT_TRUE(start(""));
    ASSERT_TRUE(term->waitForText(18, 1, "Mark: OFF")) << term->dump();
    term->type("mark\n");
    EXPECT_TRUE(term->waitForText(18, 1, "Mark: ON ")) << term->dump();
}

// A long data-log path is shown by its tail, within its row.
TEST_F(DisplayTest, ALongDataLogPathKeepsToItsRow) {
    std::string sub = dir.path();
    while (sub.size() < 140) sub += "/nested-directory";
    std::filesystem::create_directories(sub);
    ASSERT_TRUE(start("", {"-u100", "-l" + sub + "/data-file.csv"}));
    EXPECT_TRUE(term->row(17).starts_with("Writing data to ")) << term->dump();
    EXPECT_TRUE(term->row(17).ends_with("/data-file.csv")) << term->dump();
    EXPECT_TRUE(term->waitForText(18, 1, "Mark: ")) << term->dump();
}

// A result computed from a failed reading is no measurement; any number of
// decimals is shown in the room a reading has, and soon.
TEST_F(DisplayTest, CalculatedReadings) {
    sim.setFault(9, qsim::Fault::Silent);
    std::string log = dir.file("data.csv");
    ASSERT_TRUE(start("dsp:1;9;S: ;QS?;5;0\n"
                      "dsp:1;0;P: ;$calc$;6;0;*;1;c2.0;4\n"
                      "dsp:1;0;H: ;$calc$;7;0;+;c2.5;c0;2147483647\n"
                      "dsp:1;0;K: ;$calc$;8;0;+;c2.5;c0;100\n",
                      {"-u100", "-l" + log}));
    ASSERT_TRUE(term->waitForText(7, 1, "H: 2.5", milliseconds(8000))) << term->dump();
    EXPECT_EQ(term->row(6), "P: ERR");
    EXPECT_EQ(term->row(7).substr(3), term->row(8).substr(3));
    EXPECT_EQ(term->row(8), "K: 2.5" + std::string(60, '0'));
    std::vector<std::string> cells;
    ASSERT_TRUE(term->waitFor([&] {
        std::istringstream rows(readFile(log));
        std::string row;
        for (std::string next; std::getline(rows, next);) row = next;
        std::istringstream split(row);
        cells.clear();
        for (std::string cell; std::getline(split, cell, ',');) cells.push_back(cell);
        return cells.size() == 9 && cells[0] != "Record";
    })) << readFile(log);
    EXPECT_EQ(cells[6], "ERR");
    EXPECT_EQ(cells[7], cells[8]);
    EXPECT_EQ(cells[8], "2.5" + std::string(60, '0'));
    term->type("quit\n");
    EXPECT_EQ(term->waitExit(), 0) << term->dump();
}

// An answer of two lines leaves its second line in the program's input
// buffer, and without a purge the next pass reads that leftover instead of
// its own answer.
struct PurgeCase {
    const char* name;
    std::vector<std::string> flags;
    bool failingRead; // a record on the second controller, which is not open
    bool leftoverSeen;
};

void PrintTo(const PurgeCase& c, std::ostream* os) {
    *os << c.name;
}

class DisplayPurgeTest : public LiveRun, public ::testing::WithParamInterface<PurgeCase> {};

TEST_P(DisplayPurgeTest, LeftoverInputAndThePurge) {
    const PurgeCase& c = GetParam();
    sim.setAnswer(22, "Q2?", "one\ntwo");
    std::string config = "dsp:1;22;Q: ;Q2?;5;0\n";
    if (c.failingRead) config += "dsp:2;22;F: ;F?;6;0\n";
    std::string log = dir.file("data.csv");
    std::vector<std::string> flags = c.flags;
    flags.push_back("-u20");
    flags.push_back("-l" + log);
    ASSERT_TRUE(start(config, flags));

    constexpr int kPasses = 10;
    std::vector<std::string> values;
    bool enough = term->waitFor([&] {
        std::istringstream rows(readFile(log));
        std::string row;
        std::getline(rows, row); // the header
        values.clear();
        while (std::getline(rows, row)) {
            std::vector<std::string> cells;
            std::istringstream split(row);
            for (std::string cell; std::getline(split, cell, ',');) cells.push_back(cell);
            if (cells.size() >= 6) values.push_back(cells[5]);
        }
        return values.size() >= kPasses;
    });
    ASSERT_TRUE(enough) << term->dump();
    std::string all;
    for (const std::string& v : values) all += v + " ";
    // The first pass never purges, and needs not.
    EXPECT_EQ(values[0], "one");
    bool leftover =
        std::any_of(values.begin(), values.end(), [](const std::string& v) { return v == "two"; });
    EXPECT_EQ(leftover, c.leftoverSeen) << all;
    // Every command went out: the only answers are the two lines.
    for (const std::string& v : values) EXPECT_TRUE(v == "one" || v == "two") << all;
    if (c.leftoverSeen) {
        EXPECT_TRUE(term->waitFor([&] { return term->row(5) != "Q: one"; })) << term->dump();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Flags, DisplayPurgeTest,
    ::testing::Values(PurgeCase{"NoFlag", {}, false, true},
                      // -f purges before every pass after the first...
                      PurgeCase{"Force", {"-f"}, false, false},
                      // ...except one after a pass whose read failed.
                      PurgeCase{"ForceWithFailures", {"-f"}, true, true},
                      // -r purges only after a pass whose read failed.
                      PurgeCase{"Reset", {"-r"}, false, true},
                      PurgeCase{"ResetWithFailures", {"-r"}, true, false},
                      PurgeCase{"BothWithFailures", {"-f", "-r"}, true, false}),
    [](const ::testing::TestParamInfo<PurgeCase>& info) { return std::string(info.param.name); });

} // namespace
