#include "display/calc.h"

#include <bsd/string.h>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "display/answers.h"

namespace {

// A float's exact decimal expansion ends within 150 places: more decimals
// only add zeros past the 63 characters shown, yet cost the formatter
// memory and time in proportion.
constexpr int kMaxDecimals = 150;

// The number at the start of a reading (blanks before it skipped, anything
// after it ignored); false when it has none: a failed reading, an overload
// such as OVLD, an empty answer.
bool calcOperand(const char* text, float* v) {
    char* end = nullptr;
    *v = strtof(text, &end);
    return end != text;
}

} // namespace

void gpibCalc(const Calc& c, Answer& out) {
    float a = 0.0F;
    float b = 0.0F;
    // A result computed from something that is no number would read as a
    // measurement. A position past the list reads as 0; one given twice
    // fills both operands, so a reading times itself is its square.
    const auto count = static_cast<uint32_t>(cfg().dsp.count);
    bool failed = false;
    if (c.a.pos >= 1 && c.a.pos <= count) failed = !calcOperand(dspAnswers[c.a.pos - 1], &a);
    if (c.b.pos >= 1 && c.b.pos <= count)
        failed = !calcOperand(dspAnswers[c.b.pos - 1], &b) || failed;
    if (c.a.pos == 0) a = c.a.constant;
    if (c.b.pos == 0) b = c.b.constant;
    float v = 0.0F;
    switch (c.op) {
    case 1:
        v = a + b;
        break;
    case 2:
        v = a - b;
        break;
    case 3:
        v = a * b;
        break;
    case 4:
        v = a / b;
        break;
    default:
        break;
    }
    if (failed || !std::isfinite(v)) {
        strlcpy(out, kDspErr, sizeof out);
        return;
    }
    int decimals = static_cast<int>(c.precision);
    if (decimals > kMaxDecimals) decimals = kMaxDecimals;
    snprintf(out, sizeof out, "%06.*f", decimals, static_cast<double>(v));
}
