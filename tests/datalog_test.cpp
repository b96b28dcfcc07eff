// The logs of real runs whose files and streams are not what they should be:
// closed standard streams and file-size limits.
#include <csignal>

#include "support/scenario.h"

namespace {

using std::string;

const string kConf = "dsp:1;22;V: ;MEAS:VOLT?;5;0\ncfg:1;5;vset;VOLT ;1;0;set volts\n";
const string kVolts = "0,\"\",[-+][0-9.]+E[-+][0-9]+";

// A closed standard stream is no place for a file: the screen reaches
// neither the log nor the bus. Without input the run ends by itself, maybe
// before the first reading; s 0 is a typed quit.
Scenario closed(const string& name, const string& redirect, bool logged, int s) {
    std::vector<Step> steps;
    if (s >= 0) steps = {wire("MEAS:VOLT?"), pause(300), s > 0 ? sig(s) : type("quit\n")};
    std::vector<string> flags = {"-u20"};
    if (logged) flags.push_back("-l{dir}/data.csv");
    return {
        .name = name,
        .config = kConf,
        .flags = flags,
        .steps = steps,
        .code = s > 0 ? 8 : 0,
        .check =
            [=](Run& r) {
                for (const string& l : r.sim[0].lines())
                    EXPECT_TRUE(l.find('\x1b') == string::npos && l.find("Mark") == string::npos)
                        << l;
                if (!logged) return;
                EXPECT_EQ(r.lines().at(0), "Record,Date,Time,Mark,Comment,V: ");
                expectRows(r, kVolts);
            },
        .pipes = true,
        .prefix = {"/bin/sh", "-c", "exec \"$0\" \"$@\" " + redirect}};
}

// Under a file-size limit a log keeps whole rows only: one the disk took in
// part is cut away again.
Scenario sizeLimit(const string& name, const string& flag, size_t limit, const string& cells) {
    string fsize = std::to_string(limit);
    return {.name = name,
            .config = kConf,
            .flags = {flag + "{dir}/log.csv", "-u20"},
            .steps = {wire("MEAS:VOLT?"), type("vset 2.5\nvset 2.5\nvset 2.5\nvset 2.5\n"),
                      pause(1000), type("quit\n")},
            .check =
                [=](Run& r) {
                    EXPECT_LE(readFile(r.file("log.csv")).size(), limit);
                    EXPECT_GE(r.lines("log.csv").size(), 2U);
                    expectRows(r, cells, "log.csv");
                },
            .pipes = true,
            .prefix = {"/usr/bin/prlimit", "--fsize=" + fsize + ":" + fsize}};
}

const std::vector<Scenario> kRows = {
    closed("ClosedOutput", ">&-", true, 0),
    closed("ClosedOutputUnlogged", ">&-", false, 0),
    closed("ClosedInput", "<&-", true, -1),
    closed("ClosedErrors", "2>&-", true, SIGTERM),
    // The header and one and a half rows.
    sizeLimit("DataLogUnderASizeLimit", "-l", 33 + 60, kVolts),
    sizeLimit("CommandLogUnderASizeLimit", "-g", 39 + 50, "VOLT ,2\\.5,"),
};

TEST_P(Scenarios, Run) {
    play(GetParam());
}
INSTANTIATE_TEST_SUITE_P(Logs, Scenarios, ::testing::ValuesIn(kRows), rowName);

} // namespace
