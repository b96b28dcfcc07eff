#include "config/records.h"

#include <strings.h>

GpibRec Dict[kMaxRecords];
GpibRec* Index[kIndexSlots];
GpibRec Read_gpib[kControllers];
GpibRec Addr_gpib[kControllers];
FILE* GpibDev[kControllers];

void cfgAppend(int head, GpibRec* rec) {
    GpibRec*& first = Index[head];
    GpibRec*& last = Index[head + 1];
    if (first == nullptr) {
        first = rec;
        last = rec;
        return;
    }
    rec->prev = last;
    last->next = rec;
    last = rec;
}

int cfgCount(int head) {
    int n = 0;
    for (const GpibRec* r = Index[head]; r != nullptr; r = r->next) n++;
    return n;
}

GpibRec* cfgAt(int head, uint32_t pos) {
    GpibRec* r = Index[head];
    for (uint32_t n = 1; r != nullptr && n < pos; n++) r = r->next;
    return pos == 0 ? nullptr : r;
}

GpibRec* cfgDictFind(const char* name) {
    for (GpibRec* r = Index[kCfgHead]; r != nullptr; r = r->next)
        if (strcasecmp(r->label, name) == 0) return r;
    return nullptr;
}
