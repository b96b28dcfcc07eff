// The console and the display of the real program on an emulated terminal,
// checked on the screen, on the simulated controller's wire and in the data
// log: commands and their refusals, help, marks, readings on their rows,
// calculated readings, the spinner and leftover input.
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <thread>

#include "support/scenario.h"

namespace {

using std::string;

const string kDictionary = "cfg:1;5;vset;VOLT ;1;0;Set supply voltage\n"
                           "cfg:1;5;vget;VOLT?;0;1;Read supply voltage\n"
                           "cfg:1;5;Outp;OUTP ;0;0;Output on or off\n"
                           "off:1;5;OUTP OFF\n";
const string kData = TEST_DATA "/console/";

// The screen from its first non-empty row on.
string screenText(const Run& r) {
    string out;
    for (int i = 1; i <= qterm::kRows; i++) out += r.term->row(i) + "\n";
    return out.erase(0, out.find_first_not_of('\n'));
}

// The screen's fixed rows as a redraw leaves them.
const Step kRedrawn = [](Run& r) {
    EXPECT_TRUE(r.term->waitForText(18, 1, "Mark: OFF")) << r.term->dump();
    EXPECT_EQ(r.term->row(23) + "\n", readFile(kData + "banner.txt"));
    EXPECT_TRUE(r.term->waitForText(15, 2, ": ")) << r.term->dump();
};

const string kFits = "vset 5" + string(62, ' ');
const string kNested = "/nested-directory/nested-directory/nested-directory/nested-directory"
                       "/nested-directory/nested-directory/nested-directory/nested-directory";

// An answer of two lines leaves its second line behind: it is discarded
// before the next query, never taken as that query's answer.
const Scenario kLeftover = {.name = "LeftoverNeverAnAnswer",
                            .config = "dsp:1;22;Q: ;Q2?;5;0\n",
                            .flags = {"-u20", "-l{dir}/data.csv"},
                            .answers = {{22, "Q2?", "one\ntwo"}},
                            .steps = {rows(10), type("quit\n")},
                            .rows = "0,\"\",one"};

const std::vector<Scenario> kRows = {
    {.name = "CommandsAndRefusals",
     .config = kDictionary + fillers(20),
     .steps = {answer("vset 1.5", ""), answer("vget", "+1.500000E+00"),
               // Any case; leading spaces dropped, trailing ones sent with the value.
               answer("VSET 2.5", ""), answer("  vset   3.5  ", ""),
               // A value after a command that needs none is appended all the same.
               answer("outp ON", ""), answer("vset", "Value required"),
               answer("vset   ", "Value required"), answer("", "Invalid command"),
               answer("   ", "Invalid command"), answer("vset\t1.5", "Invalid command"),
               answer("nosuch 1", "Invalid command"),
               // 68 characters fit, line feed included in the 69 bytes read;
               // longer lines are refused whole.
               answer(kFits, ""), answer("vset 8" + string(63, ' '), "Line too long"),
               answer("vset 7" + string(63, ' ') + "vset 9", "Line too long"),
               // A NUL byte would hide the rest of the line from the length test.
               answer(string("mark\0", 5) + string(64, 'x') + "vset 9.5", "Line too long"),
               answer(string("vset 1\0x", 8), "Line too long"), answer("vget", "+5.000000E+00"),
               // A listing longer than the screen stops after each screenful.
               type("HELP\n"),
               screen(24, "-- more: ENTER --"),
               [](Run& r) {
                   EXPECT_EQ(r.term->row(1), "++++++++++Dictonary Commands++++++++++");
                   EXPECT_EQ(r.term->row(23), "c19: filler");
               },
               type("vset 6\n"),
               until([](Run& r) { return screenText(r) == readFile(kData + "help.txt"); }, "end"),
               // The whole line that ends the help screen is read: none of it runs.
               type(string(69, ' ') + "vset 7\n"), kRedrawn, answer("vget", "+5.000000E+00"),
               answer("nosuch", "Invalid command"), type("cls\n"),
               until([](Run& r) { return r.term->row(16).empty(); }, "cls"), kRedrawn,
               [](Run& r) { EXPECT_EQ(r.term->text(15, 4, 3), "   "); }, closeInput()},
     .check =
         [](Run& r) {
             EXPECT_EQ(r.sim[0].lines(),
                       (Cells{"++addr 5", "VOLT 1.5", "VOLT?", "++read eoi", "VOLT 2.5", "VOLT 3.5  ",
                              "OUTP ON", "VOLT " + kFits.substr(5), "VOLT?", "++read eoi", "VOLT?",
                              "++read eoi", "OUTP OFF"}));
         }},
    // Help left open holds up neither the passes nor the log; the screen
    // comes back with the values of the last pass, and cls after it as often.
    {.name = "HelpLeftOpen",
     .config = kDictionary + "dsp:1;22;V: ;MEAS:VOLT?;5;0\n",
     .flags = {"-u50", "-l{dir}/data.csv"},
     .steps = {rows(2), type("help\n"), screen(24, "Press ENTER to resume."),
               [](Run& r) {
                   r.sim[0].setAnswer(22, "MEAS:VOLT?", "7.5");
                   size_t before = r.lines().size();
                   std::this_thread::sleep_for(std::chrono::seconds(3));
                   EXPECT_GT(r.lines().size(), before + 10);
                   EXPECT_EQ(r.term->row(5), "");
               },
               type("\n"), screen(5, "V: 7.5"),
               // Redraws among the passes (a race under ThreadSanitizer).
               [](Run& r) {
                   for (int i = 0; i < 40; i++) {
                       r.type("cls\n");
                       std::this_thread::sleep_for(std::chrono::milliseconds(20));
                   }
               },
               type("quit\n")},
     .rows = "0,\"\",[^,]+"},
    // A resize redraws the screen as cls does, with the rows of 80 x 24 on a
    // larger terminal. A smaller one shows the rows it has, each cut at its
    // width, and names the hidden ones on its last row; below 40 x 16 only
    // its size is shown. Under commands the display keeps its pace: each
    // command is served between passes, and the pass after it comes when it
    // was due.
    {.name = "SizesAndPaceUnderCommands",
     .config = kDictionary + "dsp:1;22;V: ;MEAS:VOLT?;5;0\ndsp:1;22;Current through the load: ;"
                             "MEAS:CURR?;6;0\ndsp:1;5;Voltage set at the supply: ;VOLT?;6;0\n"
                             "dsp:1;5;Hidden: ;CURR?;22;0\n",
     .flags = {"-u200"},
     .steps = {screen(5, "V: +"), answer("nosuch", "Invalid command"), resize(30, 100),
               until([](Run& r) { return r.term->row(16).empty(); }, "redrawn"), kRedrawn,
               [](Run& r) { EXPECT_EQ(r.term->row(24), ""); }, resize(23, 80),
               screen(23, "terminal 80x23: rows 23-24 hidden"), screen(5, "V: +"),
               resize(20, 80), screen(20, "terminal 80x20: rows 21-24 hidden"),
               resize(24, 60), until([](Run& r) { return r.term->row(20).empty(); }, "60"),
               kRedrawn,
               [](Run& r) {
                   EXPECT_LE(r.term->row(6).size(), 59U) << r.term->dump();
                   EXPECT_EQ(r.term->row(7), "");
               },
               resize(12, 30), screen(1, "terminal 30x12, needs 40x16: "),
               [](Run& r) {
                   int polls = r.count("CURR?");
                   EXPECT_TRUE(r.waitFor([&] { return r.count("CURR?") > polls + 2; }));
                   EXPECT_EQ(r.term->row(5), "") << r.term->dump();
               },
               resize(24, 80), kRedrawn, screen(5, "V: +"),
               [](Run& r) {
                   // Passes in 4 s alone and in 4 s of commands, on the same
                   // machine under the same load: a command costs the display
                   // no pass, where two intervals after each would halve them.
                   auto passes = [&](bool commands) {
                       int polls = r.count("MEAS:VOLT?");
                       auto end = std::chrono::steady_clock::now() + std::chrono::seconds(4);
                       while (std::chrono::steady_clock::now() < end) {
                           if (commands) answer("vget", "+0.000000E+00")(r);
                           std::this_thread::sleep_for(std::chrono::milliseconds(60));
                       }
                       return r.count("MEAS:VOLT?") - polls;
                   };
                   int alone = passes(false);
                   EXPECT_GE(passes(true) * 3, alone * 2) << alone << " passes alone";
               },
               type("quit\n")}},
    {.name = "ReadingsOnTheirRows",
     .config = "dsp:1;22;A: ;QA?;5;0\ndsp:1;22;B: ;QB?;5;0\ndsp:1;22;C: ;QC?;7;0\n"
               "dsp:1;22;D: ;QD?;8;1\ndsp:1;22;E: ;QE?;7;0\ndsp:1;22;H: ;QH?;0;0\n"
               "dsp:1;9;S: ;QS?;10;0\ncfg:1;5;help;*IDN?;0;1;Identify the supply\n",
     .answers = {{22, "QA?", "1.25"}, {22, "QB?", "2.5"}, {22, "QC?", "C-first"},
                 {22, "QD?", "DCV +5.0"}, {22, "QE?", "E-later"}, {22, "QH?", "hidden"}},
     .faults = {{9, qsim::Fault::Silent}},
     .steps = {screen(5, "A: 1.25 B: 2.5"), screen(10, "S: ERR"), wire("QH?"),
               [](Run& r) {
                   // Records of one row share it, each ending in a tab.
                   EXPECT_EQ(r.term->text(5, 8, 1), " ");
                   // Row 7 comes back after row 8: erased, the later record alone.
                   EXPECT_EQ(r.term->row(7), "E: E-later");
                   // The answer's first word dropped.
                   EXPECT_EQ(r.term->row(8), "D: +5.0");
               },
               screen(18, "Mark: OFF"),
               // A dictionary name hides the internal command of that name.
               answer("help", "QUORVEL-SIM,PSU,0,1.0"), answer("mark", ""), screen(18, "Mark: ON "),
               type("QUIT now\n")},
     .wire = {{"*IDN?", 1}},
     // Row 0 is asked at every pass but never drawn.
     .never = {"hidden"}},
    // A result computed from a failed reading is ERR; any number of decimals
    // is shown in the room a reading has, and soon. The log has a column for
    // each reading, an answer's commas quoted within it. Ctrl-S reaches the
    // console as a character: neither the screen nor the log stops, and the
    // terminal gets its flow control back at the end. A mark's comment goes
    // with one row; its state stays until the next mark.
    {.name = "LoggedCalculationsMarksAndCtrlS",
     .config = "dsp:1;22;V: ;MEAS:VOLT?;5;0\ndsp:2;22;S: ;QS?;0;0\n"
               "dsp:1;0;P: ;$calc$;6;0;*;2;c2.0;4\ndsp:1;0;T: ;$calc$;7;0;*;1;c2;3\n"
               "dsp:1;0;H: ;$calc$;8;0;+;c2.5;c0;2147483647\n"
               "dsp:1;0;K: ;$calc$;9;0;+;c2.5;c0;100\ndsp:1;22;Id: ;*IDN?;10;0\n",
     .flags = {"-u20", "-l{dir}/data.csv"},
     .steps = {[](Run& r) {
                   ASSERT_TRUE(r.term->waitForText(8, 1, "H: 2.5", std::chrono::seconds(8)))
                       << r.term->dump();
                   EXPECT_EQ(r.term->row(6), "P: ERR");
                   EXPECT_EQ(r.term->row(9), "K: 2.5" + string(60, '0'));
                   EXPECT_EQ(r.term->row(8), "H: 2.5" + string(60, '0'));
               },
               screen(15, ": ", 2), type("\x13"),
               [](Run& r) {
                   size_t before = r.lines().size(), from = r.term->log().size();
                   EXPECT_TRUE(r.waitFor([&] { return r.lines().size() > before + 5; }));
                   EXPECT_TRUE(r.term->waitForOutput("V: ", from));
               },
               answer("\x11", "Invalid command"), answer("mark first run, \"quoted\"", ""),
               screen(18, "Mark: ON "),
               lastRow([](const string& l) { return l.find(",1,") != string::npos; }),
               answer("mark", ""), screen(18, "Mark: OFF"),
               lastRow([](const string& l) { return l.find(",0,\"\",") != string::npos; }),
               type("quit\n")},
     .rows = "[01],(\"\"|\"first run, \"\"quoted\"\"\"),[-+.0-9E]+,ERR,ERR,[0-9.]+,2\\.5" +
             string(60, '0') + ",2\\.5" + string(60, '0') + ",\"QUORVEL-SIM,DMM,0,1.0\"",
     .check =
         [](Run& r) {
             EXPECT_TRUE(r.term->flowControl());
             auto rows = r.csv();
             EXPECT_EQ(rows[0], (Cells{"Record", "Date", "Time", "Mark", "Comment", "V: ", "S: ",
                                       "P: ", "T: ", "H: ", "K: ", "Id: "}));
             string marks;
             for (size_t i = 1; i < rows.size(); i++) {
                 marks += rows[i][3] + (rows[i][4].empty() ? "" : "c");
                 EXPECT_NEAR(std::stod(rows[i][8]), 2 * std::stod(rows[i][5]), 0.01);
             }
             EXPECT_TRUE(std::regex_match(marks, std::regex("0+1c1*0+"))) << marks;
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
                   // Where the earlier rows went follows the path's tail.
                   EXPECT_TRUE(r.waitFor([&] {
                       return r.term->row(17).ends_with(
                           "/nested-directory/data.csv (old rows in data.csv.~1~)");
                   })) << r.term->dump();
                   EXPECT_TRUE(r.term->row(17).starts_with("Writing data to ...")) << r.term->dump();
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
             EXPECT_EQ(readFile(r.file(log + ".~1~")), "old contents of an earlier run\n");
             expectRows(r, "0,\"\"", log);
         }},
    kLeftover,
};

TEST_P(Scenarios, Run) {
    play(GetParam());
}
INSTANTIATE_TEST_SUITE_P(Screen, Scenarios, ::testing::ValuesIn(kRows), rowName);

} // namespace
