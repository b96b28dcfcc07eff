// Faults during a run and logs on files and streams that are not what they
// should be (unplugs and replugs are the chaos soak's): controllers that
// vanish, reads that return nothing, a disk that refuses the command log, instruments that flood,
// closed standard streams and file-size limits. The run goes on, or ends
// through its one clean-up, with every row whole.
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include "support/scenario.h"

namespace {

using std::string;

const string kConf = "cfg:1;5;vset;VOLT ;1;0;Set supply voltage\n"
                     "cfg:1;5;vget;VOLT?;0;1;supply volts\n"
                     "dsp:1;22;V: ;MEAS:VOLT?;5;0\n"
                     "off:1;5;OUTP OFF\n";

bool isErr(const string& row) {
    return row.ends_with(",ERR");
}

// What an instrument sends is shown with each control byte as '?': it can
// neither clear the screen nor ask the terminal anything. The log keeps it.
const string kControls = "\x1b]52;c;SGVsbG8=\x07"
                         "A\x1b[2JB\x1b[6n\x9b\x7f"
                         "C";
const string kShown = "?]52;c;SGVsbG8=?A?[2JB?[6n??C";

// The off sequence reaches every controller there at the end: one still
// present beside a lost one, and a lost one that is back before the display
// would try it again.
Scenario offReach(bool back) {
    std::vector<Step> steps = {
        lastRow([](const string& r) { return r.find(",ERR") == string::npos; }), vanish(0),
        lastRow([](const string& r) { return r.find(",ERR,") != string::npos && !isErr(r); })};
    if (back) steps.push_back(reappear(0));
    steps.push_back(type("quit\n"));
    return {.name = back ? "OffReachesAControllerThatIsBack" : "OffReachesTheControllerLeft",
            .config = kConf + "dsp:2;22;V2: ;MEAS:VOLT?;6;0\noff:2;5;OUTP OFF\n",
            .flags = {"-u20", "-l{dir}/data.csv"},
            .devices = {"{dev}", "{dev1}"},
            .steps = steps,
            .wire = {{"OUTP OFF", back ? 1 : 0}},
            .check = [](Run& r) { EXPECT_EQ(r.count("OUTP OFF", 1), 1); },
            .pipes = true};
}

// A read that returns no bytes is no unplugged controller: a port whose VMIN
// and VTIME are 0 gives right readings, a plain file ERR, and the run goes on.
Scenario emptyReads(bool file) {
    return {.name = file ? "PlainFileAsDevice" : "PortWithoutMinimumRead",
            .config = "dsp:1;22;V: ;MEAS:VOLT?;5;0\ndsp:1;5;B: ;QB?;6;0\nread:1;0;++read eoi;100\n",
            .flags = {"-u20", "-l{dir}/data.csv"},
            .devices = {file ? "{dir}/plain" : "{dev}"},
            .answers = {{22, "MEAS:VOLT?", "1.25"}, {5, "QB?", "2.5"}},
            .bench =
                [=](Run& r) {
                    r.dir.write("plain", "");
                    int fd = open(r.sim[0].path().c_str(), O_RDWR | O_NOCTTY);
                    termios t{};
                    ASSERT_EQ(tcgetattr(fd, &t), 0);
                    t.c_cc[VMIN] = 0;
                    t.c_cc[VTIME] = 0;
                    ASSERT_EQ(tcsetattr(fd, TCSANOW, &t), 0);
                    close(fd);
                },
            .steps = {rows(5), type("quit\n")},
            .rows = file ? "0,\"\",ERR,ERR" : "0,\"\",1.25,2.5",
            .pipes = true};
}

const string kVolts = "0,\"\",[-+][0-9.]+E[-+][0-9]+";

// A closed standard stream is no place for a file: the screen reaches
// neither the log nor the bus. Without input the run ends by itself, maybe
// before the first reading; s 0 is a typed quit.
Scenario closed(const string& name, const string& redirect, bool logged, int s) {
    std::vector<Step> steps;
    if (s >= 0) steps = {wire("MEAS:VOLT?"), pause(300), s > 0 ? sig(s) : type("quit\n")};
    std::vector<string> flags = {"-u20"};
    if (logged) flags.push_back("-l{dir}/data.csv");
    return {.name = name,
            .config = kConf,
            .flags = flags,
            .steps = steps,
            .code = s > 0 ? 8 : 0,
            .rows = kVolts,
            .check =
                [=](Run& r) {
                    string wire;
                    for (const string& l : r.sim[0].lines()) wire += l + "\n";
                    EXPECT_TRUE(wire.find('\x1b') == string::npos &&
                                wire.find("Mark") == string::npos);
                    EXPECT_TRUE(!logged || r.lines().at(0) == "Record,Date,Time,Mark,Comment,V: ");
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
            .flags = {flag + "{dir}/data.csv", "-u20"},
            .steps = {wire("MEAS:VOLT?"), type("vset 2.5\nvset 2.5\nvset 2.5\nvset 2.5\n"),
                      pause(1000), type("quit\n")},
            .rows = cells,
            .check =
                [=](Run& r) {
                    EXPECT_LE(readFile(r.file("data.csv")).size(), limit);
                    EXPECT_GE(r.lines().size(), 2U);
                },
            .pipes = true,
            .prefix = {"/usr/bin/prlimit", "--fsize=" + fsize + ":" + fsize}};
}

const std::vector<Scenario> kRows = {
    // Control bytes of an answer reach neither the screen nor the bus; the
    // log keeps them.
    {.name = "ControlBytesInAnAnswer",
     .config = kConf + "cfg:1;22;dmm;MEAS:VOLT?;0;1;meter\n",
     .flags = {"-u100", "-l{dir}/data.csv"},
     .answers = {{22, "MEAS:VOLT?", kControls}},
     .steps = {screen(5, "V: " + kShown), answer("dmm", kShown),
               [](Run& r) {
                   EXPECT_TRUE(r.term->row(18).starts_with("Mark: OFF")) << r.term->dump();
                   EXPECT_TRUE(r.term->row(23).starts_with("Quorvel, v")) << r.term->dump();
               },
               lastRow([](const string& r) { return r.ends_with(",\"\"," + kControls); }),
               type("quit\n")}},
    // A reading of a controller that is gone still takes its 1 ms: at -u0 the
    // display neither spins nor floods the log with rows of ERR.
    {.name = "GoneControllerAtFullSpeed",
     .config = kConf,
     .flags = {"-u0", "-l{dir}/data.csv"},
     .steps = {rows(2), vanish(), pause(1000), type("quit\n")},
     .check = [](Run& r) { EXPECT_LT(r.lines().size(), 5000U); }},
    offReach(false),
    offReach(true),
    emptyReads(false),
    emptyReads(true),
    // The command log is opened for every record: made a full disk mid-run,
    // its status shows and the run goes on. A flood from the supply does not
    // hang the off sequence's drain.
    {.name = "CommandLogOnAFullDiskAndAFlood",
     .config = kConf,
     .flags = {"-g{dir}/cmd.csv", "-u20"},
     .faults = {{5, qsim::Fault::Flood}},
     .steps = {wire("MEAS:VOLT?"),
               [](Run& r) {
                   std::remove(r.file("cmd.csv").c_str());
                   ASSERT_EQ(symlink("/dev/full", r.file("cmd.csv").c_str()), 0);
               },
               type("vget\n"), wire("VOLT?"), type("vget\nquit\n")},
     .wire = {{"VOLT?", 2}, {"OUTP OFF", 1}},
     .says = {"Cfg (command) log file error"},
     .pipes = true},
    // A data log whose directory is removed says so on its row, and is made
    // again with its header once the directory is back; the numbering goes on.
    {.name = "DataLogDirectoryRemoved",
     .config = kConf,
     .flags = {"-u20", "-l{dir}/logs/data.csv"},
     .bench = [](Run& r) { std::filesystem::create_directory(r.file("logs")); },
     .steps = {until([](Run& r) { return r.lines("logs/data.csv").size() > 3; }, "rows"),
               [](Run& r) { std::filesystem::remove_all(r.file("logs")); },
               until(
                   [](Run& r) {
                       return r.term->row(17).ends_with(" is gone, rows lost till made again");
                   },
                   "gone"),
               [](Run& r) { std::filesystem::create_directory(r.file("logs")); },
               until([](Run& r) { return r.lines("logs/data.csv").size() > 3; }, "new rows"),
               type("quit\n")},
     .check =
         [](Run& r) {
             auto rows = r.csv("logs/data.csv");
             EXPECT_EQ(rows[0][0], "Record");
             EXPECT_NE(r.out().find("data.csv made again from row " + rows[1][0] + " on"),
                       string::npos);
             for (size_t i = 2; i < rows.size(); i++)
                 EXPECT_EQ(std::stoul(rows[i][0]), std::stoul(rows[1][0]) + i - 1);
         }},
    // A metrics file whose directory is removed says so on the status row
    // while the rows go on, till it is written again.
    {.name = "MetricsDirectoryRemoved",
     .config = kConf,
     .flags = {"-u20", "-l{dir}/data.csv", "-m{dir}/prom/q.prom"},
     .bench = [](Run& r) { std::filesystem::create_directory(r.file("prom")); },
     .steps = {rows(2), [](Run& r) { std::filesystem::remove_all(r.file("prom")); },
               screen(19, "Metrics file not written: No such file or directory"), rows(4),
               [](Run& r) { std::filesystem::create_directory(r.file("prom")); },
               until([](Run& r) { return r.term->row(19).empty(); }, "cleared"), type("quit\n")},
     .rows = kVolts},
    // The command log never holds up the run: a FIFO nobody reads fails its
    // records, shown under the answer, while the rows go on.
    {.name = "CommandLogFifoWithoutReader",
     .config = kConf,
     .flags = {"-u20", "-l{dir}/data.csv", "-g{dir}/fifo"},
     .bench = [](Run& r) { ASSERT_EQ(mkfifo(r.file("fifo").c_str(), 0600), 0); },
     .steps = {rows(2), answer("vget", "+0.000000E+00"), screen(19, "Cfg (command) log file error"),
               rows(6), type("quit\n")},
     .rows = kVolts},
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
INSTANTIATE_TEST_SUITE_P(Faults, Scenarios, ::testing::ValuesIn(kRows), rowName);

} // namespace
