#include "support/stores.h"

#include <algorithm>
#include <bsd/string.h>
#include <iterator>

#include "bus/port.h"
#include "display/handshake.h"

namespace {
int used;
} // namespace

void resetStores() {
    for (int d = 0; d < kControllers; d++) gpibClose(d);
    std::fill(std::begin(Dict), std::end(Dict), GpibRec{});
    std::fill(std::begin(Read_gpib), std::end(Read_gpib), GpibRec{});
    std::fill(std::begin(Addr_gpib), std::end(Addr_gpib), GpibRec{});
    std::fill(std::begin(Index), std::end(Index), nullptr);
    std::fill(std::begin(addr_c), std::end(addr_c), 999);
    gpibDspWait.store(0);
    gpibDspAck.store(0);
    busStopping.store(0);
    used = 0;
}

GpibRec* addRecord(int head, int dev, int adr, const char* cmd, const char* label) {
    GpibRec* r = &Dict[used++];
    r->dev = static_cast<uint32_t>(dev);
    r->adr = adr;
    strlcpy(r->cmd, cmd, sizeof r->cmd);
    strlcpy(r->label, label, sizeof r->label);
    cfgAppend(head, r);
    return r;
}

void setController(int dev, const char* addrCmd, const char* readCmd, int timeoutMs) {
    strlcpy(Addr_gpib[dev].cmd, addrCmd, sizeof Addr_gpib[dev].cmd);
    strlcpy(Read_gpib[dev].cmd, readCmd, sizeof Read_gpib[dev].cmd);
    Read_gpib[dev].num = timeoutMs;
}
