#include "display/calc.h"

#include <bsd/string.h>
#include <cmath>
#include <cstdio>
#include <cstdlib>

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

void gpibCalc(GpibRec* rec) {
    float a = 0.0F;
    float b = 0.0F;
    // A result computed from something that is no number would read as a
    // measurement.
    bool failed = false;
    uint32_t pos = 1;
    for (const GpibRec* r = Index[kDspHead]; r != nullptr; r = r->next, pos++) {
        if (pos != rec->f1 && pos != rec->f2) continue;
        if (!calcOperand(r->resp, pos == rec->f1 ? &a : &b)) failed = true;
    }
    if (rec->f1 == 0) a = rec->f1const;
    if (rec->f2 == 0) b = rec->f2const;
    float v = 0.0F;
    switch (rec->op) {
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
        strlcpy(rec->resp, kDspErr, sizeof rec->resp);
        return;
    }
    int decimals = static_cast<int>(rec->precision);
    if (decimals > kMaxDecimals) decimals = kMaxDecimals;
    snprintf(rec->resp, sizeof rec->resp, "%06.*f", decimals, static_cast<double>(v));
}
