// The command console of the real program, typed at on an emulated terminal
// and checked on the screen, on the simulated controller's wire and in the
// data log.
#include <algorithm>
#include <cstdio>
#include <regex>

#include "support/scenario.h"

namespace {

using std::string;

const string kDictionary = "cfg:1;5;vset;VOLT ;1;0;Set supply voltage\n"
                           "cfg:1;5;vget;VOLT?;0;1;Read supply voltage\n"
                           "cfg:1;5;Outp;OUTP ;0;0;Output on or off\n"
                           "off:1;5;OUTP OFF\n";

string golden(const string& name) {
    string text = readFile(TEST_DATA "/console/" + name);
    if (text.ends_with("\n")) text.pop_back();
    return text;
}

// The screen from its first non-empty row on.
string screenText(const Run& r) {
    std::vector<string> rows;
    for (int i = 1; i <= qterm::kRows; i++) rows.push_back(r.term->row(i));
    auto first = std::find_if(rows.begin(), rows.end(), [](const string& s) { return !s.empty(); });
    string out;
    for (auto it = first; it != rows.end(); it++) out += (it != first ? "\n" : "") + *it;
    return out;
}

// The screen's fixed rows as a redraw leaves them.
const Step kRedrawn = [](Run& r) {
    EXPECT_TRUE(r.term->waitForText(18, 1, "Mark: OFF")) << r.term->dump();
    EXPECT_EQ(r.term->row(23), golden("banner.txt"));
    EXPECT_TRUE(r.term->waitForText(15, 2, ": ")) << r.term->dump();
};

const string kFits = "vset 5" + string(62, ' ');

const std::vector<Scenario> kRows = {
    {.name = "CommandsAndRefusals",
     .config = kDictionary,
     .steps = {answer("vset 1.5", ""), wire("VOLT 1.5"), answer("vget", "+1.500000E+00"),
               // Any case; leading spaces dropped, trailing ones sent with the value.
               answer("VSET 2.5", ""), answer("  vset   3.5  ", ""), wire("VOLT 3.5  "),
               // A value after a command that needs none is appended all the same.
               answer("outp ON", ""), wire("OUTP ON"), answer("vset", "Value required"),
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
               type("HELP\n"),
               until([](Run& r) { return screenText(r) == golden("help.txt"); }, "help"),
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
    // Ctrl-S reaches the console as a character: neither the screen nor the
    // data log stops, and the terminal gets its flow control back at the end.
    // A mark's comment goes with one row; its state stays until the next mark.
    {.name = "MarkAndCtrlS",
     .config = "dsp:1;22;V: ;MEAS:VOLT?;5;0\n",
     .flags = {"-u20", "-l{dir}/data.csv"},
     .steps = {screen(15, ": ", 2), type("\x13"),
               [](Run& r) {
                   size_t before = r.lines().size(), from = r.term->logSize();
                   EXPECT_TRUE(r.waitFor([&] { return r.lines().size() > before + 5; }));
                   EXPECT_TRUE(r.term->waitForOutput("V: ", from));
               },
               answer("\x11", "Invalid command"), answer("mark first run, \"quoted\"", ""), screen(18, "Mark: ON "),
               lastRow([](const string& l) { return l.find(",1,") != string::npos; }),
               answer("mark", ""), screen(18, "Mark: OFF"),
               lastRow([](const string& l) { return l.find(",0,\"\",") != string::npos; }),
               type("quit\n")},
     .rows = "[01],(\"\"|\"first run, \"\"quoted\"\"\"),[-+.0-9E]+",
     .check =
         [](Run& r) {
             EXPECT_TRUE(r.term->flowControl());
             string marks;
             for (const Cells& row : r.csv()) marks += row[3] + (row[4].empty() ? "" : "c");
             EXPECT_TRUE(std::regex_match(marks, std::regex("Markc0+1c1*0+"))) << marks;
         }},
    // Commands against a display that polls without pause: each one waits
    // for the display, runs alone on the bus and gets its own answer.
    {.name = "HandshakeUnderAFastDisplay",
     .config = kDictionary + "dsp:1;22;V: ;MEAS:VOLT?;5;0\ndsp:1;22;I: ;MEAS:CURR?;6;0\n",
     .flags = {"-u0"},
     .steps = {screen(5, "V: +"),
               [](Run& r) {
                   for (int i = 1; i <= 25; i++) {
                       r.type("vset " + std::to_string(i) + "\nvget\n");
                       char want[32];
                       snprintf(want, sizeof want, "=>%+.6E", static_cast<double>(i));
                       ASSERT_TRUE(r.term->waitForText(16, 1, want)) << want << r.term->dump();
                   }
                   std::vector<string> sets;
                   for (const string& l : r.sim[0].lines())
                       if (l.starts_with("VOLT ")) sets.push_back(l);
                   ASSERT_EQ(sets.size(), 25U);
                   for (int i = 1; i <= 25; i++) EXPECT_EQ(sets[i - 1], "VOLT " + std::to_string(i));
                   // The display is still polling after all these pauses.
                   int polls = r.count("MEAS:CURR?");
                   EXPECT_TRUE(r.waitFor([&] { return r.count("MEAS:CURR?") > polls; }));
               },
               type("quit\n")}},
};

TEST_P(Scenarios, Run) {
    play(GetParam());
}
INSTANTIATE_TEST_SUITE_P(Console, Scenarios, ::testing::ValuesIn(kRows), rowName);

} // namespace
