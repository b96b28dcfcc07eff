// The command log: its header rule, and whole records with the cells quoted
// as CSV wants them.
#include <fstream>
#include <gtest/gtest.h>
#include <regex>
#include <string>
#include <tuple>

#include "console/cmdlog.h"
#include "support/tempdir.h"

namespace {

TEST(CmdLog, HeaderAndWholeQuotedRecords) {
    TempDir dir;
    std::string path = dir.file("cmd.csv"), header = "Record,Date,Time,Command,Value,Response";
    // A file already as long as the header is taken to have it.
    for (size_t n : {0, 38, 39}) {
        std::ofstream(path) << std::string(n, 'x');
        ASSERT_EQ(gpibLogc(path.c_str(), nullptr, nullptr, nullptr), 1);
        EXPECT_EQ(readFile(path), std::string(n, 'x') + (n < 39 ? header : ""));
    }
    // Command, value, response, and the record with its stamp left out; the
    // numbers count from 1 in a fresh process, a refused record's too.
    const std::tuple<const char*, const char*, std::string, std::string> records[] = {
        {"VOLT ", "1.5", "", "1,VOLT ,1.5,"},
        {"DISP:TEXT ", "\"a,b\"", "1,2,3", "2,DISP:TEXT ,\"\"\"a,b\"\"\",\"1,2,3\""},
        {"A", "x\ry", "a\nb", "3,A,\"x\ry\",\"a\nb\""},
        // Put together in a 1024-byte buffer: a record that would fill it is
        // refused whole, one byte shorter it goes out whole.
        {"A", "", std::string(998, 'r'), ""},
        {"A", "", std::string(997, 'r'), "5,A,," + std::string(997, 'r')}};
    const std::regex stamp("\n(\\d+),\\d\\d/\\d\\d/\\d{4},\\d\\d:\\d\\d:\\d\\d");
    for (const auto& [cmd, value, resp, want] : records) {
        size_t before = readFile(path).size();
        EXPECT_EQ(gpibLogc(path.c_str(), cmd, value, resp.c_str()), want.empty() ? 0 : 1);
        EXPECT_EQ(std::regex_replace(readFile(path).substr(before), stamp, "$1"), want);
    }
}

} // namespace
