// The data log written by real runs against the simulated controller.
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/child.h"
#include "support/logged_run.h"

namespace {

using namespace std::chrono_literals;

std::vector<std::string> split(const std::string& text, char sep) {
    std::vector<std::string> out;
    std::string cur;
    std::istringstream in(text);
    while (std::getline(in, cur, sep)) out.push_back(cur);
    return out;
}

class DataLogTest : public LoggedRun {
  protected:
    void SetUp() override { ASSERT_TRUE(sim.start()); }

    void writeConf(const std::string& records) {
        std::ofstream(conf) << "addr:1;0;++addr\nread:1;0;++read eoi;100\n" << records;
    }
    std::vector<std::string> args(const std::string& interval = "-u20") {
        return {QUORVEL_BIN, "-c" + conf, "-l" + log, interval, sim.path()};
    }
};

TEST_F(DataLogTest, RowsCarryEveryReadingAndAreNumberedWithoutGaps) {
    writeConf("dsp:1;22;V: ;MEAS:VOLT?;5;0\n"
              "dsp:1;9;Nobody: ;MEAS:VOLT?;0;0\n"
              "dsp:1;0;Twice: ;$calc$;7;0;*;1;c2;3\n");
    Child q(args());
    ASSERT_TRUE(waitRows(3));
    q.type("quit\n");
    ASSERT_EQ(q.wait(30s), 0);
    auto lines = split(readFile(log), '\n');
    EXPECT_EQ(lines[0], "Record,Date,Time,Mark,Comment,V: ,Nobody: ,Twice: ");
    std::regex row("([0-9]+),[01][0-9]/[0-3][0-9]/2[0-9]{3},[0-2][0-9]:[0-5][0-9]:[0-6][0-9],0,"
                   "\"\",([-+.0-9E]+),ERR,([0-9.]+)");
    for (size_t i = 1; i < lines.size(); i++) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(lines[i], m, row)) << lines[i];
        EXPECT_EQ(std::stoul(m[1]), i);
        EXPECT_NEAR(std::stod(m[3]), 2 * std::stod(m[2]), 0.01);
    }
    EXPECT_NE(readFile(log).back(), '\n');
}

TEST_F(DataLogTest, TheMarkCommentStandsInOneRowAndTheStateStays) {
    writeConf("dsp:1;22;V: ;MEAS:VOLT?;5;0\n");
    Child q(args());
    ASSERT_TRUE(waitRows(2));
    q.type("mark first run, \"quoted\"\n");
    size_t before = rows().size();
    ASSERT_TRUE(waitRows(before + 3));
    q.type("quit\n");
    ASSERT_EQ(q.wait(30s), 0);
    std::string script = "import csv,sys\n"
                         "rows=list(csv.reader(open(sys.argv[1],newline='')))[1:]\n"
                         "assert all(len(r)==6 for r in rows), rows\n"
                         "marked=[i for i,r in enumerate(rows) if r[3]=='1']\n"
                         "assert marked and marked==list(range(marked[0],len(rows))), rows\n"
                         "first=rows[marked[0]]\n"
                         "assert first[4]=='first run, \"quoted\"', first\n"
                         "assert all(r[4]=='' for r in rows[marked[0]+1:]), rows\n"
                         "assert [int(r[0]) for r in rows]==list(range(1,len(rows)+1))\n";
    std::string py = dir + "/check.py";
    std::ofstream(py) << script;
    EXPECT_EQ(std::system(("python3 " + py + " " + log).c_str()), 0) << readFile(log);
}

TEST_F(DataLogTest, AnswersWithCommasStayInTheirColumn) {
    writeConf("dsp:1;22;Id: ;*IDN?;5;0\n");
    Child q(args());
    ASSERT_TRUE(waitRows(1));
    q.type("quit\n");
    ASSERT_EQ(q.wait(30s), 0);
    auto lines = split(readFile(log), '\n');
    EXPECT_TRUE(lines[1].ends_with(",\"QUORVEL-SIM,DMM,0,1.0\"")) << lines[1];
}

TEST_F(DataLogTest, AnEmptyDisplayListLogsTheRowHeadsOnly) {
    writeConf("");
    Child q(args());
    ASSERT_TRUE(waitRows(2));
    q.type("quit\n");
    ASSERT_EQ(q.wait(30s), 0);
    auto lines = split(readFile(log), '\n');
    EXPECT_EQ(lines[0], "Record,Date,Time,Mark,Comment");
    EXPECT_EQ(split(lines[1], ',').size(), 5U);
}

