#include "config/records.h"

GpibRec Dict[kMaxRecords];
GpibRec* Index[8];
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
