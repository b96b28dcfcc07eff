// Calculated readings: operands by display position or constant, the result
// formatted at least six characters wide.
#include <bsd/string.h>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <tuple>
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
    const Case cases[] = {
        // Single precision: 2^24 + 1 is not a float.
        {{}, '+', 0, 0, 16777216.0F, 1, 2, "16777216.00"},
        {{}, '-', 0, 0, 7, 2, 1, "0005.0"},
        {{}, '/', 0, 0, 7, 2, 1, "0003.5"},
        {{}, ' ', 0, 0, 7, 2, 1, "0000.0"},
        // Precision is unsigned; above INT_MAX the formatter sees it negative.
        {{}, '+', 0, 0, 2.5F, 0, 4294967295U, "2.500000"},
        // Positions count every display record from 1; an empty or
        // unreadable answer is 0, and so is a position past the list.
        {{"10", "3"}, '-', 1, 2, 0, 0, 0, "000007"},
        {{"x"}, '+', 1, 0, 9, 2, 1, "0002.0"},
        {{"4"}, '+', 9, 0, 5, 4, 1, "0004.0"},
        {{"2", "ERR"}, '+', 1, 2, 0, 0, 1, "ERR"},
    };
    for (const Case& c : cases) {
        resetStores();
        for (const char* s : c.shown)
            strlcpy(addRecord(kDspHead, 0, 1, "READ?")->resp, s, sizeof GpibRec::resp);
        GpibRec* r = addRecord(kDspHead, 0, 0, "$calc$");
        r->op = static_cast<int32_t>(strchr(kAryMath, c.op) - kAryMath);
        std::tie(r->f1, r->f2, r->f1const, r->f2const, r->precision) =
            std::tie(c.f1, c.f2, c.c1, c.c2, c.precision);
        gpibCalc(r);
        EXPECT_EQ(r->resp, c.want) << c.op << " " << c.c1 << " " << c.precision;
    }
}

} // namespace
