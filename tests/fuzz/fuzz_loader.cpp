// Fuzzes the configuration loader: each input is a file loadCfg reads, after
// which the configuration must hold at most kMaxRecords records, controllers
// 0 or 1 and terminated text.
#include <cstdint>
#include <cstring>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

#include "config/loader.h"
#include "config/records.h"
#include "support/fuzz_check.h"

template <size_t N> static bool terminated(const char (&s)[N]) {
    return memchr(s, 0, N) != nullptr;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static int fd = memfd_create("quorvel-fuzz.conf", 0);
    FUZZ_CHECK(ftruncate(fd, 0) == 0 && pwrite(fd, data, size, 0) == static_cast<ssize_t>(size));
    FUZZ_CHECK(loadCfg(("/proc/self/fd/" + std::to_string(fd)).c_str(), 1) >= 0);
    const Config& c = cfg();
    FUZZ_CHECK(c.init.count + c.dict.count + c.dsp.count + c.off.count + c.lim.count ==
                   cfgRecords() &&
               cfgRecords() <= kMaxRecords);
    for (const InitStep& r : c.init)
        FUZZ_CHECK(r.at.dev <= 1 && terminated(r.cmd) && terminated(r.cresp));
    for (const DictCmd& r : c.dict)
        FUZZ_CHECK(r.at.dev <= 1 && terminated(r.name) && terminated(r.cmd) && terminated(r.hlp));
    for (const Reading& r : c.dsp)
        FUZZ_CHECK(r.at.dev <= 1 && terminated(r.label) && terminated(r.cmd) && terminated(r.info));
    for (const OffCmd& r : c.off) FUZZ_CHECK(r.at.dev <= 1 && terminated(r.cmd));
    for (const Limit& r : c.lim)
        FUZZ_CHECK(terminated(r.low) && terminated(r.high) && terminated(r.action));
    // The reader's number of attempts: never negative, nor above 999.
    for (const Controller& k : c.ctl)
        FUZZ_CHECK(terminated(k.read.cmd) && terminated(k.addr.cmd) && k.read.to >= 0 &&
                   k.read.to <= 999);
    return 0;
}