TEST_F(DataLogTest, FinishedRowsAreInTheFileWhileTheRunGoesOn) {
    writeConf("dsp:1;22;V: ;MEAS:VOLT?;5;0\n");
    std::ofstream(log) << "old contents of an earlier run\n";
    Child q(args());
    ASSERT_TRUE(waitRows(3));
    // A kill loses at most the row being written.
    q.signal(SIGKILL);
    q.wait(30s);
    auto lines = split(readFile(log), '\n');
    EXPECT_EQ(lines[0], "Record,Date,Time,Mark,Comment,V: ");
    EXPECT_GE(lines.size(), 4U);
    for (size_t i = 1; i + 1 < lines.size(); i++)
        EXPECT_EQ(split(lines[i], ',').size(), 6U) << lines[i];
}

// A closed standard stream is no place for a file: the screen reaches
// neither the log nor the bus.
struct ClosedStream {
    const char* name;
    const char* redirect;
    bool logged;
    int sig; // 0: quit typed, -1: none (the input is closed)
};

class ClosedStreamTest : public DataLogTest, public ::testing::WithParamInterface<ClosedStream> {};

TEST_P(ClosedStreamTest, LogAndWireHoldOnlyTheirOwn) {
    const ClosedStream& c = GetParam();
    writeConf("dsp:1;22;V: ;MEAS:VOLT?;5;0\n");
    std::vector<std::string> a{"/bin/sh", "-c", std::string("exec \"$0\" \"$@\" ") + c.redirect};
    for (const std::string& s : args()) a.push_back(s);
    if (!c.logged) a.erase(a.begin() + 5);
    Child q(a);
    // Without input the run ends by itself, maybe before the first reading.
    if (c.sig >= 0) {
        ASSERT_TRUE(sim.waitForLine("MEAS:VOLT?", 20s));
        std::this_thread::sleep_for(300ms);
    }
    if (c.sig > 0) q.signal(c.sig);
    if (c.sig == 0) q.type("quit\n");
    EXPECT_EQ(q.wait(30s), c.sig > 0 ? 8 : 0);
    for (const std::string& l : sim.lines())
        EXPECT_TRUE(l.find('\x1b') == std::string::npos && l.find("Mark") == std::string::npos)
            << l;
    if (!c.logged) return;
    auto lines = split(readFile(log), '\n');
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "Record,Date,Time,Mark,Comment,V: ");
    std::regex row("[0-9]+,[0-9/]{10},[0-9:]{8},0,\"\",[-+.0-9E]+");
    for (size_t i = 1; i < lines.size(); i++)
        EXPECT_TRUE(std::regex_match(lines[i], row)) << lines[i];
}

INSTANTIATE_TEST_SUITE_P(Streams, ClosedStreamTest,
                         ::testing::Values(ClosedStream{"Output", ">&-", true, 0},
                                           ClosedStream{"OutputUnlogged", ">&-", false, 0},
                                           ClosedStream{"Input", "<&-", true, -1},
                                           ClosedStream{"Errors", "2>&-", true, SIGTERM}),
                         [](const auto& info) { return std::string(info.param.name); });

// Under a file-size limit a log keeps whole rows only: one the disk took in
// part is cut away again.
struct SizeLimit {
    const char* name;
    const char* flag;
    size_t limit; // the header and one and a half rows
    const char* row;
};

class SizeLimitTest : public DataLogTest, public ::testing::WithParamInterface<SizeLimit> {};

TEST_P(SizeLimitTest, TheFileEndsWithAWholeRow) {
    const SizeLimit& c = GetParam();
    writeConf("dsp:1;22;V: ;MEAS:VOLT?;5;0\ncfg:1;5;vset;VOLT ;1;0;set volts\n");
    Child q({"/usr/bin/prlimit",
             "--fsize=" + std::to_string(c.limit) + ":" + std::to_string(c.limit), QUORVEL_BIN,
             "-c" + conf, c.flag + log, "-u20", sim.path()});
    ASSERT_TRUE(sim.waitForLine("MEAS:VOLT?", 20s));
    for (int i = 0; i < 4; i++) q.type("vset 2.5\n");
    std::this_thread::sleep_for(1s);
    q.type("quit\n");
    ASSERT_EQ(q.wait(30s), 0);
    std::string text = readFile(log);
    EXPECT_LE(text.size(), c.limit);
    auto r = rows();
    ASSERT_FALSE(r.empty()) << text;
    std::regex whole(std::string("[0-9]+,[0-9/]{10},[0-9:]{8},") + c.row);
    for (const std::string& l : r) EXPECT_TRUE(std::regex_match(l, whole)) << text;
}

INSTANTIATE_TEST_SUITE_P(Logs, SizeLimitTest,
                         ::testing::Values(SizeLimit{"Data", "-l", 33 + 60,
                                                     "0,\"\",[-+][0-9.]+E[-+][0-9]+"},
                                           SizeLimit{"Commands", "-g", 39 + 50, "VOLT ,2\\.5,"}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
