#include "config/dump.h"

#include <cstdio>
#include <initializer_list>

#include "config/format.h"
#include "config/loader.h"
#include "config/records.h"

namespace {

void dumpValue(const CfgField& f, const char* r) {
    long n = cfgNumber(r, f);
    switch (f.kind) {
    case CfgKind::Controller:
        printf("%s=%ld", f.name, n + 1);
        break;
    case CfgKind::Text:
        printf("%s=%s", f.name, cfgText(r, f));
        break;
    case CfgKind::Operator:
        printf("%s=%c", f.name, kAryMath[n]);
        break;
    case CfgKind::Reading: {
        // The label it guards, as the screen shows it.
        const Reading* d = cfg().dsp.pos(static_cast<uint32_t>(n));
        printf("%s=%ld (%s)", f.name, n, d != nullptr ? d->label : "");
        break;
    }
    case CfgKind::Bound:
        printf("%s=%s", f.name, cfgText(r, f));
        break;
    case CfgKind::Operand: {
        Operand o = cfgOperand(r, f);
        printf("%s=%d | %f", f.name, static_cast<int>(o.pos), static_cast<double>(o.constant));
        break;
    }
    default:
        printf("%s=%d", f.name, static_cast<int>(n));
        break;
    }
}

// The fields of the record's line, then those of its calculation on a line
// of their own.
void dumpRecord(const CfgKeyword& k, const char* r) {
    long op = 0;
    for (int i = 0; i < k.count; i++)
        if (k.fields[i].kind == CfgKind::Operator) op = cfgNumber(r, k.fields[i]);
    for (bool apart : {false, true}) {
        if (apart && op == 0) return;
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
        int count = cfgRecordCount(k);
        if (k.quietEmpty && count == 0) continue;
        printf("\n---%s section---\n", k.keyword);
        for (int i = 0; i < count; i++) {
            // The positions $calc$ operands refer to.
            if (k.section == CfgSection::Dsp) printf("%d: ", i + 1);
            dumpRecord(k, cfgRecordAt(k, i));
        }
        if (!cfgPerController(k)) records += count;
    }
    printf("\n# records=%d, max=%d\n", records, kMaxRecords);
    fflush(stdout);
    cfgPrintWarnings();
}
