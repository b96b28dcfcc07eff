#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>

#include "util/csv.h"

namespace {

// What csvCell or csvQuoted writes for text.
std::string written(bool (*fn)(FILE*, const char*), const char* text) {
    char* buf = nullptr;
    size_t size = 0;
    FILE* fp = open_memstream(&buf, &size);
    EXPECT_NE(fp, nullptr);
    EXPECT_TRUE(fn(fp, text));
    fclose(fp);
    std::string s(buf, size);
    free(buf);
    return s;
}

TEST(Csv, PlainCellsGoOutByteForByte) {
    for (const char* s : {"", "12.5", "DMM volts: ", "tab\there", "semi;colon", "it's"})
        EXPECT_EQ(written(csvCell, s), s);
}

TEST(Csv, CommaQuoteAndLineEndsAreQuoted) {
    EXPECT_EQ(written(csvCell, "1,5"), "\"1,5\"");
    EXPECT_EQ(written(csvCell, "say \"hi\""), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(written(csvCell, "a\rb"), "\"a\rb\"");
    EXPECT_EQ(written(csvCell, "a\nb"), "\"a\nb\"");
    EXPECT_EQ(written(csvCell, "\""), "\"\"\"\"");
}

TEST(Csv, QuotedCommentDoublesItsQuotes) {
    EXPECT_EQ(written(csvQuoted, ""), "\"\"");
    EXPECT_EQ(written(csvQuoted, "plain note"), "\"plain note\"");
    EXPECT_EQ(written(csvQuoted, "a \"b\", c"), "\"a \"\"b\"\", c\"");
}

TEST(Csv, WriteErrorIsReported) {
    FILE* fp = fopen("/dev/null", "r");
    ASSERT_NE(fp, nullptr);
    EXPECT_FALSE(csvCell(fp, "x"));
    EXPECT_FALSE(csvCell(fp, "x,y"));
    fclose(fp);
}

} // namespace
