// The display of the real program against the simulated controller, read off
// the emulated terminal and the data log: readings on their rows, calculated
// readings, the spinner, the mark state, and the purge of leftover input.
#include <algorithm>
#include <csignal>
#include <filesystem>
#include <regex>

#include "support/scenario.h"

namespace {

using std::string;

const string kNested = "/nested-directory/nested-directory/nested-directory/nested-directory"
                       "/nested-directory/nested-directory/nested-directory/nested-directory";

// An answer of two lines leaves its second line in the program's input
// buffer, and without a purge the next pass reads it instead of its own.
// -f purges before every pass after the first, except one after a pass whose
// read failed; -r purges only after a failed read.
Scenario purge(const string& name, std::vector<string> flags, bool failingRead, bool leftover) {
    flags.insert(flags.end(), {"-u20", "-l{dir}/data.csv"});
    return {.name = name,
            .config = "dsp:1;22;Q: ;Q2?;5;0\n" + string(failingRead ? "dsp:2;22;F: ;F?;6;0\n" : ""),
            .flags = flags,
            .bench = [](Run& r) { r.sim[0].setAnswer(22, "Q2?", "one\ntwo"); },
            .steps = {rows(10),
                      until([=](Run& r) { return !leftover || r.term->row(5) != "Q: one"; },
                            "leftover shown"),
                      type("quit\n")},
            .check =
                [=](Run& r) {
                    string values;
                    for (const Cells& row : r.csv())
                        if (row[0] != "Record") values += row[5] + " ";
                    // The first pass never purges, and needs not; every
                    // command went out, so the only answers are the two lines.
                    EXPECT_TRUE(values.starts_with("one ")) << values;
                    EXPECT_EQ(values.find("two ") != string::npos, leftover) << values;
                    EXPECT_TRUE(std::regex_match(values, std::regex("((one|two) )+"))) << values;
                }};
}

const std::vector<Scenario> kRows = {
    {.name = "ReadingsOnTheirRows",
     .config = "dsp:1;22;A: ;QA?;5;0\ndsp:1;22;B: ;QB?;5;0\ndsp:1;22;C: ;QC?;7;0\n"
               "dsp:1;22;D: ;QD?;8;1\ndsp:1;22;E: ;QE?;7;0\ndsp:1;22;H: ;QH?;0;0\n"
               "dsp:1;9;S: ;QS?;10;0\ncfg:1;5;help;*IDN?;0;1;Identify the supply\n",
     .bench =
         [](Run& r) {
             for (auto [q, a] : {std::pair<string, string>{"QA?", "1.25"},
                                 {"QB?", "2.5"},
                                 {"QC?", "C-first"},
                                 {"QD?", "DCV +5.0"},
                                 {"QE?", "E-later"},
                                 {"QH?", "hidden"}})
                 r.sim[0].setAnswer(22, q, a);
             r.sim[0].setFault(9, qsim::Fault::Silent);
         },
     .steps = {screen(5, "A: 1.25 B: 2.5"), screen(10, "S: ERR"), wire("QH?"),
               [](Run& r) {
                   // Records of one row share it, each ending in a tab.
                   EXPECT_EQ(r.term->text(5, 8, 1), " ");
                   // Row 7 comes back after row 8: erased, the later record alone.
                   EXPECT_EQ(r.term->row(7), "E: E-later");
                   // The answer's first word dropped.
                   EXPECT_EQ(r.term->row(8), "D: +5.0");
                   // Row 0 is asked at every pass but never drawn.
                   EXPECT_EQ(r.term->log().find("hidden"), string::npos);
               },
               screen(18, "Mark: OFF"),
               // A dictionary name hides the internal command of that name.
               answer("help", "QUORVEL-SIM,PSU,0,1.0"), answer("mark", ""), screen(18, "Mark: ON "),
               type("quit now\n")},
     .check = [](Run& r) { EXPECT_EQ(r.count("*IDN?"), 1); }},
    // A result computed from a failed reading is ERR; any number of decimals
    // is shown in the room a reading has, and soon. The log has a column for
    // each reading, an answer's commas quoted within it.
    {.name = "CalculatedAndLogged",
     .config = "dsp:1;22;V: ;MEAS:VOLT?;5;0\ndsp:1;9;S: ;QS?;0;0\n"
               "dsp:1;0;P: ;$calc$;6;0;*;2;c2.0;4\ndsp:1;0;T: ;$calc$;7;0;*;1;c2;3\n"
               "dsp:1;0;H: ;$calc$;8;0;+;c2.5;c0;2147483647\n"
               "dsp:1;0;K: ;$calc$;9;0;+;c2.5;c0;100\ndsp:1;22;Id: ;*IDN?;10;0\n",
     .flags = {"-u20", "-l{dir}/data.csv"},
     .bench = [](Run& r) { r.sim[0].setFault(9, qsim::Fault::Silent); },
     .steps = {[](Run& r) {
                   ASSERT_TRUE(r.term->waitForText(8, 1, "H: 2.5", std::chrono::seconds(8)))
                       << r.term->dump();
                   EXPECT_EQ(r.term->row(6), "P: ERR");
                   EXPECT_EQ(r.term->row(9), "K: 2.5" + string(60, '0'));
                   EXPECT_EQ(r.term->row(8), "H: 2.5" + string(60, '0'));
               },
               rows(3), type("quit\n")},
     .check =
         [](Run& r) {
             auto rows = r.csv();
             EXPECT_EQ(rows[0], (Cells{"Record", "Date", "Time", "Mark", "Comment",
                                       "V: ", "S: ", "P: ", "T: ", "H: ", "K: ", "Id: "}));
             string many = "2\\.5" + string(60, '0');
             expectRows(r, "0,\"\",[-+.0-9E]+,ERR,ERR,[0-9.]+," + many + "," + many +
                               ",\"QUORVEL-SIM,DMM,0,1.0\"");
             for (size_t i = 1; i < rows.size(); i++)
                 EXPECT_NEAR(std::stod(rows[i][8]), 2 * std::stod(rows[i][5]), 0.01);
             EXPECT_FALSE(readFile(r.file("data.csv")).ends_with("\n"));
         }},
    // A long data-log path is shown by its tail within its row; the spinner
    // steps once per pass; a kill loses no finished row.
    {.name = "SpinnerPathAndKill",
     .config = "",
     .flags = {"-u400", "-l{dir}" + kNested + "/data.csv"},
     .bench =
         [](Run& r) {
             std::filesystem::create_directories(r.file(kNested.substr(1)));
             r.dir.write(kNested.substr(1) + "/data.csv", "old contents of an earlier run\n");
         },
     .steps = {screen(18, "Mark: "),
               [](Run& r) {
                   EXPECT_TRUE(r.term->row(17).starts_with("Writing data to ")) << r.term->dump();
                   EXPECT_TRUE(r.term->row(17).ends_with("/nested-directory/data.csv"))
                       << r.term->dump();
                   // Passes far enough apart that each step is a separate write.
                   string seen;
                   ASSERT_TRUE(r.waitFor([&] {
                       string c = r.term->text(15, 1, 1);
                       if (c != " " && (seen.empty() || seen.back() != c[0])) seen += c;
                       return seen.size() >= 7;
                   })) << seen;
                   EXPECT_NE(string("|/-|\\-|/-|\\-|/-|\\-").find(seen), string::npos) << seen;
               },
               sig(SIGKILL)},
     .code = 128 + SIGKILL,
     .check =
         [](Run& r) {
             string log = kNested.substr(1) + "/data.csv";
             ASSERT_GE(r.lines(log).size(), 4U);
             EXPECT_EQ(r.lines(log)[0], "Record,Date,Time,Mark,Comment");
             expectRows(r, "0,\"\"", log);
         }},
    purge("NoPurge", {}, false, true),
    purge("Force", {"-f"}, false, false),
    purge("ForceWithFailures", {"-f"}, true, true),
    purge("Reset", {"-r"}, false, true),
    purge("ResetWithFailures", {"-r"}, true, false),
    purge("BothWithFailures", {"-f", "-r"}, true, false),
};

TEST_P(Scenarios, Run) {
    play(GetParam());
}
INSTANTIATE_TEST_SUITE_P(Display, Scenarios, ::testing::ValuesIn(kRows), rowName);

} // namespace
