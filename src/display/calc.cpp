#include "display/calc.h"

#include <cstdio>
#include <cstdlib>

void gpibCalc(GpibRec* rec) {
    float a = 0.0F;
    float b = 0.0F;
    uint32_t pos = 1;
    for (const GpibRec* r = Index[kDspHead]; r != nullptr; r = r->next, pos++) {
        if (pos == rec->f1)
            a = strtof(r->resp, nullptr);
        else if (pos == rec->f2)
            b = strtof(r->resp, nullptr);
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
    snprintf(rec->resp, sizeof rec->resp, "%06.*f", static_cast<int>(rec->precision),
             static_cast<double>(v));
}
