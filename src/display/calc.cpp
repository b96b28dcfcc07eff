#include "display/calc.h"

#include <bsd/string.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// A float's exact decimal expansion ends within 150 places: more decimals
// only add zeros past the 63 characters shown, yet cost the formatter
// memory and time in proportion.
constexpr int kMaxDecimals = 150;

} // namespace

void gpibCalc(GpibRec* rec) {
    float a = 0.0F;
    float b = 0.0F;
    bool failed = false;
    uint32_t pos = 1;
    for (const GpibRec* r = Index[kDspHead]; r != nullptr; r = r->next, pos++) {
        if (pos != rec->f1 && pos != rec->f2) continue;
        // A result computed from a failed reading would read as a measurement.
        if (strcmp(r->resp, kDspErr) == 0) failed = true;
        if (pos == rec->f1)
            a = strtof(r->resp, nullptr);
        else
            b = strtof(r->resp, nullptr);
    }
    if (failed) {
        strlcpy(rec->resp, kDspErr, sizeof rec->resp);
        return;
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
    int decimals = static_cast<int>(rec->precision);
    if (decimals > kMaxDecimals) decimals = kMaxDecimals;
    snprintf(rec->resp, sizeof rec->resp, "%06.*f", decimals, static_cast<double>(v));
}
