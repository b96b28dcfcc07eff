// Every answer in its own reading, every line whole on the wire (late,
// NUL-led answers and controllers back reset: the chaos soak): bursts under
// -f and -r, readings that are no number, a controller that stops reading,
// and the init wait's line while its controller is gone.
#include <regex>

#include "support/scenario.h"

namespace {

using std::string;

// Two readings of two instruments, whatever the first one's answers do; the
// log holds each one's own answer, whole, or ERR.
Scenario readings(const string& name, std::vector<string> flags, qsim::Fault fault, int latency,
                  const string& first, const string& cells, const string& more = "") {
    flags.push_back("-l{dir}/data.csv");
    return {.name = name,
            .config = "read:1;0;++read eoi;200\ndsp:1;22;A: ;QA?;5;0\ndsp:1;5;B: ;QB?;6;0\n" + more,
            .flags = flags,
            .answers = {{22, "QA?", first}, {5, "QB?", "+1.000E+00"}},
            .faults = {{22, fault}},
            .bench = [=](Run& r) { r.sim[0].setLatency(22, latency); },
            .steps = {rows(8), type("quit\n")},
            .rows = "0,\"\"," + cells,
            .pipes = true};
}

const string kValue = string(58, 'x');

const std::vector<Scenario> kRows = {
    readings("BurstUnderPurges", {"-u20", "-f", "-r"}, qsim::Fault::Burst, 0, "+9.999E+09",
             "\\+9\\.999E\\+09,\\+1\\.000E\\+00"),
    // A calculated reading is a number or ERR; blanks around a number do.
    readings("CalculatedFromNoNumber", {"-u20"}, qsim::Fault::None, 0, "OVLD",
             "OVLD,\\+1\\.000E\\+00,ERR,ERR,0003\\.0",
             "dsp:1;0;P: ;$calc$;7;0;*;1;c2;1\ndsp:1;0;Q: ;$calc$;8;0;/;2;c0;1\n"
             "dsp:1;0;R: ;$calc$;9;0;+;2;c2;1\n"),
    // A controller that stops reading: the line it could not take whole is
    // cut away and the controller set up again; the wire never shows two
    // lines joined, and the command shows ERR.
    {.name = "LineNotTakenWhole",
     .config = "cfg:1;5;vset;VOLT ;1;0;x\n",
     .flags = {"-u1000"},
     .steps = {
         [](Run& r) {
             r.sim[0].setDeaf(true);
             string lines;
             for (int i = 1000; i < 1400; i++) lines += "vset " + std::to_string(i) + kValue + "\n";
             r.type(lines);
         },
         until([](Run& r) { return r.out().find("ERR") != string::npos; }, "ERR"),
         [](Run& r) { r.sim[0].setDeaf(false); }, pause(1500), type("vset 2000" + kValue + "\n"),
         until([](Run& r) { return r.count("VOLT 2000" + kValue) == 1; }, "whole"), type("quit\n")},
     .check =
         [](Run& r) {
             std::regex whole("\\+\\+addr 5|VOLT 1[0-3][0-9][0-9]x{58}|VOLT 2000x{58}");
             for (const string& l : r.sim[0].lines())
                 EXPECT_TRUE(std::regex_match(l, whole)) << l.size() << " bytes: " << l;
         },
     .pipes = true},
    // The attempt line says when the controller is gone, and shows how the
    // wait ended before the next message.
    {.name = "InitWaitThroughAnUnplug",
     .config = "init:1;9;STAT?;ok\ninit:1;5;*RST\n",
     .flags = {"-u50"},
     .answers = {{9, "STAT?", "BUSY"}},
     .steps = {until([](Run& r) { return r.out().find("got \"BUSY\"") != string::npos; }, "busy"),
               vanish(),
               until(
                   [](Run& r) {
                       return r.out().find("controller 1 lost, waiting for \"ok\"") != string::npos;
                   },
                   "lost"),
               reappear(), [](Run& r) { r.sim[0].setAnswer(9, "STAT?", "ok"); }, wire("*RST"),
               type("quit\n")},
     .says = {"got \"ok\", waiting for \"ok\"\x1b[K\n\nSending command *RST"},
     .pipes = true},
};

TEST_P(Scenarios, Run) {
    play(GetParam());
}
INSTANTIATE_TEST_SUITE_P(Exchange, Scenarios, ::testing::ValuesIn(kRows), rowName);

} // namespace
