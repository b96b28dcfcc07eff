#include "config/dump.h"

#include <cstdio>
#include <initializer_list>

#include "config/format.h"
#include "config/loader.h"
#include "config/records.h"

namespace {

void dumpValue(const CfgField& f, const GpibRec& r) {
    long n = cfgNumber(r, f.slot);
    switch (f.kind) {
    case CfgKind::Controller:
        printf("%s=%ld", f.name, n + 1);
        break;
    case CfgKind::Text:
        printf("%s=%s", f.name, cfgText(r, f.slot));
        break;
    case CfgKind::Operator:
        printf("%s=%c", f.name, kAryMath[n]);
        break;
    case CfgKind::Operand:
        printf("%s=%d | %f", f.name, static_cast<int>(n),
               static_cast<double>(cfgConstant(r, f.slot)));
        break;
    default:
        printf("%s=%d", f.name, static_cast<int>(n));
        break;
    }
}

// The fields of the record's line, then those of its calculation on a line
// of their own.
void dumpRecord(const CfgKeyword& k, const GpibRec& r) {
    for (bool apart : {false, true}) {
        if (apart && r.op == 0) return;
        const char* sep = apart ? "\t" : "";
        for (int i = 0; i < k.count; i++) {
            if (k.fields[i].apart != apart) continue;
            fputs(sep, stdout);
            dumpValue(k.fields[i], r);
            sep = ", ";
        }
        putchar('\n');
    }
}

} // namespace

void dumpCfg() {
    int records = 0;
    for (const CfgKeyword& k : cfgKeywords) {
        printf("\n---%s section---\n", k.keyword);
        if (k.head < 0) {
            const GpibRec* set = k.type == kTypeRead ? Read_gpib : Addr_gpib;
            for (int d = 0; d < kControllers; d++) dumpRecord(k, set[d]);
            continue;
        }
        int pos = 1;
        for (const GpibRec* r = Index[k.head]; r != nullptr; r = r->next, records++, pos++) {
            // The positions $calc$ operands refer to.
            if (k.head == kDspHead) printf("%d: ", pos);
            dumpRecord(k, *r);
        }
    }
    printf("\n# records=%d, max=%d\n", records, kMaxRecords);
    fflush(stdout);
    cfgPrintWarnings();
}
