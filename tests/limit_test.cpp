// Guard limits through the real program: the README's example with a current
// that climbs until it is marked and then ends the run, a dictionary command
// sent once per crossing, a silent instrument that counts as outside only
// with err, and what a guarded row shows.
#include <regex>

#include "support/scenario.h"

namespace {

using std::string;

const string kGuard = EXAMPLES_DIR "/guard.conf";

// The comments of the data log, row by row.
std::vector<string> comments(const Run& r) {
    std::vector<string> out;
    for (const Cells& c : r.csv()) out.push_back(c.size() > 4 ? c[4] : "");
    return out;
}

const std::vector<Scenario> kRows = {
    // 0.1 A plus 0.065 A a reading: marked once above 0.8 A (at 0.815 A),
    // ended after three passes above 1.0 A (at 1.14 A), with the off
    // commands once, after the last reading.
    {.name = "ExampleRampMarkedThenOff",
     .config = "",
     .flags = {"-c" + kGuard, "-u50", "-l{dir}/data.csv"},
     .bench = [](Run& r) { r.sim[0].setRamp(22, "MEAS:CURR?", 0.065); },
     .code = 11,
     .wire = {{"OUTP OFF", 1}, {"MEAS:CURR?", 17}},
     .check =
         [](Run& r) {
             EXPECT_TRUE(std::regex_search(
                 r.out(), std::regex("quorvel: limit: Load A: \\+1\\.1[0-9]+E\\+00 above 1\\.0 "
                                     "for 3 passes\r\n\r\nquorvel:  run ended by a limit")))
                 << r.out();
             auto c = comments(r);
             ASSERT_EQ(c.size(), 18U) << readFile(r.file("data.csv"));
             for (size_t i = 1; i < c.size(); i++) {
                 bool marked = i == 12, ended = i == 17;
                 EXPECT_EQ(c[i].starts_with("limit: Load A: +"), marked || ended) << i << c[i];
             }
             EXPECT_EQ(r.sim[0].lines().back(), "OUTP OFF");
         }},
    // The volts follow vset: a limit that sets them to 0 acts again only
    // after they came back within and went out again; one that stays outside
    // acts once. Both go to the command log as typed commands do.
    {.name = "CommandOncePerCrossing",
     .config = "cfg:1;5;vset;VOLT ;1;0;v\ncfg:1;5;iset;CURR ;1;0;i\ninit:1;5;CURR 0.5\n"
               "init:1;5;VOLT 5\ninit:1;5;OUTP ON\ndsp:1;22;V: ;MEAS:VOLT?;5;0\n"
               "dsp:1;22;Q: ;Q?;6;0\nlim:1;;4;1;vset 0\nlim:2;0;1;2;iset 0.4\n",
     .flags = {"-u50", "-g{dir}/cmd.csv"},
     .answers = {{22, "Q?", "2"}},
     .steps = {wire("VOLT 0"), wire("CURR 0.4"), pause(500), answer("vset 5", ""),
               until([](Run& r) { return r.count("VOLT 0") == 2; }, "second crossing"), pause(300),
               type("quit\n")},
     .wire = {{"VOLT 0", 2}, {"CURR 0.4", 1}, {"VOLT 5", 2}},
     .check =
         [](Run& r) {
             auto log = r.csv("cmd.csv");
             ASSERT_EQ(log.size(), 5U) << readFile(r.file("cmd.csv"));
             EXPECT_EQ(log[1][3] + log[1][4], "VOLT 0");
             EXPECT_EQ(log[4][3] + log[4][4], "VOLT 0");
         }},
    // A silent multimeter: ERR is outside for the limit with err only.
    {.name = "ErrWithASilentInstrument",
     .config =
         "dsp:1;22;V: ;MEAS:VOLT?;5;0\nlim:1;;4;1;mark\nlim:1;;;3;off;err\noff:1;5;OUTP OFF\n",
     .flags = {"-u50", "-l{dir}/data.csv"},
     .faults = {{22, qsim::Fault::Silent}},
     .code = 11,
     .wire = {{"OUTP OFF", 1}, {"MEAS:VOLT?", 3}},
     .says = {"quorvel: limit: V: ERR, no reading for 3 passes"},
     .rows = "0,\"(limit: V: ERR)?\",ERR"},
    // A row shows its guard: outside and counting, then tripped and in
    // reverse video; row 19 names the limit.
    {.name = "GuardedRowShowsItsState",
     .config = "dsp:1;22;V: ;Q?;5;0\ndsp:1;22;W: ;R?;6;0\nlim:1;;1;1;mark\nlim:2;;1;1000;off\n",
     .flags = {"-u50"},
     .answers = {{22, "Q?", "7"}, {22, "R?", "3"}},
     .steps = {screen(5, "V: 7 [LIMIT]"), screen(6, "W: 3 [out "),
               screen(19, "limit: V: 7 above 1 for 1 pass: mark"),
               [](Run& r) {
                   EXPECT_TRUE(r.term->reverse(5, 1));
                   EXPECT_FALSE(r.term->reverse(6, 1));
               },
               type("quit\n")}},
};

TEST_P(Scenarios, Run) {
    play(GetParam());
}
INSTANTIATE_TEST_SUITE_P(Limits, Scenarios, ::testing::ValuesIn(kRows), rowName);

} // namespace
