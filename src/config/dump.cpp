#include "config/dump.h"

#include <cstdio>

#include "config/loader.h"
#include "config/records.h"

namespace {

int dev1(const GpibRec* r) {
    return static_cast<int>(r->dev) + 1;
}

void dumpHeader(const char* keyword) {
    printf("\n---%s section---\n", keyword);
}

} // namespace

void dumpCfg() {
    int records = 0;
    dumpHeader("init:");
    for (const GpibRec* r = Index[kInitHead]; r != nullptr; r = r->next, records++)
        printf("dev=%d, adr=%d, cmd=%s, cresp=%s, delay=%d\n", dev1(r), r->adr, r->cmd, r->label,
               r->num);
    dumpHeader("read:");
    for (int d = 0; d < kControllers; d++)
        printf("dev=%d, adr=%d, cmd=%s, to=%d\n", d + 1, Read_gpib[d].adr, Read_gpib[d].cmd,
               Read_gpib[d].num);
    dumpHeader("addr:");
    for (int d = 0; d < kControllers; d++)
        printf("dev=%d, adr=%d, cmd=%s\n", d + 1, Addr_gpib[d].adr, Addr_gpib[d].cmd);
    dumpHeader("cfg:");
    for (const GpibRec* r = Index[kCfgHead]; r != nullptr; r = r->next, records++)
        printf("dev=%d, adr=%d, cfg=%s, cmd=%s, usrv=%d, crsp=%d, hlp=%s\n", dev1(r), r->adr,
               r->label, r->cmd, r->num, static_cast<int>(r->flag), r->text);
    dumpHeader("dsp:");
    int pos = 1;
    for (const GpibRec* r = Index[kDspHead]; r != nullptr; r = r->next, records++, pos++) {
        printf("%d: dev=%d, adr=%d, label=%s, cmd=%s, row=%d, rltx=%d, info=%s\n", pos, dev1(r),
               r->adr, r->label, r->cmd, r->num, static_cast<int>(r->flag), r->text);
        if (r->op != 0)
            printf("\top=%c, f1 | constant=%d | %f, f2 | constant=%d | %f, precision=%d\n",
                   kAryMath[r->op], static_cast<int>(r->f1), static_cast<double>(r->f1const),
                   static_cast<int>(r->f2), static_cast<double>(r->f2const),
                   static_cast<int>(r->precision));
    }
    dumpHeader("off:");
    for (const GpibRec* r = Index[kOffHead]; r != nullptr; r = r->next, records++)
        printf("dev=%d, adr=%d, cmd=%s\n", dev1(r), r->adr, r->cmd);
    printf("\n# records=%d, max=%d\n", records, kMaxRecords);
    fflush(stdout);
    cfgPrintWarnings();
}
