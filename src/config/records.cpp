#include "config/records.h"

#include <strings.h>

Config cfgStore;

void cfgClear() {
    // The arrays keep what they held: only records below a count are read,
    // and the loader writes each one whole.
    cfgStore.init.count = cfgStore.dict.count = cfgStore.dsp.count = cfgStore.off.count =
        cfgStore.lim.count = 0;
    for (uint32_t d = 0; d < kControllers; d++) {
        cfgStore.ctl[d] = Controller{};
        cfgStore.ctl[d].read.at.dev = cfgStore.ctl[d].addr.at.dev = d;
    }
}

const DictCmd* cfgDictFind(const char* name) {
    for (const DictCmd& c : cfg().dict)
        if (strcasecmp(c.name, name) == 0) return &c;
    return nullptr;
}
