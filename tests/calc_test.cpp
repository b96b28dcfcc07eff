// Calculated readings: operands by position or constant, results six characters wide or more.
#include <bsd/string.h>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <tuple>
#include <vector>

#include "display/answers.h"
#include "display/calc.h"

namespace {

TEST(Calc, Results) {
    // Answers of the display records before it, operator, operands by position
    // (0: the constant instead), constants, precision, result.
    const std::tuple<std::vector<const char*>, char, uint32_t, uint32_t, float, float, uint32_t,
                     std::string>
        cases[] = {
            {{}, '+', 0, 0, 16777216.0F, 1, 2, "16777216.00"}, // 2^24 + 1 is no float
            {{}, '/', 0, 0, 7, 2, 1, "0003.5"},
            {{}, ' ', 0, 0, 7, 2, 1, "0000.0"},
            {{}, '+', 0, 0, 2.5F, 0, 4294967295U, "2.500000"}, // negative to the formatter
            // Positions count every display record from 1; a position past
            // the list is 0. An answer with no number at its start, or a
            // result that is none, is ERR.
            {{"10", " 3 V"}, '-', 1, 2, 0, 0, 0, "000007"},
            {{"4"}, '+', 9, 0, 5, 4, 1, "0004.0"},
            {{"3"}, '*', 1, 1, 0, 0, 0, "000009"},
            {{"2", "ERR"}, '+', 1, 2, 0, 0, 1, "ERR"},
            {{"", "2"}, '+', 1, 2, 0, 0, 1, "ERR"},
            {{}, '*', 0, 0, 3e38F, 10, 1, "ERR"},
            {{}, '/', 0, 0, 0, 0, 1, "ERR"},
        };
    for (const auto& [shown, op, f1, f2, c1, c2, precision, want] : cases) {
        // The calculated reading comes last.
        cfgStore.dsp.count = static_cast<int>(shown.size()) + 1;
        for (size_t i = 0; i < shown.size(); i++)
            strlcpy(dspAnswers[i], shown[i], sizeof dspAnswers[i]);
        Calc c{
            static_cast<int32_t>(strchr(kAryMath, op) - kAryMath), {f1, c1}, {f2, c2}, precision};
        Answer out;
        gpibCalc(c, out);
        EXPECT_EQ(out, want) << op << " " << c1 << " " << precision;
    }
}

} // namespace
