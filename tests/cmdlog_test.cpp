// The command log: its header decision, its records, and what a CSV reader
// makes of them.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <regex>
#include <sstream>
#include <string>

#include "console/cmdlog.h"
#include "sim.h"
#include "support/child.h"
#include "support/tempdir.h"

namespace {

class CmdLogTest : public ::testing::Test {
  protected:
    TempDir tmp;
    std::string dir = tmp.path();
    std::string path;

    void SetUp() override { path = dir + "/cmd.csv"; }

    // Each record's number, stripped of the run-dependent rest of the line.
    static std::string numbers(const std::string& log) {
        std::string out;
        std::istringstream in(log);
        std::string line;
        std::getline(in, line);
        while (std::getline(in, line)) out += line.substr(0, line.find(',')) + " ";
        return out;
    }
};

TEST_F(CmdLogTest, ANewFileGetsTheHeaderAndOneRecordPerLine) {
    ASSERT_EQ(gpibLogc(path.c_str(), nullptr, nullptr, nullptr), 1);
    EXPECT_EQ(readFile(path), "Record,Date,Time,Command,Value,Response");
    ASSERT_EQ(gpibLogc(path.c_str(), "VOLT ", "1.5", ""), 1);
    ASSERT_EQ(gpibLogc(path.c_str(), "VOLT?", "", "+1.50000E+00"), 1);
    std::string log = readFile(path);
    std::regex shape(
        "Record,Date,Time,Command,Value,Response"
        "\n[0-9]+,[01][0-9]/[0-3][0-9]/[0-9]{4},[0-2][0-9]:[0-5][0-9]:[0-6][0-9],VOLT ,1.5,"
        "\n[0-9]+,[01][0-9]/[0-3][0-9]/[0-9]{4},[0-2][0-9]:[0-5][0-9]:[0-6][0-9],VOLT\\?,,"
        "\\+1\\.50000E\\+00");
    EXPECT_TRUE(std::regex_match(log, shape)) << log;
}

TEST_F(CmdLogTest, TheHeaderDependsOnTheSizeOfTheFile) {
    std::string full(39, 'x');
    std::ofstream(path) << full;
    ASSERT_EQ(gpibLogc(path.c_str(), nullptr, nullptr, nullptr), 1);
    EXPECT_EQ(readFile(path), full);

    std::ofstream(path) << "short";
    ASSERT_EQ(gpibLogc(path.c_str(), nullptr, nullptr, nullptr), 1);
    EXPECT_EQ(readFile(path), "shortRecord,Date,Time,Command,Value,Response");
}

TEST_F(CmdLogTest, RecordsCountUpAndSurviveTheFileBeingRemoved) {
    ASSERT_EQ(gpibLogc(path.c_str(), nullptr, nullptr, nullptr), 1);
    ASSERT_EQ(gpibLogc(path.c_str(), "A", "", ""), 1);
    std::string first = numbers(readFile(path));
    std::remove(path.c_str());
    ASSERT_EQ(gpibLogc(path.c_str(), "B", "", ""), 1);
    // Created again, without a header: the record is the first line after
    // the line feed that starts it.
    std::string again = readFile(path);
    ASSERT_EQ(again.rfind('\n'), 0U);
    int a = std::stoi(first);
    int b = std::stoi(again.substr(1));
    EXPECT_EQ(b, a + 1);
}

TEST_F(CmdLogTest, AFileThatCannotBeOpenedOrWrittenFails) {
    EXPECT_EQ(gpibLogc((dir + "/missing/cmd.csv").c_str(), nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(gpibLogc((dir + "/missing/cmd.csv").c_str(), "A", "", ""), 0);
    EXPECT_EQ(gpibLogc("/dev/full", nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(gpibLogc("/dev/full", "A", "1", "OK"), 0);
}

TEST_F(CmdLogTest, CommasAndQuotesKeepTheirColumnsForACsvReader) {
    ASSERT_EQ(gpibLogc(path.c_str(), nullptr, nullptr, nullptr), 1);
    ASSERT_EQ(gpibLogc(path.c_str(), "DISP:TEXT ", "\"a,b\"", "1,2,3"), 1);
    ASSERT_EQ(gpibLogc(path.c_str(), "PLAIN", "x", "y"), 1);
    std::string script = "import csv,sys\n"
                         "rows=list(csv.reader(open(sys.argv[1],newline='')))\n"
                         "assert all(len(r)==6 for r in rows), rows\n"
                         "assert rows[1][3:]==['DISP:TEXT ','\"a,b\"','1,2,3'], rows[1]\n"
                         "assert rows[2][3:]==['PLAIN','x','y'], rows[2]\n";
    std::string py = dir + "/check.py";
    std::ofstream(py) << script;
    EXPECT_EQ(std::system(("python3 " + py + " " + path).c_str()), 0) << readFile(path);
}

TEST_F(CmdLogTest, EveryRunNumbersFromOneAndUnansweredCommandsLogNoResponse) {
    using namespace std::chrono_literals;
    qsim::Controller sim;
    ASSERT_TRUE(sim.start());
    std::string conf = dir + "/test.conf";
    std::ofstream(conf) << "addr:1;0;++addr\nread:1;0;++read eoi;200\n"
                           "cfg:1;5;vget;VOLT?;0;1;volts\ncfg:1;5;vset;VOLT ;1;0;set volts\n";
    for (int run = 0; run < 2; run++) {
        Child q({QUORVEL_BIN, "-c" + conf, "-g" + path, "-u50", sim.path()});
        q.type("vset 2.5\nvget\nquit\n");
        ASSERT_EQ(q.wait(30s), 0) << q.err();
    }
    std::string log = readFile(path);
    EXPECT_EQ(numbers(log), "1 2 1 2 ") << log;
    std::regex shape(
        "Record,Date,Time,Command,Value,Response"
        "(\n[12],[^,]+,[^,]+,VOLT ,2\\.5,\n[12],[^,]+,[^,]+,VOLT\\?,,\\+2\\.5[0-9E+]+){2}");
    EXPECT_TRUE(std::regex_match(log, shape)) << log;
}

} // namespace
