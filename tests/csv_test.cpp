#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>

#include "util/csv.h"

namespace {

TEST(Csv, Quoting) {
    const struct {
        bool (*fn)(FILE*, const char*);
        const char* in;
        const char* out;
    } cases[] = {{csvCell, "", ""},
                 {csvCell, "DMM volts: ", "DMM volts: "},
                 {csvCell, "tab\t;it's", "tab\t;it's"},
                 {csvCell, "1,5", "\"1,5\""},
                 {csvCell, "say \"hi\"", "\"say \"\"hi\"\"\""},
                 {csvCell, "a\rb", "\"a\rb\""},
                 {csvCell, "a\nb", "\"a\nb\""},
                 {csvQuoted, "", "\"\""},
                 {csvQuoted, "a \"b\", c", "\"a \"\"b\"\", c\""}};
    for (const auto& c : cases) {
        char* buf = nullptr;
        size_t size = 0;
        FILE* fp = open_memstream(&buf, &size);
        EXPECT_TRUE(c.fn(fp, c.in));
        fclose(fp);
        EXPECT_EQ(std::string(buf, size), c.out);
        free(buf);
    }
    FILE* ro = fopen("/dev/null", "r");
    EXPECT_FALSE(csvCell(ro, "x"));
    EXPECT_FALSE(csvCell(ro, "x,y"));
    fclose(ro);
}

} // namespace
