// Calculated readings: operands by display position or constant, the result
// formatted at least six characters wide.
#include <bsd/string.h>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "display/calc.h"
#include "support/stores.h"

namespace {

struct Case {
    std::vector<const char*> shown; // answers of the display records before it
    char op;
    uint32_t f1, f2;
    float c1, c2;
    uint32_t precision;
    std::string want;
};

TEST(Calc, Results) {
    const std::string wide = "1." + std::string(61, '0');
    const Case cases[] = {
        {{}, '+', 0, 0, 3.14159F, 0, 2, "003.14"},
        {{}, '+', 0, 0, -2.5F, 0, 1, "-002.5"},
        {{}, '+', 0, 0, 7.25F, 0, 0, "000007"},
        // Single precision: 2^24 + 1 is not a float.
        {{}, '+', 0, 0, 16777216.0F, 1, 2, "16777216.00"},
        {{}, '-', 0, 0, 7, 2, 1, "0005.0"},
        {{}, '*', 0, 0, 7, 2, 1, "0014.0"},
        {{}, '/', 0, 0, 7, 2, 1, "0003.5"},
        {{}, '/', 0, 0, -3, 0, 2, "  -inf"},
        {{}, ' ', 0, 0, 7, 2, 1, "0000.0"},
        // Precision is unsigned; above INT_MAX the formatter sees it negative.
        {{}, '+', 0, 0, 2.5F, 0, 4294967295U, "2.500000"},
        {{}, '+', 0, 0, 1, 0, 200, wide},
        {{}, '+', 0, 0, 1, 0, 2147483647U, wide},
        // Positions count every display record from 1.
        {{"10", "3"}, '-', 1, 2, 0, 0, 0, "000007"},
        {{"4"}, '*', 1, 1, 0, 0, 0, "000000"},
        {{"4"}, '+', 1, 1, 0, 0, 0, "000004"},
        {{"", "  -1.5e1xyz"}, '*', 2, 0, 9, 2, 1, "-030.0"},
        {{"", "x"}, '+', 1, 0, 9, 2, 1, "0002.0"},
        // Past the list an operand is 0, not its constant.
        {{"4"}, '+', 9, 0, 5, 4, 1, "0004.0"},
        {{"ERR"}, '+', 1, 0, 0, 1, 1, "ERR"},
        {{"2", "ERR"}, '+', 1, 2, 0, 0, 1, "ERR"},
    };
    for (const Case& c : cases) {
        resetStores();
        for (const char* s : c.shown)
            strlcpy(addRecord(kDspHead, 0, 1, "READ?")->resp, s, sizeof GpibRec::resp);
        GpibRec* r = addRecord(kDspHead, 0, 0, "$calc$");
        r->op = static_cast<int32_t>(strchr(kAryMath, c.op) - kAryMath);
        r->f1 = c.f1;
        r->f2 = c.f2;
        r->f1const = c.c1;
        r->f2const = c.c2;
        r->precision = c.precision;
        gpibCalc(r);
        EXPECT_EQ(r->resp, c.want) << c.op << " " << c.c1 << " " << c.precision;
    }
    resetStores();
}

} // namespace
