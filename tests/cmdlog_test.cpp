// The two CSV logs: the command log's header rule and its whole, quoted
// records, and the data log's cells.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <regex>
#include <string>
#include <tuple>

#include "console/cmdlog.h"
#include "support/tempdir.h"
#include "util/csv.h"

namespace {

TEST(CmdLog, HeaderOnlyForAFileShorterThanIt) {
    TempDir dir;
    std::string path = dir.file("cmd.csv"), header = "Record,Date,Time,Command,Value,Response";
    for (const std::string& before : {std::string(), std::string(38, 'x'), std::string(39, 'x')}) {
        std::ofstream(path) << before;
        ASSERT_EQ(gpibLogc(path.c_str(), nullptr, nullptr, nullptr), 1);
        EXPECT_EQ(readFile(path), before.size() < 39 ? before + header : before);
    }
}

TEST(CmdLog, WholeQuotedRecords) {
    TempDir dir;
    std::string path = dir.file("cmd.csv");
    // Numbers count from 1 in a fresh process, a refused record's too.
    const std::tuple<const char*, const char*, std::string, std::string> records[] = {
        {"VOLT ", "1.5", "", "1,VOLT ,1.5,"},
        {"DISP:TEXT ", "\"a,b\"", "1,2,3", "2,DISP:TEXT ,\"\"\"a,b\"\"\",\"1,2,3\""},
        {"A", "x\ry", "a\nb", "3,A,\"x\ry\",\"a\nb\""},
        // Put together in a 1024-byte buffer: a record that would fill it is
        // refused whole, one byte shorter it goes out whole.
        {"A", "", std::string(998, 'r'), ""},
        {"A", "", std::string(997, 'r'), "5,A,," + std::string(997, 'r')}};
    const std::regex stamp(
        "\n([0-9]+),[01][0-9]/[0-3][0-9]/[0-9]{4},[0-2][0-9]:[0-5][0-9]:[0-6][0-9]");
    for (const auto& [cmd, value, resp, want] : records) {
        size_t before = readFile(path).size();
        EXPECT_EQ(gpibLogc(path.c_str(), cmd, value, resp.c_str()), want.empty() ? 0 : 1);
        std::string rec = readFile(path).substr(before);
        EXPECT_EQ(std::regex_replace(rec, stamp, "$1"), want);
    }
}

TEST(Csv, Quoting) {
    const std::tuple<bool (*)(FILE*, const char*), const char*, const char*> cases[] = {
        {csvCell, "", ""},           {csvCell, "DMM volts: ", "DMM volts: "},
        {csvCell, "1,5", "\"1,5\""}, {csvCell, "say \"hi\"", "\"say \"\"hi\"\"\""},
        {csvQuoted, "", "\"\""},     {csvQuoted, "a \"b\", c", "\"a \"\"b\"\", c\""}};
    for (const auto& [fn, in, out] : cases) {
        char* buf = nullptr;
        size_t size = 0;
        FILE* fp = open_memstream(&buf, &size);
        EXPECT_TRUE(fn(fp, in));
        fclose(fp);
        EXPECT_EQ(std::string(buf, size), out);
        free(buf);
    }
}

} // namespace
