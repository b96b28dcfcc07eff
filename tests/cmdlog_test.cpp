// The command log: its header rule and whole, quoted records.
#include <fstream>
#include <gtest/gtest.h>
#include <regex>
#include <string>

#include "console/cmdlog.h"
#include "support/tempdir.h"

namespace {

const std::string kHeader = "Record,Date,Time,Command,Value,Response";

class CmdLog : public ::testing::Test {
  protected:
    TempDir dir;
    std::string path = dir.file("cmd.csv");
    int log(const char* cmd, const char* value, const std::string& resp) {
        return gpibLogc(path.c_str(), cmd, value, resp.c_str());
    }
};

// A file already as long as the header is taken to have it.
TEST_F(CmdLog, HeaderOnlyForAFileShorterThanIt) {
    for (const std::string& before : {std::string(), std::string(38, 'x'), std::string(39, 'x')}) {
        std::ofstream(path) << before;
        ASSERT_EQ(gpibLogc(path.c_str(), nullptr, nullptr, nullptr), 1);
        EXPECT_EQ(readFile(path), before.size() < 39 ? before + kHeader : before);
    }
}

TEST_F(CmdLog, WholeQuotedRecords) {
    ASSERT_EQ(log("VOLT ", "1.5", ""), 1);
    ASSERT_EQ(log("DISP:TEXT ", "\"a,b\"", "1,2,3"), 1);
    std::string text = readFile(path);
    std::smatch m;
    ASSERT_TRUE(std::regex_match(
        text, m,
        std::regex("\n([0-9]+),[01][0-9]/[0-3][0-9]/[0-9]{4},[0-2][0-9]:[0-5][0-9]:[0-6][0-9],"
                   "VOLT ,1\\.5,\n([0-9]+),[^,]+,[^,]+,DISP:TEXT ,\"\"\"a,b\"\"\",\"1,2,3\"")))
        << text;
    unsigned next = std::stoul(m[2]) + 1;
    EXPECT_EQ(next, std::stoul(m[1]) + 2);

    // The record is put together in a 1024-byte buffer: one that would fill
    // it is refused whole, one byte less goes out whole.
    for (size_t want : {1024U, 1023U}) {
        size_t fixed = std::string("\n,01/01/2000,00:00:00,A,,").size();
        std::string resp(want - fixed - std::to_string(next++).size(), 'r');
        EXPECT_EQ(log("A", "", resp), want < 1024 ? 1 : 0);
        EXPECT_EQ(readFile(path).size(), text.size() + (want < 1024 ? want : 0));
    }

    for (const char* bad : {"/dev/full", "/nonexistent/cmd.csv"}) {
        EXPECT_EQ(gpibLogc(bad, nullptr, nullptr, nullptr), 0) << bad;
        EXPECT_EQ(gpibLogc(bad, "A", "1", "OK"), 0) << bad;
    }
}

} // namespace
